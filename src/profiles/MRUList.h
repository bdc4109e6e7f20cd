#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "platform/SettingsStore.h"

namespace keldara::profiles {

// The most recently used profile files, position 1 the most recent. Entries are keyed by
// their exact path: paths that differ only in letter case name two files on Linux. The list
// lives between runs in section "MRUFiles" of the per-user settings store.
class MRUList {
  public:
    static inline const QString Section = QStringLiteral("MRUFiles");

    explicit MRUList(platform::SettingsStore& store);

    // Moves or inserts the file at position 1; drops the last entry when there are then more
    // than Number().
    void Add(const QString& file);
    void Clear();
    int Count() const;
    // The path at position i (from 1); empty outside 1..Count().
    QString Item(int i) const;
    // Replaces the list with the stored one, in stored order; a missing section changes
    // nothing. Without an application name, the program's own name is used.
    void Load(const std::optional<QString>& appName = std::nullopt);
    qint16 Number() const { return number_; }
    // Sets the maximum count that Add keeps; existing entries are not trimmed.
    void setNumber(qint16 i) { number_ = i; }
    void Remove(const QString& file);
    // Replaces the stored list with this one, keys "1", "2", ... in list order.
    void Save(const std::optional<QString>& appName = std::nullopt) const;

  private:
    static QString applicationName(const std::optional<QString>& appName);

    platform::SettingsStore& store_;
    QStringList entries_;
    qint16 number_ = 4;
};

// A path shortened for a menu caption: unchanged up to Max characters, else its first three
// characters, "..." and its tail from the first "\" or "/" at or after position
// length - Max + 6 (counted from 1).
QString LongDirFix(const QString& sTargetString, int Max);

}  // namespace keldara::profiles

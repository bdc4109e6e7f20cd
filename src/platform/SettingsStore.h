#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace keldara::platform {

// The per-user application settings store: sections of key/value texts per application.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // All pairs of a section, in the order they were stored; empty when there are none.
    virtual QList<QPair<QString, QString>> allSettings(const QString& app,
                                                       const QString& section) = 0;
    virtual void saveSetting(const QString& app, const QString& section, const QString& key,
                             const QString& value) = 0;
    virtual void deleteSection(const QString& app, const QString& section) = 0;
};

// The production store: a settings file per application in the user's configuration folder.
class QSettingsStore : public SettingsStore {
  public:
    QList<QPair<QString, QString>> allSettings(const QString& app, const QString& section) override;
    void saveSetting(const QString& app, const QString& section, const QString& key,
                     const QString& value) override;
    void deleteSection(const QString& app, const QString& section) override;
};

}  // namespace keldara::platform

#include "profiles/MRUList.h"

#include <QCoreApplication>
#include <algorithm>

namespace keldara::profiles {

MRUList::MRUList(platform::SettingsStore& store) : store_(store) {}

void MRUList::Add(const QString& file) {
    entries_.removeOne(file);
    entries_.prepend(file);
    if (entries_.size() > number_) entries_.removeLast();
}

void MRUList::Clear() {
    entries_.clear();
}

int MRUList::Count() const {
    return int(entries_.size());
}

QString MRUList::Item(int i) const {
    if (i < 1 || i > entries_.size()) return {};
    return entries_[i - 1];
}

QString MRUList::applicationName(const std::optional<QString>& appName) {
    return appName ? *appName : QCoreApplication::applicationName();
}

// Keys are positions; a store that hands them back in text order ("1", "10", "2") is put
// back in position order. A stored section holding one path twice keeps its first position.
void MRUList::Load(const std::optional<QString>& appName) {
    auto pairs = store_.allSettings(applicationName(appName), Section);
    if (pairs.isEmpty()) return;
    std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) {
        return a.first.toInt() < b.first.toInt();
    });
    entries_.clear();
    for (const auto& pair : pairs) {
        if (!entries_.contains(pair.second)) entries_.append(pair.second);
    }
}

void MRUList::Remove(const QString& file) {
    entries_.removeOne(file);
}

void MRUList::Save(const std::optional<QString>& appName) const {
    const QString app = applicationName(appName);
    store_.deleteSection(app, Section);
    for (int i = 0; i < entries_.size(); ++i) {
        store_.saveSetting(app, Section, QString::number(i + 1), entries_[i]);
    }
}

namespace {
// Paths here are written with "/"; paths from Windows with "\".
bool isSeparator(QChar c) {
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
}
}  // namespace

QString LongDirFix(const QString& sTargetString, int Max) {
    const qsizetype length = sTargetString.size();
    if (length <= Max) return sTargetString;
    const qsizetype start = std::max<qsizetype>(length - Max + 6, 1) - 1;
    qsizetype slash = -1;
    for (qsizetype i = start; i < length && slash < 0; ++i) {
        if (isSeparator(sTargetString[i])) slash = i;
    }
    const QString tail = slash >= 0 ? sTargetString.mid(slash) : QString();
    return sTargetString.left(3) + QStringLiteral("...") + tail;
}

}  // namespace keldara::profiles

#include "platform/SettingsStore.h"

#include <QSettings>

namespace keldara::platform {

QList<QPair<QString, QString>> QSettingsStore::allSettings(const QString& app,
                                                           const QString& section) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Keldara"), app);
    settings.beginGroup(section);
    QList<QPair<QString, QString>> pairs;
    for (const QString& key : settings.childKeys()) {
        pairs.append({key, settings.value(key).toString()});
    }
    return pairs;
}

void QSettingsStore::saveSetting(const QString& app, const QString& section, const QString& key,
                                 const QString& value) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Keldara"), app);
    settings.setValue(section + QLatin1Char('/') + key, value);
}

void QSettingsStore::deleteSection(const QString& app, const QString& section) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Keldara"), app);
    settings.remove(section);
}

}  // namespace keldara::platform

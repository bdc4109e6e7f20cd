#include "platform/dao/mysql/NewColumnNames.h"

#include <QSet>

namespace keldara::dao::mysql {

namespace {

constexpr qsizetype kMaxNameLength = 64;

QString validColumnName(const QString& name, qsizetype position) {
    QString valid;
    for (const char32_t c : name.toUcs4()) {
        valid += c == 0 || c > 0xFFFF ? QString(QLatin1Char('_')) : QString::fromUcs4(&c, 1);
    }
    valid.truncate(kMaxNameLength);
    while (!valid.isEmpty() && valid.back().isSpace()) valid.chop(1);
    if (valid.isEmpty()) valid = QStringLiteral("F%1").arg(position);
    return valid;
}

}  // namespace

QStringList NewColumnNames(const QStringList& fieldNames) {
    QStringList names;
    QSet<QString> taken;
    for (qsizetype i = 0; i < fieldNames.size(); ++i) {
        const QString valid = validColumnName(fieldNames[i], i + 1);
        QString name = valid;
        for (int n = 2; taken.contains(name.toLower()); ++n) {
            const QString suffix = QStringLiteral("_%1").arg(n);
            name = valid.left(kMaxNameLength - suffix.size()) + suffix;
        }
        taken.insert(name.toLower());
        names << name;
    }
    return names;
}

}  // namespace keldara::dao::mysql

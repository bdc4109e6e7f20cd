#include "transfer/migration/MigrationReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace keldara::transfer::migration {

namespace {

QString tableLine(const TableReport& table) {
    const QString name = table.source == table.target
                             ? table.target
                             : QStringLiteral("%1 -> %2").arg(table.source, table.target);
    if (!table.error.isEmpty()) return QStringLiteral("%1: FAILED: %2").arg(name, table.error);
    if (table.skipped) return QStringLiteral("%1: exists, left as it was").arg(name);
    if (table.earlier) return QStringLiteral("%1: moved by the earlier run").arg(name);
    QString line =
        QStringLiteral("%1: %2 rows read, %3 written, %4 s, %5 keys, %6 indexes")
            .arg(name, QString::number(table.rowsRead), QString::number(table.rowsWritten),
                 QString::number(table.seconds, 'f', 2), QString::number(table.keys),
                 QString::number(table.indexes));
    if (table.stopped) line += QStringLiteral(" (stopped)");
    return line;
}

QJsonObject tableObject(const TableReport& table) {
    return {{QStringLiteral("source"), table.source},
            {QStringLiteral("target"), table.target},
            {QStringLiteral("rowsRead"), table.rowsRead},
            {QStringLiteral("rowsWritten"), table.rowsWritten},
            {QStringLiteral("seconds"), table.seconds},
            {QStringLiteral("renamed"), QJsonArray::fromStringList(table.renamed)},
            {QStringLiteral("keys"), table.keys},
            {QStringLiteral("indexes"), table.indexes},
            {QStringLiteral("warnings"), QJsonArray::fromStringList(table.warnings)},
            {QStringLiteral("error"), table.error},
            {QStringLiteral("skipped"), table.skipped},
            {QStringLiteral("movedEarlier"), table.earlier},
            {QStringLiteral("stopped"), table.stopped}};
}

}  // namespace

bool MigrationReport::failed() const {
    return std::any_of(tables.begin(), tables.end(),
                       [](const TableReport& table) { return !table.error.isEmpty(); });
}

QString MigrationReport::text() const {
    QString text;
    for (const TableReport& table : tables) {
        text += tableLine(table) + QLatin1Char('\n');
        for (const QString& name : table.renamed)
            text += QStringLiteral("  renamed: ") + name + '\n';
        for (const QString& warning : table.warnings)
            text += QStringLiteral("  warning: ") + warning + QLatin1Char('\n');
    }
    text += QStringLiteral("%1 relationships made\n").arg(relationships);
    for (const QString& warning : warnings)
        text += QStringLiteral("  warning: ") + warning + QLatin1Char('\n');
    if (stopped) text += QStringLiteral("stopped before every table was moved\n");
    return text;
}

QByteArray MigrationReport::json() const {
    QJsonArray tableList;
    for (const TableReport& table : tables) tableList.append(tableObject(table));
    const QJsonObject report{{QStringLiteral("database"), database},
                             {QStringLiteral("tables"), tableList},
                             {QStringLiteral("relationships"), relationships},
                             {QStringLiteral("warnings"), QJsonArray::fromStringList(warnings)},
                             {QStringLiteral("stopped"), stopped},
                             {QStringLiteral("failed"), failed()},
                             {QStringLiteral("seconds"), seconds}};
    return QJsonDocument(report).toJson();
}

}  // namespace keldara::transfer::migration

#include "transfer/CreateTableScript.h"

#include <QStringList>

#include "transfer/ColumnTypes.h"
#include "transfer/RecordLoop.h"
#include "transfer/SqlText.h"

namespace keldara::transfer {

namespace {

const QString kLineEnd = QStringLiteral("\r\n");
const QString kRule = QStringLiteral("#----------------------------");

QString headerLines(const QString& table) {
    return kRule + kLineEnd + QStringLiteral("# Table structure for ") + table + kLineEnd + kRule +
           kLineEnd + QStringLiteral("SET NAMES utf8mb4;") + kLineEnd +
           QStringLiteral("drop table if exists ") + table + QLatin1Char(';') + kLineEnd +
           QStringLiteral("create table ") + QuoteIdentifier(table) + QStringLiteral(" (") +
           kLineEnd;
}

QString columnLines(const dao::Recordset& source, const QString& indexName,
                    const QString& indexColumn) {
    QString lines;
    const int last = source.fieldCount() - 1;
    for (int i = 0; i <= last; ++i) {
        const dao::FieldInfo& field = source.fieldInfo(i);
        lines += QuoteIdentifier(field.name) + QLatin1Char(' ') + MySQLColumnType(field);
        lines += (i < last || !indexName.isEmpty()) ? QStringLiteral(",") : QStringLiteral(") ");
        lines += kLineEnd;
    }
    if (!indexName.isEmpty()) {
        lines += QStringLiteral("index ") + indexName + QStringLiteral(" (") +
                 QuoteIdentifier(indexColumn) + QStringLiteral("))") + kLineEnd;
    }
    return lines + QStringLiteral("ENGINE=MyISAM DEFAULT CHARSET=utf8mb4;") + kLineEnd + kLineEnd;
}

QString recordsHeading(const QString& table) {
    return kRule + kLineEnd + QStringLiteral("# Records for ") + table + kLineEnd + kRule +
           kLineEnd;
}

QString insertLine(const QString& table, const dao::Recordset& source, long row) {
    QStringList literals;
    for (int i = 0; i < source.fieldCount(); ++i) {
        literals << transferLiteral(source.valueAt(row, i), source.fieldInfo(i).type);
    }
    return BuildSQLString(QStringLiteral("INSERT"), table, {}, literals) + QLatin1Char(';') +
           kLineEnd;
}

}  // namespace

ScriptResult CreateTableScript(const QString& table, const dao::Recordset& source,
                               TransferProgress& progress, const QString& indexName,
                               const QString& indexColumn) {
    RecordLoop loop(progress, QStringLiteral("Processed Record :"));
    QString script;
    ScriptResult result;
    static_cast<TransferResult&>(result) = loop.run([&] {
        loop.reach(100);
        loop.status(QStringLiteral("Creating MySQL Statement"));
        loop.reach(110);
        progress.setProgressMaximum(source.recordCount());
        if (source.recordCount() == 0) return;
        loop.reach(120);
        script = headerLines(table);
        loop.reach(130);
        script += columnLines(source, indexName, indexColumn);
        loop.reach(140);
        script += recordsHeading(table);
        loop.forEachRecord(source.recordCount(), 150,
                           [&](long row) { script += insertLine(table, source, row); });
    });
    if (result.completed() && result.recordsDone > 0) result.script = script;
    return result;
}

}  // namespace keldara::transfer

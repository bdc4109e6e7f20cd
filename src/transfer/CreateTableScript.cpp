#include "transfer/CreateTableScript.h"

#include <QStringList>

#include "platform/dao/mysql/NewColumnNames.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "transfer/ColumnTypes.h"
#include "transfer/PairedFields.h"
#include "transfer/SqlText.h"
#include "transfer/TransferRun.h"

namespace keldara::transfer {

namespace {

const QString kLineEnd = QStringLiteral("\r\n");
const QString kRule = QStringLiteral("#----------------------------");

QString headerLines(const QString& table) {
    return kRule + kLineEnd + QStringLiteral("# Table structure for ") + table + kLineEnd + kRule +
           kLineEnd + QStringLiteral("SET NAMES utf8mb4;") + kLineEnd +
           QStringLiteral("drop table if exists ") + table + QLatin1Char(';') + kLineEnd +
           QStringLiteral("create table ") + dao::mysql::QuoteIdentifier(table) +
           QStringLiteral(" (") + kLineEnd;
}

// MySQL's limit on a table's columns.
constexpr int kMaxColumns = 4096;

QStringList columnNames(const dao::Recordset& source) {
    QStringList fieldNames;
    for (int i = 0; i < source.fieldCount(); ++i) fieldNames << source.fieldInfo(i).name;
    return dao::mysql::NewColumnNames(fieldNames);
}

QString columnLines(const dao::Recordset& source, const QString& indexName,
                    const QString& indexColumn) {
    if (source.fieldCount() > kMaxColumns) {
        refuseRun(QStringLiteral("The source table has %1 fields; a MySQL table holds at most "
                                 "%2 columns.")
                      .arg(source.fieldCount())
                      .arg(kMaxColumns));
    }
    std::vector<dao::FieldInfo> fields;
    for (int i = 0; i < source.fieldCount(); ++i) fields.push_back(source.fieldInfo(i));
    const QStringList names = columnNames(source);
    const std::vector<QString> types = TableColumnTypes(fields);
    QString lines;
    const int last = source.fieldCount() - 1;
    for (int i = 0; i <= last; ++i) {
        lines += dao::mysql::QuoteIdentifier(names[i]) + QLatin1Char(' ') + types[i];
        lines += (i < last || !indexName.isEmpty()) ? QStringLiteral(",") : QStringLiteral(") ");
        lines += kLineEnd;
    }
    if (!indexName.isEmpty()) {
        lines += QStringLiteral("index ") + indexName + QStringLiteral(" (") +
                 dao::mysql::QuoteIdentifier(indexColumn) + QStringLiteral("))") + kLineEnd;
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
    TransferRun loop(progress, QStringLiteral("Processed Record :"));
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

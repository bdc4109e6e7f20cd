#include "transfer/CreateTableScript.h"

#include <QSet>
#include <QStringList>

#include "transfer/ColumnTypes.h"
#include "transfer/PairedFields.h"
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

// MySQL's limits on a table's columns and on a column's name.
constexpr int kMaxColumns = 4096;
constexpr qsizetype kMaxNameLength = 64;

// A name MySQL takes for a column: without trailing blanks, "F<n>" when blank, characters it
// cannot hold in a name (outside the Basic Multilingual Plane, NUL) as "_", at most 64
// characters.
QString validColumnName(const QString& name, int position) {
    QString valid;
    for (const char32_t c : name.toUcs4()) {
        valid += c == 0 || c > 0xFFFF ? QString(QLatin1Char('_')) : QString::fromUcs4(&c, 1);
    }
    while (!valid.isEmpty() && valid.back().isSpace()) valid.chop(1);
    if (valid.isEmpty()) valid = QStringLiteral("F%1").arg(position);
    return valid.left(kMaxNameLength);
}

// Every field's column name, valid and unique ignoring letter case as MySQL compares them:
// a name already taken gets "_2", "_3", ... in place of its last characters if need be.
QStringList columnNames(const dao::Recordset& source) {
    QStringList names;
    QSet<QString> taken;
    for (int i = 0; i < source.fieldCount(); ++i) {
        const QString valid = validColumnName(source.fieldInfo(i).name, i + 1);
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
        lines += QuoteIdentifier(names[i]) + QLatin1Char(' ') + types[i];
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

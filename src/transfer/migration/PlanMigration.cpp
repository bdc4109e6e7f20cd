#include <optional>

#include "platform/dao/mysql/NewColumnNames.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "transfer/migration/ColumnDefaults.h"
#include "transfer/migration/ForeignKeys.h"
#include "transfer/migration/MigrationColumnTypes.h"
#include "transfer/migration/MigrationPlan.h"
#include "transfer/migration/TableKeys.h"

namespace keldara::transfer::migration {

namespace {

constexpr qsizetype kMaxColumnComment = 1024;
constexpr qsizetype kMaxTableComment = 2048;

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString commentClause(const QString& comment) {
    return QStringLiteral(" COMMENT '") + dao::escapeSqlText(comment) + QLatin1Char('\'');
}

// The description as a COMMENT clause, cut to what MySQL keeps.
QString commentOf(const std::optional<QString>& description, qsizetype limit, const QString& of,
                  QStringList& warnings) {
    if (!description || description->isEmpty()) return {};
    if (description->size() > limit)
        warnings << QStringLiteral("the description of %1 is cut to %2 characters")
                        .arg(of, QString::number(limit));
    return commentClause(description->left(limit));
}

// The first AutoNumber column of an integer type: the table's counter; -1 for none.
int counterOf(const dao::TableSchema& table, const std::vector<ColumnType>& types) {
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        if (table.columns[i].autoNumber && isIntegerType(types[i].type)) return static_cast<int>(i);
    return -1;
}

QString columnLine(const dao::ColumnSchema& column, const QString& name, const QString& type,
                   bool counter, QStringList& warnings) {
    QString line = dao::mysql::QuoteIdentifier(name) + QLatin1Char(' ') + type;
    if (column.required || counter) line += QStringLiteral(" NOT NULL");
    if (counter) line += QStringLiteral(" AUTO_INCREMENT");
    if (column.defaultValue && !column.defaultValue->trimmed().isEmpty() && !counter) {
        const auto value = MySqlDefault(*column.defaultValue, type);
        if (!value) {
            warnings << QStringLiteral("default %1 of column %2 has no %3 form: left out")
                            .arg(*column.defaultValue, quoted(name), type);
        } else if (*value != u"NULL" || !column.required) {
            line += QStringLiteral(" DEFAULT ") + *value;
        }
    }
    return line + commentOf(column.description, kMaxColumnComment,
                            QStringLiteral("column ") + quoted(name), warnings);
}

void noteRenamed(TablePlan& plan) {
    if (plan.targetName != plan.sourceName)
        plan.renamed << QStringLiteral("table %1 -> %2")
                            .arg(quoted(plan.sourceName), quoted(plan.targetName));
    for (std::size_t i = 0; i < plan.schema.columns.size(); ++i) {
        const QString& source = plan.schema.columns[i].name;
        const QString& target = plan.columnNames[qsizetype(i)];
        if (source != target)
            plan.renamed << QStringLiteral("column %1 -> %2").arg(quoted(source), quoted(target));
    }
}

// The plan of one table, named `targetName`, and its whole unique keys.
KeyedTable planTable(const dao::TableSchema& table, const QString& targetName,
                     const LongestText& longestText, TablePlan& plan) {
    plan.sourceName = table.name;
    plan.targetName = targetName;
    plan.schema = table;
    QStringList fieldNames;
    for (const dao::ColumnSchema& column : table.columns) fieldNames << column.name;
    plan.columnNames = dao::mysql::NewColumnNames(fieldNames);
    int widened = 0;
    const LongestOfColumn longest = [&](const QString& column) -> long long {
        return longestText ? longestText(table.name, column) : -1;
    };
    const std::vector<ColumnType> types = ColumnTypesOf(table, longest, widened);
    if (widened > 0)
        plan.warnings << QStringLiteral(
                             "%1 short text columns made TEXT, so that a row fits an "
                             "InnoDB page")
                             .arg(widened);
    for (const ColumnType& type : types) plan.columnTypes << type.type;
    const int counter = counterOf(table, types);
    if (counter >= 0) plan.autoIncrementColumn = plan.columnNames[counter];

    QStringList lines;
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        lines << columnLine(table.columns[i], plan.columnNames[qsizetype(i)], types[i].type,
                            static_cast<int>(i) == counter, plan.warnings);
    TableKeys keys = KeysOf(table, plan.columnNames, types, counter);
    lines << keys.lines;
    plan.keys = keys.keys;
    plan.indexes = keys.indexes;
    plan.warnings << keys.warnings;
    plan.createTable = QStringLiteral("CREATE TABLE ") + dao::mysql::QuoteIdentifier(targetName) +
                       QStringLiteral(" (\n  ") + lines.join(QStringLiteral(",\n  ")) +
                       QStringLiteral("\n) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4") +
                       commentOf(table.description, kMaxTableComment,
                                 QStringLiteral("table ") + quoted(targetName), plan.warnings);
    noteRenamed(plan);
    return {nullptr, std::move(keys.wholeUniqueKeys)};
}

// Every index name of the plan: foreign keys take other names.
QStringList indexNamesOf(const MigrationPlan& plan) {
    QStringList names;
    for (const TablePlan& table : plan.tables)
        for (const dao::IndexSchema& index : table.schema.indexes) names << index.name;
    return names;
}

}  // namespace

MigrationPlan PlanMigration(const dao::DatabaseSchema& schema,
                            const QHash<QString, QString>& targetNames,
                            const LongestText& longestText) {
    QStringList wanted;
    for (const dao::TableSchema& table : schema.tables)
        wanted << targetNames.value(table.name, table.name);
    const QStringList tableNames = dao::mysql::NewColumnNames(wanted);

    MigrationPlan plan;
    plan.tables.resize(schema.tables.size());
    std::vector<KeyedTable> keyed;
    for (std::size_t i = 0; i < schema.tables.size(); ++i) {
        keyed.push_back(
            planTable(schema.tables[i], tableNames[qsizetype(i)], longestText, plan.tables[i]));
        keyed.back().plan = &plan.tables[i];
    }
    plan.foreignKeys =
        ForeignKeysOf(schema.relationships, keyed, indexNamesOf(plan), plan.warnings);
    return plan;
}

}  // namespace keldara::transfer::migration

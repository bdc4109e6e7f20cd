// The plan of a whole database's move: its script run by the mariadb client, and the structure
// the server then reports (information_schema) against the source's own structure.
#include <gtest/gtest.h>

#include <QSet>
#include <algorithm>

#include "platform/dao/TypeCodes.h"
#include "platform/dao/access/AccessSchema.h"
#include "support/Paths.h"
#include "support/TestServer.h"
#include "transfer/migration/MigrationPlan.h"

using namespace keldara;
using namespace keldara::test;
using namespace keldara::transfer::migration;

namespace {

const char* kNorthwind = "mdb/statdata__Northwind-Databse/Northwind.mdb";
const char* kNwind = "mdb/mdbtools__mdbtestdata/nwind.mdb";

QString joined(QStringList items) {
    return items.join(QStringLiteral(", "));
}

// Lines of the structure: "T: PRIMARY (a, b DESC)", "T: UNIQUE (a)", "T: KEY (a(255))",
// "T(a->x, b->y) -> R cascade-update", "T.c NOT NULL", "T.c auto_increment".
using Lines = QSet<QString>;

const TablePlan* planOf(const MigrationPlan& plan, const QString& source) {
    for (const TablePlan& table : plan.tables)
        if (table.sourceName == source) return &table;
    return nullptr;
}

QString target(const TablePlan& table, const QString& column) {
    for (std::size_t i = 0; i < table.schema.columns.size(); ++i)
        if (table.schema.columns[i].name.compare(column, Qt::CaseInsensitive) == 0)
            return table.columnNames[qsizetype(i)];
    return QStringLiteral("?") + column;
}

// What the source says, in the target's names.
Lines sourceLines(const dao::DatabaseSchema& schema, const MigrationPlan& plan) {
    Lines lines;
    for (const TablePlan& table : plan.tables) {
        QSet<QString> notNull;
        for (const dao::IndexSchema& index : table.schema.indexes) {
            QStringList columns;
            for (const dao::IndexColumn& c : index.columns) {
                columns << target(table, c.name) + (c.ascending ? "" : " DESC");
                if (index.primary) notNull << target(table, c.name);
            }
            lines << QStringLiteral("%1: %2 (%3)")
                         .arg(table.targetName,
                              index.primary  ? "PRIMARY"
                              : index.unique ? "UNIQUE"
                                             : "KEY",
                              joined(columns));
        }
        for (std::size_t i = 0; i < table.schema.columns.size(); ++i) {
            const dao::ColumnSchema& c = table.schema.columns[i];
            const QString name = table.columnNames[qsizetype(i)];
            const bool counter = c.autoNumber && c.type != dao::adType::GUID;
            if (c.required || counter || notNull.contains(name))
                lines << table.targetName + "." + name + " NOT NULL";
            if (counter) lines << table.targetName + "." + name + " auto_increment";
        }
    }
    for (const dao::RelationshipSchema& r : schema.relationships) {
        const TablePlan* from = planOf(plan, r.table);
        const TablePlan* to = planOf(plan, r.referencedTable);
        if (!r.enforced || !from || !to) continue;
        QStringList pairs;
        for (qsizetype i = 0; i < r.columns.size(); ++i)
            pairs << target(*from, r.columns[i]) + "->" + target(*to, r.referencedColumns[i]);
        pairs.sort();
        lines << QStringLiteral("%1(%2) -> %3%4%5")
                     .arg(from->targetName, joined(pairs), to->targetName,
                          r.cascadeUpdate ? " cascade-update" : "",
                          r.cascadeDelete ? " cascade-delete" : "");
    }
    return lines;
}

// What the server says of the scratch database.
Lines serverLines(dao::Connection& connection) {
    Lines lines;
    const auto rows = [&](const char* sql) {
        std::vector<QStringList> result;
        const auto records = connection.openRecordset(QString::fromUtf8(sql));
        for (long r = 0; r < records->recordCount(); ++r) {
            QStringList row;
            for (int c = 0; c < records->fieldCount(); ++c)
                row << records->valueAt(r, c).standardText();
            result.push_back(row);
        }
        return result;
    };
    QMap<QString, QStringList> keys;  // "table: KIND" + index name -> columns
    for (const QStringList& row :
         rows("SELECT TABLE_NAME, INDEX_NAME, NON_UNIQUE, COLUMN_NAME, SUB_PART, COLLATION FROM "
              "information_schema.STATISTICS WHERE TABLE_SCHEMA = DATABASE() AND INDEX_NAME NOT "
              "IN (SELECT CONSTRAINT_NAME FROM information_schema.REFERENTIAL_CONSTRAINTS WHERE "
              "CONSTRAINT_SCHEMA = DATABASE()) ORDER BY TABLE_NAME, INDEX_NAME, SEQ_IN_INDEX")) {
        const QString kind = row[1] == "PRIMARY" ? "PRIMARY" : row[2] == "0" ? "UNIQUE" : "KEY";
        keys[row[0] + ": " + kind + "\t" + row[1]]
            << row[3] + (row[4].isEmpty() ? "" : "(" + row[4] + ")") +
                   (row[5] == "D" ? " DESC" : "");
    }
    for (auto key = keys.begin(); key != keys.end(); ++key)
        lines << key.key().section(u'\t', 0, 0) + " (" + joined(key.value()) + ")";
    QMap<QString, QStringList> references;
    for (const QStringList& row :
         rows("SELECT k.TABLE_NAME, k.CONSTRAINT_NAME, k.COLUMN_NAME, k.REFERENCED_COLUMN_NAME, "
              "k.REFERENCED_TABLE_NAME, r.UPDATE_RULE, r.DELETE_RULE FROM "
              "information_schema.KEY_COLUMN_USAGE k JOIN "
              "information_schema.REFERENTIAL_CONSTRAINTS "
              "r USING (CONSTRAINT_SCHEMA, CONSTRAINT_NAME, TABLE_NAME) WHERE k.TABLE_SCHEMA = "
              "DATABASE()")) {
        references[row[0] + "\t" + row[1] + "\t" + row[4] +
                   (row[5] == "CASCADE" ? " cascade-update" : "") +
                   (row[6] == "CASCADE" ? " cascade-delete" : "")]
            << row[2] + "->" + row[3];
    }
    for (auto key = references.begin(); key != references.end(); ++key) {
        QStringList pairs = key.value();
        pairs.sort();
        lines << key.key().section(u'\t', 0, 0) + "(" + joined(pairs) + ") -> " +
                     key.key().section(u'\t', 2);
    }
    for (const QStringList& row :
         rows("SELECT TABLE_NAME, COLUMN_NAME, IS_NULLABLE, EXTRA FROM information_schema.COLUMNS "
              "WHERE TABLE_SCHEMA = DATABASE()")) {
        if (row[2] == "NO") lines << row[0] + "." + row[1] + " NOT NULL";
        if (row[3].contains("auto_increment")) lines << row[0] + "." + row[1] + " auto_increment";
    }
    return lines;
}

QString difference(const Lines& a, const Lines& b) {
    QStringList lines = QSet(a).subtract(b).values();
    lines.sort();
    return lines.join(u'\n');
}

class MigrationScriptOnServer : public MySqlTest,
                                public ::testing::WithParamInterface<const char*> {};

// The dry run's script makes every table, key, index, counter and relationship the source has.
TEST_P(MigrationScriptOnServer, MakesTheSourcesStructure) {
    const QString path = fixturePath(QString::fromUtf8(GetParam()));
    KELDARA_SKIP_WITHOUT_FIXTURE(path);
    const dao::DatabaseSchema schema = dao::access::readAccessSchema(path, passwordOf(path));
    const MigrationPlan plan = PlanMigration(schema);
    const QString script = MigrationScript(plan);
    ASSERT_EQ(runThroughClient(db_->server, db_->name, script).toStdString(), "0")
        << script.toStdString();
    const Lines ours = sourceLines(schema, plan);
    const Lines theirs = serverLines(*connection_);
    EXPECT_EQ(difference(ours, theirs).toStdString(), "");
    EXPECT_EQ(difference(theirs, ours).toStdString(), "");
    EXPECT_EQ(plan.warnings.join(u'\n').toStdString(), "");
}

INSTANTIATE_TEST_SUITE_P(Files, MigrationScriptOnServer,
                         ::testing::Values(kNorthwind, kNwind,
                                           "mdb/jahlborn__jackcess/testV1997.mdb",
                                           "mdb/spannm__ucanaccess/weirdObjectNames.mdb",
                                           "accdb/jahlborn__jackcess/indexTestV2007.accdb",
                                           "accdb/jahlborn__jackcess/testV2007.accdb",
                                           "accdb/jahlborn__jackcess/extDateTestV2019.accdb"),
                         [](const auto& info) { return fixtureTestName(info.param); });

}  // namespace

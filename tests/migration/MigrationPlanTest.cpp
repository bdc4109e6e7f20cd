// The plan of a whole database's move: its script run by the mariadb client, and the structure
// the server then reports (information_schema) against the source's own structure.
#include <gtest/gtest.h>

#include <QSet>
#include <algorithm>

#include "platform/dao/TypeCodes.h"
#include "platform/dao/access/AccessSchema.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "support/Paths.h"
#include "support/Readers.h"
#include "support/TestServer.h"
#include "transfer/SqlText.h"
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

// Every record of every table, sent as its values' standard texts (those the bulk load sends),
// reads back the same from the planned columns.
void expectValuesKept(const QString& path, const MigrationPlan& plan, dao::Connection& target) {
    const QString provider =
        path.endsWith(".accdb") ? "Microsoft.ACE.OLEDB.12.0" : "Microsoft.Jet.OLEDB.4.0";
    const auto source = dao::openConnection(
        QStringLiteral("Provider=%1;Data Source=%2;Jet OLEDB:Database Password=%3")
            .arg(provider, path, passwordOf(path)));
    target.execute(
        "SET FOREIGN_KEY_CHECKS = 0, SQL_MODE = CONCAT(@@SQL_MODE, "
        "',NO_AUTO_VALUE_ON_ZERO')");
    for (const TablePlan& table : plan.tables) {
        const QString name = dao::mysql::QuoteIdentifier(table.targetName);
        const auto records = selectAll(*source, table.sourceName);
        for (long r = 0; r < records->recordCount(); ++r) {
            QStringList literals;
            for (int c = 0; c < records->fieldCount(); ++c)
                literals << transfer::transferLiteral(records->valueAt(r, c),
                                                      records->fieldInfo(c).type);
            target.execute("INSERT INTO " + name + " VALUES (" + literals.join(u',') + ")");
        }
        EXPECT_EQ(rowsOf(*target.openRecordset("SELECT * FROM " + name)), rowsOf(*records))
            << table.sourceName.toStdString();
    }
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
    expectValuesKept(path, plan, *connection_);
}

INSTANTIATE_TEST_SUITE_P(Files, MigrationScriptOnServer,
                         ::testing::Values(kNorthwind, kNwind,
                                           "mdb/jahlborn__jackcess/testV1997.mdb",
                                           "mdb/spannm__ucanaccess/weirdObjectNames.mdb",
                                           "accdb/jahlborn__jackcess/indexTestV2007.accdb",
                                           "accdb/jahlborn__jackcess/testV2007.accdb",
                                           "accdb/jahlborn__jackcess/extDateTestV2019.accdb"),
                         [](const auto& info) { return fixtureTestName(info.param); });

dao::ColumnSchema column(const char* name, int type, long size = 0, const char* value = nullptr) {
    dao::ColumnSchema c;
    c.name = QString::fromUtf8(name);
    c.type = type;
    c.definedSize = size;
    if (value) c.defaultValue = QString::fromUtf8(value);
    return c;
}

dao::IndexSchema index(const char* name, QStringList columns, bool unique = false) {
    dao::IndexSchema i{QString::fromUtf8(name), {}, false, unique};
    for (const QString& c : columns) i.columns.push_back({c, !c.startsWith(u'z')});
    return i;
}

// A database that tries each rule: names with blanks, reserved words and clashes; defaults;
// long text by its longest value; prefixes; a counter that starts no index; relationships
// that are multi-column in another order than the key, unenforced, to no key, between types.
dao::DatabaseSchema trialDatabase() {
    namespace t = dao::adType;
    dao::TableSchema a{"select", {}, {}, QStringLiteral("it's")};
    a.columns = {column("id", t::Integer, 4),
                 column("code", t::VarWChar, 10, "\"x'y\""),
                 column("order by", t::VarWChar, 255),
                 column("Code", t::VarWChar, 255),
                 column("c3", t::VarWChar, 255),
                 column("zc4", t::VarWChar, 255),
                 column("notes", t::LongVarWChar),
                 column("big", t::LongVarWChar),
                 column("when", t::Date, 8, "=Now()"),
                 column("flag", t::Boolean, 2, "Yes"),
                 column("price", t::Currency, 8, "12.5"),
                 column("bad", t::Integer, 4, "DMax(1)"),
                 column("guid", t::GUID, 16, "GenGUID()")};
    a.columns[0].autoNumber = true;
    a.columns[1].required = true;
    a.indexes = {index("PrimaryKey", {"code", "id"}, true), index("notes", {"notes"}, true),
                 index("big", {"big"}, true), index("PRIMARY", {"order by", "Code", "c3", "zc4"})};
    a.indexes[0].primary = true;
    const dao::TableSchema sheet = dao::SchemaOfFields(
        "Sheet1", {{"x_id", t::Integer, 4}, {"x_code ", t::VarWChar, 10}, {"n", t::SmallInt, 2}});
    const auto relationship = [](const char* name, QStringList from, QStringList to) {
        return dao::RelationshipSchema{name, "Sheet1", from, "select", to, true, true, true};
    };
    dao::DatabaseSchema schema{{a, sheet},
                               {relationship("both", {"x_id", "x_code "}, {"id", "code"}),
                                relationship("loose", {"x_id", "x_code "}, {"id", "code"}),
                                relationship("nokey", {"x_id"}, {"id"}),
                                relationship("types", {"n", "x_code "}, {"id", "code"})}};
    schema.relationships[1].enforced = false;
    return schema;
}

// The type of a column ("file", "Table.column", type) as the plan declares it; long text told
// 20 characters at most.
TEST(MigrationPlan, ColumnTypesKeepTheSourcesValues) {
    const char* jet3 = "mdb/jahlborn__jackcess/testV1997.mdb";
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {kNorthwind, "Customers.CustomerID", "VARCHAR(5)"},
        {kNwind, "Categories.Description", "MEDIUMTEXT"},
        {kNorthwind, "Employees.Photo", "LONGBLOB"},
        {kNorthwind, "Products.Discontinued", "TINYINT(1)"},
        {kNwind, "Order Details.Quantity", "SMALLINT"},
        {kNorthwind, "Order Details.Discount", "FLOAT"},
        {kNwind, "Order Details.UnitPrice", "DECIMAL(19,4)"},
        {kNorthwind, "Orders.OrderDate", "DATETIME(3)"},
        {"accdb/jahlborn__jackcess/extDateTestV2019.accdb", "Table1.DateExt", "DATETIME(6)"},
        {jet3, "Table1.C", "TINYINT UNSIGNED"},
        {jet3, "Table4.data", "CHAR(38)"},
        {"mdb/spannm__ucanaccess/functionsV2000.mdb", "t_funcs.num", "DECIMAL(12,3)"},
    };
    QStringList missing;
    for (const auto& [file, column, type] : cases) {
        const QString path = fixturePath(QString::fromUtf8(file));
        if (leaveOutMissing(path, missing)) continue;
        const MigrationPlan plan = PlanMigration(dao::access::readAccessSchema(path), {},
                                                 [](const QString&, const QString&) { return 20; });
        const QString table = QString::fromUtf8(column).section(u'.', 0, 0);
        const TablePlan* planned = planOf(plan, table);
        ASSERT_NE(planned, nullptr) << file << " " << column;
        const qsizetype at =
            planned->columnNames.indexOf(QString::fromUtf8(column).section(u'.', 1));
        EXPECT_EQ(planned->columnTypes.value(at).toStdString(), type) << file << " " << column;
    }
    if (!missing.isEmpty()) GTEST_SKIP() << missing.join(u' ').toStdString();
}

using MigrationRules = MySqlTest;

TEST_F(MigrationRules, NamesDefaultsPrefixesCountersAndRelationships) {
    const MigrationPlan plan = PlanMigration(
        trialDatabase(), {{"Sheet1", "SELECT"}},
        [](const QString& table, const QString& column) { return column == "notes" ? 100 : -1; });
    const QString script = MigrationScript(plan);
    ASSERT_EQ(runThroughClient(db_->server, db_->name, script).toStdString(), "0")
        << script.toStdString();
    const Lines server = serverLines(*connection_);
    for (const char* line :
         {"select: PRIMARY (code, id)", "select: UNIQUE (notes(255))", "select: KEY (big(255))",
          "select: KEY (order by(192), Code_2(192), c3(192), zc4(192) DESC)", "select: KEY (id)",
          "SELECT_2(x_code->code, x_id->id) -> select cascade-update cascade-delete",
          "select.id auto_increment", "select.code NOT NULL"}) {
        EXPECT_TRUE(server.contains(QString::fromUtf8(line))) << line;
    }
    EXPECT_EQ(server.size(), 9) << QStringList(server.values()).join(u'\n').toStdString();
    const auto columns = connection_->openRecordset(
        "SELECT GROUP_CONCAT(CONCAT(COLUMN_NAME, ' ', COLUMN_TYPE, ' ', IFNULL(COLUMN_DEFAULT, "
        "'-')) ORDER BY ORDINAL_POSITION SEPARATOR ', ') FROM information_schema.COLUMNS WHERE "
        "TABLE_SCHEMA = DATABASE() AND TABLE_NAME = 'select'");
    EXPECT_EQ(columns->valueAt(0, 0).standardText().toStdString(),
              "id int(11) -, code varchar(10) 'x''y', order by varchar(255) NULL, Code_2 "
              "varchar(255) NULL, c3 varchar(255) NULL, zc4 varchar(255) NULL, notes mediumtext "
              "NULL, big longtext NULL, when datetime(3) current_timestamp(3), flag tinyint(1) 1, "
              "price decimal(19,4) 12.5000, bad int(11) NULL, guid char(38) "
              "concat('{',ucase(uuid()),'}')");
    const TablePlan& a = plan.tables[0];
    EXPECT_EQ(a.renamed.join(u'|').toStdString(), "column \"Code\" -> \"Code_2\"");
    EXPECT_EQ(plan.tables[1].renamed.join(u'|').toStdString(),
              "table \"Sheet1\" -> \"SELECT_2\"|column \"x_code \" -> \"x_code\"");
    EXPECT_EQ(std::make_tuple(a.keys, a.indexes, a.autoIncrementColumn.toStdString()),
              std::make_tuple(2, 3, std::string("id")));
    const QString warnings = a.warnings.join(u'\n') + u'\n' + plan.warnings.join(u'\n');
    for (const char* warning :
         {"default DMax(1) of column \"bad\"", "index \"notes\" indexes \"notes\" by its first 255",
          "unique index \"big\" made as a plain index", "\"zc4\" by its first 192 characters",
          "counter \"id\" starts no index",
          "\"loose\" (\"Sheet1\" to \"select\") left out: it is "
          "not enforced",
          "\"nokey\" (\"Sheet1\" to \"select\") left out: the referenced columns",
          "\"types\" (\"Sheet1\" to \"select\") left out: column \"n\" is SMALLINT and \"id\" is "
          "INT"})
        EXPECT_TRUE(warnings.contains(QString::fromUtf8(warning))) << warning << "\n"
                                                                   << warnings.toStdString();
}

}  // namespace

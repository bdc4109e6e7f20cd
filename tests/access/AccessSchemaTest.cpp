// The structure of Access databases (keys, indexes, Required, AutoNumber, relationships,
// properties) against Debian's mdb-schema, and what it does not print.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include "platform/dao/TypeCodes.h"
#include "platform/dao/access/AccessSchema.h"
#include "support/Paths.h"

using namespace keldara::dao;
using namespace keldara::test;

namespace {

QString quotedList(const std::vector<IndexColumn>& columns) {
    QStringList names;
    for (const IndexColumn& column : columns)
        names << QLatin1Char('`') + column.name + (column.ascending ? "`" : "` DESC");
    return names.join(QStringLiteral(", "));
}

QString quotedList(const QStringList& columns) {
    return QLatin1Char('`') + columns.join(QStringLiteral("`, `")) + QLatin1Char('`');
}

// Ours as the lines of mdb-schema's MySQL script that say keys, indexes and relationships,
// and "table.column NOT NULL" or "table.column auto_increment" for the columns.
QSet<QString> asMdbSchemaLines(const DatabaseSchema& schema) {
    QSet<QString> lines;
    for (const TableSchema& table : schema.tables) {
        const QString alter = QStringLiteral("ALTER TABLE `%1` ADD ").arg(table.name);
        for (const IndexSchema& index : table.indexes) {
            lines << alter + (index.primary ? QStringLiteral("PRIMARY KEY (%1);")
                                            : QStringLiteral("%1INDEX `%2` (%3);")
                                                  .arg(index.unique ? "UNIQUE " : "", index.name))
                                 .arg(quotedList(index.columns));
        }
        for (const ColumnSchema& column : table.columns) {
            const QString name = table.name + QLatin1Char('.') + column.name;
            if (column.autoNumber && column.type != adType::GUID) lines << name + " auto_increment";
            if (column.required) lines << name + " NOT NULL";
        }
    }
    for (const RelationshipSchema& r : schema.relationships) {
        if (!r.enforced) continue;
        lines << QStringLiteral(
                     "ALTER TABLE `%1` ADD CONSTRAINT FOREIGN KEY (%2) REFERENCES "
                     "`%3`(%4)%5%6;")
                     .arg(r.table, quotedList(r.columns), r.referencedTable,
                          quotedList(r.referencedColumns),
                          r.cascadeUpdate ? " ON UPDATE CASCADE" : "",
                          r.cascadeDelete ? " ON DELETE CASCADE" : "");
    }
    return lines;
}

// mdb-schema's lines, leaving out its constraint names (it makes them up), its NOT NULL of
// Yes/No columns (it writes it for every one) and the relationships of system tables.
QSet<QString> mdbSchemaLines(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("mdb-schema"), {path, QStringLiteral("mysql")});
    EXPECT_TRUE(process.waitForFinished(60000)) << "mdb-schema (Debian's mdbtools) did not run";
    const QString script = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(script.contains(QLatin1String("CREATE TABLE"))) << script.toStdString();
    const QRegularExpression column(QStringLiteral("^\\t`([^`]*)`\\t+(.*)$"));
    QSet<QString> lines;
    QString table;
    for (const QString& line : script.split(u'\n')) {
        if (line.startsWith(QLatin1String("CREATE TABLE `"))) table = line.section(u'`', 1, 1);
        if (line.startsWith(QLatin1String("ALTER TABLE")) &&
            !line.startsWith(QLatin1String("ALTER TABLE `MSys"))) {
            lines << QString(line).replace(
                QRegularExpression(QStringLiteral("CONSTRAINT `[^`]*` ")),
                QStringLiteral("CONSTRAINT "));
        }
        const auto match = column.match(line);
        if (!match.hasMatch()) continue;
        const QString name = table + QLatin1Char('.') + match.captured(1);
        if (match.captured(2).contains(QLatin1String("auto_increment")))
            lines << name + " auto_increment";
        if (match.captured(2).contains(QLatin1String("NOT NULL")) &&
            !match.captured(2).startsWith(QLatin1String("boolean")))
            lines << name + " NOT NULL";
    }
    return lines;
}

// A file, and a line mdb-schema leaves out though the file says it.
class SchemaAsMdbSchema : public ::testing::TestWithParam<std::tuple<const char*, const char*>> {};

// mdb-schema is right on these files. In each, Access lists the logical indexes by name and
// an index kept for a relationship may come before the others (Northwind's Orders: ".rI",
// "CustomersOrders" and "EmployeesOrders" before "OrderDate", whose physical index is 2 at
// place 5; ShippedDate's is 4 at place 7), or share the primary key's physical index
// (indexTestV2007's Table2 and Table3: ".rC" first, using physical index 1, so that "id"
// uses 0 and "PrimaryKey" 1): an index paired with the physical index of its own place would
// get the wrong columns or none.
TEST_P(SchemaAsMdbSchema, KeysIndexesRequiredAutoNumberAndRelationships) {
    const auto [file, missedByMdbSchema] = GetParam();
    const QString path = fixturePath(QString::fromUtf8(file));
    KELDARA_SKIP_WITHOUT_FIXTURE(path);
    const QSet<QString> ours = asMdbSchemaLines(access::readAccessSchema(path));
    QSet<QString> theirs = mdbSchemaLines(path);
    if (*missedByMdbSchema) theirs << QString::fromUtf8(missedByMdbSchema);
    EXPECT_EQ(QStringList(QSet(ours).subtract(theirs).values()).join(u'\n').toStdString(), "");
    EXPECT_EQ(QStringList(QSet(theirs).subtract(ours).values()).join(u'\n').toStdString(), "");
}

// MSysRelationships of indexTestV2007 (as mdb-export shows it) has two relationships of
// Table1, "Table2Table1" (grbit 0x1000) and "Table3Table1" (0x100); mdb-schema prints the first.
INSTANTIATE_TEST_SUITE_P(
    Files, SchemaAsMdbSchema,
    ::testing::Values(std::tuple{"mdb/statdata__Northwind-Databse/Northwind.mdb", ""},
                      std::tuple{"mdb/mdbtools__mdbtestdata/nwind.mdb", ""},
                      std::tuple{"mdb/jahlborn__jackcess/testV1997.mdb", ""},
                      std::tuple{"mdb/jahlborn__jackcess/test2V2000.mdb", ""},
                      std::tuple{
                          "accdb/jahlborn__jackcess/indexTestV2007.accdb",
                          "ALTER TABLE `Table1` ADD CONSTRAINT FOREIGN KEY (`otherfk2`) REFERENCES "
                          "`Table3`(`id`) ON UPDATE CASCADE;"},
                      std::tuple{"accdb/jahlborn__jackcess/extDateTestV2019.accdb", ""},
                      std::tuple{"accdb/jahlborn__jackcess/testV2007.accdb", ""}));

// A table ("T") as its description, its indexes ("T indexes") by name, a column ("T.c") as
// "type/size[/precision,scale] [required] [autonumber] [default=...] [description=...]", a
// relationship by its name.
QString described(const DatabaseSchema& schema, const QString& name) {
    for (const RelationshipSchema& r : schema.relationships) {
        if (name != r.name) continue;
        return QStringLiteral("%1(%2) -> %3(%4)%5%6%7%8")
            .arg(r.table, r.columns.join(u','), r.referencedTable, r.referencedColumns.join(u','),
                 r.enforced ? "" : " unenforced", r.cascadeUpdate ? " cascade-update" : "",
                 r.cascadeDelete ? " cascade-delete" : "", r.oneToOne ? " one-to-one" : "");
    }
    for (const TableSchema& table : schema.tables) {
        if (name == table.name) return table.description.value_or(QStringLiteral("-"));
        if (name == table.name + " indexes") {
            QStringList names;
            for (const IndexSchema& index : table.indexes) names << index.name;
            return names.join(u' ');
        }
        for (const ColumnSchema& c : table.columns) {
            if (name != table.name + QLatin1Char('.') + c.name) continue;
            QString text = QStringLiteral("%1/%2").arg(c.type).arg(c.definedSize);
            if (c.type == adType::Numeric)
                text += QStringLiteral("/%1,%2").arg(c.precision).arg(c.numericScale);
            if (c.required) text += " required";
            if (c.autoNumber) text += " autonumber";
            if (c.defaultValue) text += " default=" + *c.defaultValue;
            if (c.description) text += " description=" + *c.description;
            return text;
        }
    }
    return QStringLiteral("not found");
}

// What mdb-schema does not print: the properties Access keeps for the design view (in a Jet 3
// and a Jet 4 file), GUID autonumbers (which Access gives the default GenGUID()), decimals,
// the names of relationships and whether they are enforced, and no index of the hidden
// tables behind complex fields (mdb-schema prints them as unique indexes on the field).
TEST(AccessSchema, DefaultsDescriptionsGuidAutoNumbersDecimalsAndRelationships) {
    const char* jet4 = "mdb/statdata__Northwind-Databse/Northwind.mdb";
    const char* jet3 = "mdb/mdbtools__mdbtestdata/nwind.mdb";
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {jet4, "Order Details.Quantity", "2/2 required default=1"},
        {jet3, "Order Details.Quantity", "2/2 required default=1"},
        {jet4, "Products.Discontinued",
         "11/2 default==No description=Yes means item is no longer available."},
        {jet3, "Customers.CustomerID",
         "202/5 description=Unique five-character code based on customer name."},
        {jet4, "Orders", "Customer name, order date, and freight charge for each order."},
        {"mdb/jahlborn__jackcess/testV1997.mdb", "Table4.data",
         "72/16 autonumber default=GenGUID()"},
        {"accdb/jahlborn__jackcess/testV2007.accdb", "Table4.data",
         "72/16 autonumber default=GenGUID()"},
        {"mdb/spannm__ucanaccess/functionsV2000.mdb", "t_funcs.num", "131/19/12,3"},
        {"accdb/jahlborn__jackcess/complexDataTestV2010.accdb", "Table1 indexes", "PrimaryKey"},
        {jet4, "CustomersOrders", "Orders(CustomerID) -> Customers(CustomerID) cascade-update"},
        {jet3, "OrdersOrder Details", "Order Details(OrderID) -> Orders(OrderID) cascade-delete"},
    };
    QStringList missing;
    for (const auto& [file, name, expected] : cases) {
        const QString path = fixturePath(QString::fromUtf8(file));
        if (leaveOutMissing(path, missing)) continue;
        EXPECT_EQ(described(access::readAccessSchema(path), QString::fromUtf8(name)).toStdString(),
                  expected)
            << file << " " << name;
    }
    if (!missing.isEmpty()) GTEST_SKIP() << missing.join(u' ').toStdString();
}

}  // namespace

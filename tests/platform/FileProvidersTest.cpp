// The rules every file provider keeps: a connection opens its source and refuses work when
// closed, lists its tables, finds a table by name in any letter case, names a missing one, and
// reads whole tables only.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "support/Files.h"
#include "support/Paths.h"
#include "support/Readers.h"
#include "support/TestServer.h"

using namespace keldara::dao;
using namespace keldara::test;

namespace {

TEST(FileProviders, ConnectionsFindTablesReadWholeTablesAndRefuseWorkWhenClosed) {
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("orders.csv")), "id,item\n1,pen\n2,ink\n");
    const QString jet = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");
    // The connection, a table, the same table in other letter case.
    const std::tuple<QString, QString, QString> providers[] = {
        {jet + dataPath("mdb/jahlborn__jackcess/testV1997.mdb"), "Table1", "tABLE1"},
        {jet + dataPath("xls/tidyverse__readxl/geometry.xls") + ";Extended Properties=Excel 8.0;",
         "Sheet1$", "sheet1$"},
        {"Driver=Microsoft Visual Foxpro Driver;UID=;SourceType=DBF;SourceDB=" +
             dataPath("dbf/olemb__dbfread"),
         "people.dbf", "PEOPLE"},
        {jet + dir.path() + "\\;Extended Properties=\"text;HDR=Yes;FMT=Delimited;\"", "orders.csv",
         "Orders#CSV"},
    };
    for (const auto& [source, table, otherCase] : providers) {
        SCOPED_TRACE(table.toStdString());
        auto connection = createConnection(source);
        EXPECT_FALSE(connection->isOpen());
        EXPECT_EQ(errorOf([&] { connection->close(); }).number(), DaoError::NotOpen);
        connection->open(source);
        EXPECT_TRUE(connection->isOpen());
        EXPECT_EQ(connection->openTableCatalogue()->fieldInfo(0).name, "TABLE_NAME");
        EXPECT_TRUE(tableNames(*connection).contains(table));
        const auto read = [&](const QString& name) { return selectAll(*connection, name); };
        const long records = read(table)->recordCount();
        EXPECT_GT(records, 0);
        EXPECT_EQ(read(otherCase)->recordCount(), records);
        const DaoError missing = errorOf([&] { read(QStringLiteral("missing")); });
        EXPECT_EQ(missing.number(), DaoError::NoSuchTable);
        EXPECT_TRUE(missing.description().contains(QLatin1String("missing")));
        EXPECT_EQ(
            errorOf([&] { connection->openRecordset("SELECT id FROM [" + table + ']'); }).number(),
            DaoError::BadQuery);
        EXPECT_EQ(errorOf([&] { connection->execute("DELETE FROM [" + table + ']'); }).number(),
                  DaoError::BadQuery);
        connection->close();
        EXPECT_FALSE(connection->isOpen());
        for (const std::function<void()>& action : std::initializer_list<std::function<void()>>{
                 [&] { connection->close(); }, [&] { connection->openTableCatalogue(); },
                 [&] { read(table); }}) {
            EXPECT_EQ(errorOf(action).number(), DaoError::NotOpen);
        }
    }
}

}  // namespace

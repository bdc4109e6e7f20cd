// The folder as the data source, its catalogue, the refusals only this provider makes, and
// the extended properties.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "TextTestSupport.h"
#include "support/TestServer.h"

namespace keldara::test::text {
namespace {

using dao::DaoError;

TEST(TextConnection, TheFolderIsTheSourceAndOnlyItsFilesAreTables) {
    QTemporaryDir dir;
    writeFile(dir.filePath("orders.csv"), "id,item\n1,pen\n2,ink\n");
    for (const QString& source : {dir.path() + '\\', dir.path() + '/', dir.path()}) {
        auto connection = dao::openConnection(textConnectionString(source));
        EXPECT_EQ(connection->openRecordset("SELECT * FROM [orders.csv]")->recordCount(), 2)
            << source.toStdString();
    }
    const QString missing = dir.filePath("no such folder");
    const std::pair<QString, const char*> refusedSources[] = {
        {missing, "no such folder"},
        {dir.filePath("orders.csv"), "not a folder"},
        {"\\", ""},
    };
    for (const auto& [source, reason] : refusedSources) {
        const DaoError error = errorOf([&] { dao::openConnection(textConnectionString(source)); });
        EXPECT_EQ(error.number(), DaoError::OpenFailed) << source.toStdString();
        EXPECT_TRUE(error.description().contains(QLatin1String(reason)));
    }
    EXPECT_EQ(
        errorOf([&] {
            dao::openConnection(textConnectionString(dir.path(), "text;HDR=Yes;FMT=FixedLength;"));
        }).number(),
        DaoError::OpenFailed);
    QDir(dir.path()).mkdir(QStringLiteral("inner"));
    for (const char* table : {"../orders.csv", "..\\orders.csv", "..", ""}) {
        EXPECT_THROW(readTextFile(dir.filePath("inner"), QString::fromLatin1(table)), DaoError)
            << table;
    }
    const auto connection = dao::openConnection(textConnectionString(dir.path()));
    EXPECT_TRUE(errorOf([&] { connection->openRecordset("SELECT * FROM [gone.csv]"); })
                    .description()
                    .contains(QDir(dir.path()).absolutePath()));
    connection->close();
    connection->open(textConnectionString(dir.path()));
    EXPECT_EQ(connection->openRecordset("SELECT * FROM [orders.csv]")->recordCount(), 2);
}

TEST(TextConnection, CatalogueListsTheTextFilesByName) {
    QTemporaryDir dir;
    for (const char* name : {"b.txt", "A.tsv", "Z.CSV", "book.xls"})
        writeFile(dir.filePath(name), "x\n");
    writeFile(dir.filePath("damaged.csv"), "a,\"never closed\n");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.csv")));
    const auto catalogue =
        dao::openConnection(textConnectionString(dir.path()))->openTableCatalogue();
    QStringList names;
    for (long r = 0; r < catalogue->recordCount(); ++r) names << catalogue->valueAt(r, 0).toText();
    EXPECT_EQ(names, QStringList({"A.tsv", "b.txt", "damaged.csv", "Z.CSV"}));
    QTemporaryDir empty;
    EXPECT_EQ(dao::openConnection(textConnectionString(empty.path()))
                  ->openTableCatalogue()
                  ->recordCount(),
              0);
}

TEST(TextConnection, ExtendedPropertiesChooseHeaderAndDelimiter) {
    QTemporaryDir dir;
    writeFile(dir.filePath("semi.csv"), "a;b\n1;x\n");
    writeFile(dir.filePath("tabs.csv"), "a\tb\n1\tx\n");
    EXPECT_EQ(fieldNames(*readTextFile(dir.path(), "semi.csv", "text;HDR=Yes;FMT=Delimited(;);")),
              QStringList({"a", "b"}));
    EXPECT_EQ(fieldNames(*readTextFile(dir.path(), "tabs.csv", "text;HDR=Yes;FMT=TabDelimited;")),
              QStringList({"a", "b"}));
    const auto noHeader = readTextFile(dir.path(), "tabs.csv", "text;HDR=No;FMT=TabDelimited;");
    EXPECT_EQ(fieldNames(*noHeader), QStringList({"F1", "F2"}));
    EXPECT_EQ(noHeader->recordCount(), 2);
    EXPECT_EQ(noHeader->valueAt(0, 0), dao::Value::text(QStringLiteral("a")));
}

}  // namespace
}  // namespace keldara::test::text

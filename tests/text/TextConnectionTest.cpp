#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "TextTestSupport.h"
#include "platform/dao/DaoError.h"

namespace keldara::test::text {
namespace {

using dao::DaoError;
using dao::Value;

// Runs `action` and returns the DaoError it throws; fails the test when it throws none.
template <typename Action>
DaoError errorOf(Action action) {
    try {
        action();
    } catch (const DaoError& error) {
        return error;
    }
    ADD_FAILURE() << "no error";
    return DaoError(0, QString());
}

class TextConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override { writeBytes(path("orders.csv"), "id,item\n1,pen\n2,ink\n"); }
    QString path(const QString& name) const { return dir_.filePath(name); }
    std::unique_ptr<dao::Connection> open(
        const QString& properties = QStringLiteral("text;HDR=Yes;FMT=Delimited;")) {
        return dao::openConnection(textConnectionString(dir_.path() + '\\', properties));
    }
    static std::unique_ptr<dao::Connection> openFolder(const QString& folder) {
        return dao::openConnection(textConnectionString(folder + '\\'));
    }
    std::unique_ptr<dao::Recordset> read(dao::Connection& connection, const QString& table) {
        return connection.openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(table));
    }

    QTemporaryDir dir_;
};

TEST_F(TextConnectionTest, OpensTheFolderWithOrWithoutATrailingSeparator) {
    for (const QString& source :
         {dir_.path() + QLatin1Char('\\'), dir_.path() + QLatin1Char('/'), dir_.path()}) {
        auto connection = dao::openConnection(textConnectionString(source));
        EXPECT_EQ(read(*connection, "orders.csv")->recordCount(), 2) << source.toStdString();
    }
}

TEST_F(TextConnectionTest, AMissingFolderIsAnErrorNamingIt) {
    const QString missing = path(QStringLiteral("no such folder"));
    const DaoError error = errorOf([&] { openFolder(missing); });
    EXPECT_EQ(error.number(), DaoError::OpenFailed);
    EXPECT_TRUE(error.description().contains(missing)) << error.description().toStdString();

    const DaoError onFile =
        errorOf([&] { dao::openConnection(textConnectionString(path("orders.csv"))); });
    EXPECT_TRUE(onFile.description().contains(QStringLiteral("not a folder")))
        << onFile.description().toStdString();
    EXPECT_EQ(errorOf([&] { dao::openConnection(textConnectionString("\\")); }).number(),
              DaoError::OpenFailed);
}

TEST_F(TextConnectionTest, CatalogueListsTheTextFilesByName) {
    for (const char* name : {"b.txt", "A.tsv", "Z.CSV", "book.xls"}) writeBytes(path(name), "x\n");
    writeBytes(path("damaged.csv"), "a,\"never closed\n");
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("folder.csv")));
    const auto catalogue = open()->openTableCatalogue();
    ASSERT_EQ(catalogue->fieldCount(), 1);
    EXPECT_EQ(catalogue->fieldInfo(0).name, QStringLiteral("TABLE_NAME"));
    QStringList names;
    for (long r = 0; r < catalogue->recordCount(); ++r) names << catalogue->valueAt(r, 0).toText();
    EXPECT_EQ(names, QStringList({"A.tsv", "b.txt", "damaged.csv", "orders.csv", "Z.CSV"}));

    QTemporaryDir empty;
    EXPECT_EQ(openFolder(empty.path())->openTableCatalogue()->recordCount(), 0);
}

TEST_F(TextConnectionTest, TablesAreFilesOfTheFolderOnly) {
    auto connection = open();
    for (const char* name : {"ORDERS.CSV", "orders#csv", "Orders#CSV"}) {
        EXPECT_EQ(read(*connection, name)->valueAt(1, 1), Value::text("ink")) << name;
    }
    const DaoError missing = errorOf([&] { read(*connection, "missing.csv"); });
    EXPECT_EQ(missing.number(), DaoError::NoSuchTable);
    EXPECT_TRUE(missing.description().contains(QStringLiteral("missing.csv")));
    EXPECT_TRUE(missing.description().contains(QDir(dir_.path()).absolutePath()));

    QDir(dir_.path()).mkdir(QStringLiteral("inner"));
    auto inner = openFolder(path("inner"));
    for (const char* name : {"../orders.csv", "..\\orders.csv", "..", ""}) {
        EXPECT_NE(errorOf([&] { read(*inner, name); }).number(), 0) << name;
    }
}

TEST_F(TextConnectionTest, OnlyWholeTablesOfAnOpenConnectionCanBeRead) {
    auto connection = open();
    EXPECT_EQ(errorOf([&] {
                  connection->openRecordset(QStringLiteral("SELECT id FROM [orders.csv]"));
              }).number(),
              DaoError::BadQuery);
    EXPECT_EQ(errorOf([&] { connection->execute("DELETE FROM [orders.csv]"); }).number(),
              DaoError::BadQuery);

    connection->close();
    EXPECT_FALSE(connection->isOpen());
    EXPECT_EQ(errorOf([&] { connection->close(); }).number(), DaoError::NotOpen);
    EXPECT_EQ(errorOf([&] { connection->openTableCatalogue(); }).number(), DaoError::NotOpen);
    EXPECT_EQ(errorOf([&] { read(*connection, "orders.csv"); }).number(), DaoError::NotOpen);
    connection->open(textConnectionString(dir_.path()));
    EXPECT_TRUE(connection->isOpen());
}

TEST_F(TextConnectionTest, ExtendedPropertiesChooseHeaderAndDelimiter) {
    writeBytes(path("semi.csv"), "a;b\n1;x\n");
    writeBytes(path("tabs.csv"), "a\tb\n1\tx\n");
    EXPECT_EQ(fieldNames(*read(*open("text;HDR=Yes;FMT=Delimited(;);"), "semi.csv")),
              QStringList({"a", "b"}));
    EXPECT_EQ(fieldNames(*read(*open("text;HDR=Yes;FMT=TabDelimited;"), "tabs.csv")),
              QStringList({"a", "b"}));

    const auto noHeader = read(*open("text;HDR=No;FMT=Delimited;"), "orders.csv");
    EXPECT_EQ(fieldNames(*noHeader), QStringList({"F1", "F2"}));
    EXPECT_EQ(noHeader->recordCount(), 3);
    EXPECT_EQ(noHeader->valueAt(0, 0), Value::text(QStringLiteral("id")));

    EXPECT_EQ(errorOf([&] { open("text;HDR=Yes;FMT=FixedLength;"); }).number(),
              DaoError::OpenFailed);
}

}  // namespace
}  // namespace keldara::test::text

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "TextTestSupport.h"
#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"

namespace keldara::test::text {
namespace {

using dao::DaoError;
using dao::Value;

QString connectionString(const QString& dataSource, const QString& properties = QStringLiteral(
                                                        "text;HDR=Yes;FMT=Delimited;")) {
    return QStringLiteral(
               "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended "
               "Properties=\"%2\"")
        .arg(dataSource, properties);
}

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
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        writeBytes(path("orders.csv"), "id,item\n1,pen\n2,ink\n");
    }
    QString path(const QString& name) const { return dir_.filePath(name); }
    std::unique_ptr<dao::Connection> open(
        const QString& properties = QStringLiteral("text;HDR=Yes;FMT=Delimited;")) {
        return dao::openConnection(connectionString(dir_.path() + QLatin1Char('\\'), properties));
    }

    QTemporaryDir dir_;
};

TEST_F(TextConnectionTest, OpensTheFolderWithOrWithoutATrailingSeparator) {
    for (const QString& source :
         {dir_.path() + QLatin1Char('\\'), dir_.path() + QLatin1Char('/'), dir_.path()}) {
        auto connection = dao::openConnection(connectionString(source));
        EXPECT_TRUE(connection->isOpen()) << source.toStdString();
        EXPECT_EQ(
            connection->openRecordset(QStringLiteral("SELECT * FROM [orders.csv]"))->recordCount(),
            2);
        connection->close();
        EXPECT_FALSE(connection->isOpen());
    }
}

TEST_F(TextConnectionTest, AMissingFolderIsAnErrorNamingIt) {
    const QString missing = path(QStringLiteral("no such folder"));
    const DaoError error =
        errorOf([&] { dao::openConnection(connectionString(missing + QLatin1Char('\\'))); });
    EXPECT_EQ(error.number(), DaoError::OpenFailed);
    EXPECT_TRUE(error.description().contains(missing)) << error.description().toStdString();

    const DaoError onFile =
        errorOf([&] { dao::openConnection(connectionString(path("orders.csv"))); });
    EXPECT_TRUE(onFile.description().contains(QStringLiteral("not a folder")))
        << onFile.description().toStdString();
    const DaoError empty =
        errorOf([&] { dao::openConnection(connectionString(QStringLiteral("\\"))); });
    EXPECT_EQ(empty.number(), DaoError::OpenFailed);
}

TEST_F(TextConnectionTest, CatalogueListsTheTextFilesByName) {
    writeBytes(path("b.txt"), "x\n");
    writeBytes(path("A.tsv"), "x\n");
    writeBytes(path("Z.CSV"), "x\n");
    writeBytes(path("book.xls"), "x\n");
    writeBytes(path("damaged.csv"), "a,\"never closed\n");
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("folder.csv")));
    auto connection = open();
    const auto catalogue = connection->openTableCatalogue();
    ASSERT_EQ(catalogue->fieldCount(), 1);
    EXPECT_EQ(catalogue->fieldInfo(0).name, QStringLiteral("TABLE_NAME"));
    QStringList names;
    for (long r = 0; r < catalogue->recordCount(); ++r)
        names.append(catalogue->valueAt(r, 0).toText());
    EXPECT_EQ(names, QStringList({"A.tsv", "b.txt", "damaged.csv", "orders.csv", "Z.CSV"}));
}

TEST_F(TextConnectionTest, CatalogueOfAFolderWithoutTextFilesIsEmpty) {
    QTemporaryDir empty;
    auto connection = dao::openConnection(connectionString(empty.path() + QLatin1Char('\\')));
    EXPECT_EQ(connection->openTableCatalogue()->recordCount(), 0);
}

TEST_F(TextConnectionTest, TablesAreFilesOfTheFolderOnly) {
    auto connection = open();
    const DaoError missing =
        errorOf([&] { connection->openRecordset(QStringLiteral("SELECT * FROM [missing.csv]")); });
    EXPECT_EQ(missing.number(), DaoError::NoSuchTable);
    EXPECT_TRUE(missing.description().contains(QStringLiteral("missing.csv")));
    EXPECT_TRUE(missing.description().contains(QDir(dir_.path()).absolutePath()));

    QTemporaryDir outer;
    QDir(outer.path()).mkdir(QStringLiteral("inner"));
    writeBytes(outer.filePath("secret.csv"), "a\n1\n");
    auto inner = dao::openConnection(connectionString(outer.filePath("inner")));
    for (const char* name : {"../secret.csv", "..\\secret.csv", "..", ""}) {
        const DaoError error = errorOf([&] {
            inner->openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(QString::fromUtf8(name)));
        });
        EXPECT_NE(error.number(), 0) << name;
    }
}

TEST_F(TextConnectionTest, TableNamesMatchRegardlessOfCaseAndWithHashForDot) {
    auto connection = open();
    for (const char* name : {"ORDERS.CSV", "orders#csv", "Orders#CSV"}) {
        const auto recordset = connection->openRecordset(
            QStringLiteral("SELECT * FROM [%1]").arg(QString::fromUtf8(name)));
        EXPECT_EQ(recordset->valueAt(1, 1), Value::text(QStringLiteral("ink"))) << name;
    }
}

TEST_F(TextConnectionTest, OnlyWholeTablesCanBeRead) {
    auto connection = open();
    EXPECT_EQ(errorOf([&] {
                  connection->openRecordset(QStringLiteral("SELECT id FROM [orders.csv]"));
              }).number(),
              DaoError::BadQuery);
    EXPECT_EQ(
        errorOf([&] { connection->execute(QStringLiteral("DELETE FROM [orders.csv]")); }).number(),
        DaoError::BadQuery);
}

TEST_F(TextConnectionTest, AClosedConnectionRefusesEveryOperation) {
    auto connection = open();
    connection->close();
    EXPECT_EQ(errorOf([&] { connection->close(); }).number(), DaoError::NotOpen);
    EXPECT_EQ(errorOf([&] { connection->openTableCatalogue(); }).number(), DaoError::NotOpen);
    EXPECT_EQ(errorOf([&] {
                  connection->openRecordset(QStringLiteral("SELECT * FROM [orders.csv]"));
              }).number(),
              DaoError::NotOpen);
    connection->open(connectionString(dir_.path()));
    EXPECT_TRUE(connection->isOpen());
}

TEST_F(TextConnectionTest, ExtendedPropertiesChooseHeaderAndDelimiter) {
    writeBytes(path("semi.csv"), "a;b\n1;x\n");
    writeBytes(path("tabs.csv"), "a\tb\n1\tx\n");

    const auto semi = open(QStringLiteral("text;HDR=Yes;FMT=Delimited(;);"))
                          ->openRecordset(QStringLiteral("SELECT * FROM [semi.csv]"));
    EXPECT_EQ(fieldNames(*semi), QStringList({"a", "b"}));

    const auto tabs = open(QStringLiteral("text;HDR=Yes;FMT=TabDelimited;"))
                          ->openRecordset(QStringLiteral("SELECT * FROM [tabs.csv]"));
    EXPECT_EQ(fieldNames(*tabs), QStringList({"a", "b"}));

    const auto noHeader = open(QStringLiteral("text;HDR=No;FMT=Delimited;"))
                              ->openRecordset(QStringLiteral("SELECT * FROM [orders.csv]"));
    EXPECT_EQ(fieldNames(*noHeader), QStringList({"F1", "F2"}));
    EXPECT_EQ(noHeader->recordCount(), 3);
    EXPECT_EQ(noHeader->valueAt(0, 0), Value::text(QStringLiteral("id")));

    EXPECT_EQ(errorOf([&] { open(QStringLiteral("text;HDR=Yes;FMT=FixedLength;")); }).number(),
              DaoError::OpenFailed);
}

}  // namespace
}  // namespace keldara::test::text

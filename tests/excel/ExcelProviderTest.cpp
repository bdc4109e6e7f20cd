// What the comparison with xlrd cannot show: Jet's table names and how a query finds them,
// exact texts of a mixed column, dates the generating script wrote, and the errors of files
// that cannot be read.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "excel/ExcelTestSupport.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"
#include "support/Damage.h"
#include "support/Paths.h"

namespace keldara::test::excel {
namespace {

using dao::DaoError;
using dao::Value;

QString xls(const char* relative) {
    return fixturePath(QStringLiteral("xls/") + QLatin1String(relative));
}

TEST(ExcelCatalogue, NamesSheetsAsJetDoesAndFindsThemByEitherForm) {
    auto shapes = openWorkbook(generatedWorkbook(QStringLiteral("shapes.xls")));
    EXPECT_EQ(catalogueNames(*shapes),
              (QStringList{"'My Sheet$'", "'2019$'", "'a-b$'", "Ünïcode$", "'O''Brien''s data$'",
                           "under_score$", "Mixed$", "Big$", "Wide$"}));

    const QString path = xls("python-excel__xlrd/namesdemo.xls");
    auto connection = openWorkbook(path);
    for (const char* table : {"'Seamus O''Reilly$'", "Seamus O'Reilly$", "'seamus o''reilly$'"}) {
        EXPECT_EQ(fieldNames(*readTable(*connection, QString::fromUtf8(table))), QStringList{"42"})
            << table;
    }
    EXPECT_EQ(readTable(*connection, QStringLiteral("sheet3$"))->fieldCount(), 14);
    try {
        readTable(*connection, QStringLiteral("Sheet3"));
        ADD_FAILURE() << "found a table without its $";
    } catch (const DaoError& error) {
        EXPECT_EQ(error.number(), DaoError::NoSuchTable);
        EXPECT_TRUE(error.description().contains(path)) << error.description().toStdString();
    }
    EXPECT_THROW(connection->openRecordset(QStringLiteral("SELECT a FROM [Sheet1$]")), DaoError);
}

TEST(ExcelTable, MixedColumnKeepsEveryValueAsText) {
    auto connection = openWorkbook(generatedWorkbook(QStringLiteral("shapes.xls")));
    auto mixed = readTable(*connection, QStringLiteral("Mixed$"));
    // A blank header is named by its position, a numeric one by its number, a repeated one
    // gets a number appended. Formatted empty cells below the data add no records.
    EXPECT_EQ(fieldNames(*mixed), (QStringList{"mixed", "F2", "7", "mixed1"}));
    QStringList texts;
    for (const Value& v : column(*mixed, 0)) texts << v.toText();
    EXPECT_EQ(texts, (QStringList{"1", "0.1", "1e+21", "text", "TRUE", "FALSE", "2001-02-03",
                                  "2001-02-03 04:05:06", "-2.5", "123456789012345"}));
}

TEST(ExcelTable, DatesAsTheScriptWroteThem) {
    auto dates = openWorkbook(generatedWorkbook(QStringLiteral("dates1900.xls")));
    auto records = readTable(*dates, QStringLiteral("Dates$"));
    using namespace dao::adType;
    EXPECT_EQ(fieldTypes(*records), (std::vector<int>{Date, Date, Date, Date, Double}));
    EXPECT_EQ(column(*records, 0),
              (std::vector<Value>{Value::date(1900, 1, 1), Value::date(1900, 3, 1),
                                  Value::date(2000, 1, 1), Value::date(9999, 12, 31)}));
    EXPECT_EQ(records->valueAt(1, 1), Value::dateTime({1999, 12, 31, 12, 0, 0, 250000}));
    EXPECT_EQ(records->valueAt(1, 2), Value::time(6, 34, 0));
    EXPECT_EQ(records->valueAt(0, 3), Value::date(2020, 5, 17));
}

TEST(ExcelFile, UnreadableFilesGiveErrorsNamingThem) {
    QTemporaryDir folder;
    QByteArray noWorkbookStream = readAll(xls("libxls__libxls/test2.xls"));
    noWorkbookStream.replace(QByteArray("W\0o\0r\0k\0b\0o\0o\0k\0", 16),
                             QByteArray("X\0o\0r\0k\0b\0o\0o\0k\0", 16));
    const std::pair<QString, const char*> cases[] = {
        {xls("okfn__messytables/encrypted_no_password.xls"), "encrypted"},
        {fixturePath(QStringLiteral("csv/okfn__messytables/example.tsv")), "not an Excel workbook"},
        {writeFile(folder.filePath(QStringLiteral("empty.xls")), {}), "not an Excel workbook"},
        {writeFile(folder.filePath(QStringLiteral("other.xls")), noWorkbookStream),
         "without a workbook stream"},
        {folder.filePath(QStringLiteral("missing.xls")), "does not exist"},
    };
    for (const auto& [path, reason] : cases) expectError([&] { openWorkbook(path); }, path, reason);
}

TEST(ExcelFile, ConnectionLifecycle) {
    const QString cs = connectionString(xls("tidyverse__readxl/geometry.xls"));
    auto connection = dao::createConnection(cs);
    EXPECT_FALSE(connection->isOpen());
    EXPECT_THROW(connection->close(), DaoError);
    connection->open(cs);
    EXPECT_TRUE(connection->isOpen());
    EXPECT_THROW(connection->execute(QStringLiteral("DELETE FROM [Sheet1$]")), DaoError);
    connection->close();
    EXPECT_FALSE(connection->isOpen());
    EXPECT_THROW(connection->openTableCatalogue(), DaoError);
}

}  // namespace
}  // namespace keldara::test::excel

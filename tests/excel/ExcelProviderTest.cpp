// What the comparison with xlrd cannot show: Jet's table names and how a query finds them,
// exact texts of a mixed column, and the errors of files that cannot be read.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtEndian>

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

// Breaks the sector chains of a copy of test2.xls (512-byte sectors, one FAT sector).
TEST(DamagedWorkbook, BrokenSectorChainsAreErrorsNotLoops) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("chains.xls"));
    const QByteArray original =
        readAll(fixturePath(QStringLiteral("xls/libxls__libxls/test2.xls")));
    const auto u32 = [&](qsizetype at) {
        return qFromLittleEndian<std::uint32_t>(original.data() + at);
    };
    const auto fatEntry = [&](std::uint32_t sector) { return (u32(0x4C) + 1) * 512 + 4 * sector; };
    const std::uint32_t directory = u32(0x30);
    const std::uint32_t workbook =
        u32(original.indexOf(QByteArray("W\0o\0r\0k\0b\0o\0o\0k\0", 16)) + 0x74);
    const std::tuple<qsizetype, std::uint32_t, const char*> cases[] = {
        {fatEntry(directory), directory, "loops"},
        {fatEntry(workbook), workbook, "loops"},
        {fatEntry(workbook), 0x00FFFFFF, "outside the file"},
        {fatEntry(workbook), 0xFFFFFFFE, "ends early"},
        {0x4C, 0x00FFFFFF, "outside the file"},  // the FAT sector itself
    };
    for (const auto& [at, value, reason] : cases) {
        QByteArray damaged = original;
        qToLittleEndian(value, damaged.data() + at);
        writeFile(path, damaged);
        expectError([&] { openWorkbook(path); }, path, reason);
    }
}

}  // namespace
}  // namespace keldara::test::excel

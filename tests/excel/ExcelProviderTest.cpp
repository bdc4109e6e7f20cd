// What the comparison with xlrd cannot show: the forms of a table name a query finds, and the
// errors of files that cannot be read.
#include <gtest/gtest.h>

#include <QtEndian>

#include "excel/ExcelTestSupport.h"
#include "support/Damage.h"

namespace keldara::test::excel {
namespace {

QString xls(const char* relative) {
    return fixturePath(QStringLiteral("xls/") + QLatin1String(relative));
}

TEST(ExcelCatalogue, FindsATableByEitherFormOfItsName) {
    const QString path = xls("python-excel__xlrd/namesdemo.xls");
    auto connection = openWorkbook(path);
    for (const char* table : {"'Seamus O''Reilly$'", "Seamus O'Reilly$", "'seamus o''reilly$'"}) {
        EXPECT_EQ(fieldNames(*readTable(*connection, QString::fromUtf8(table))), QStringList{"42"})
            << table;
    }
    expectError([&] { readTable(*connection, QStringLiteral("Sheet3")); }, path, "Sheet3");
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

// Breaks the sector chains of a copy of test2.xls (512-byte sectors, one FAT sector).
TEST(DamagedWorkbook, BrokenSectorChainsAreErrorsNotLoops) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("chains.xls"));
    const QByteArray original = readAll(xls("libxls__libxls/test2.xls"));
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

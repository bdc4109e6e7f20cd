// Damaged workbooks give records or a DaoError naming the file: never a crash or a hang.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtEndian>

#include "excel/ExcelTestSupport.h"
#include "platform/dao/DaoError.h"
#include "support/Damage.h"
#include "support/Paths.h"

namespace keldara::test::excel {
namespace {

using dao::DaoError;

TEST(DamagedWorkbook, EveryFixtureTruncatedOrOverwrittenGivesRecordsOrAnError) {
    QTemporaryDir folder;
    const QString damaged = folder.filePath(QStringLiteral("damaged.xls"));
    QDirIterator fixtures(fixturePath(QStringLiteral("xls")), {QStringLiteral("*.xls")},
                          QDir::Files, QDirIterator::Subdirectories);
    int fixtureCount = 0;
    for (; fixtures.hasNext(); ++fixtureCount) {
        const QString fixture = fixtures.next();
        SCOPED_TRACE(fixture.toStdString());
        const int tried = forEachDamagedCopy(fixture, damaged, 120, [&](const QString& what) {
            SCOPED_TRACE(what.toStdString());
            try {
                auto connection = openWorkbook(damaged);
                for (const QString& table : catalogueNames(*connection)) {
                    auto records = readTable(*connection, table);
                    for (int c = 0; c < records->fieldCount(); ++c) column(*records, c);
                }
            } catch (const DaoError& error) {
                EXPECT_TRUE(error.description().contains(damaged))
                    << error.description().toStdString();
            }
        });
        EXPECT_EQ(tried, 120);
    }
    EXPECT_GE(fixtureCount, 22);
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

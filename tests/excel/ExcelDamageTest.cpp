// Damaged workbooks give records or a DaoError naming the file: never a crash or a hang.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "excel/ExcelTestSupport.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Recordset.h"
#include "support/Damage.h"
#include "support/Paths.h"

namespace keldara::test::excel {
namespace {

using dao::DaoError;

// Reads every sheet of a workbook; a DaoError must name the file.
void readEverything(const QString& path) {
    try {
        auto connection = openWorkbook(path);
        for (const QString& table : catalogueNames(*connection)) {
            auto records = readTable(*connection, table);
            for (long r = 0; r < records->recordCount(); ++r) {
                for (int c = 0; c < records->fieldCount(); ++c) records->valueAt(r, c);
            }
        }
    } catch (const DaoError& error) {
        EXPECT_TRUE(error.description().contains(path)) << error.description().toStdString();
    }
}

QStringList allFixtureWorkbooks() {
    QStringList paths;
    const QDir root(fixturePath(QStringLiteral("xls")));
    for (const QString& folder : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const QString& file :
             QDir(root.filePath(folder)).entryList({QStringLiteral("*.xls")})) {
            paths << root.filePath(folder + QLatin1Char('/') + file);
        }
    }
    return paths;
}

TEST(DamagedWorkbook, EveryFixtureTruncatedOrOverwrittenGivesRecordsOrAnError) {
    QTemporaryDir folder;
    const QString damaged = folder.filePath(QStringLiteral("damaged.xls"));
    const QStringList fixtures = allFixtureWorkbooks();
    ASSERT_GE(fixtures.size(), 21);
    for (const QString& fixture : fixtures) {
        SCOPED_TRACE(fixture.toStdString());
        const int tried = forEachDamagedCopy(fixture, damaged, 120, [&](const QString& what) {
            SCOPED_TRACE(what.toStdString());
            readEverything(damaged);
        });
        EXPECT_EQ(tried, 120);
    }
}

// Little-endian access to a copy of a compound file, for breaking its sector chains.
class CompoundFileBytes {
  public:
    explicit CompoundFileBytes(QByteArray bytes) : bytes_(std::move(bytes)) {}
    std::uint32_t u32(qsizetype at) const {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes_[at + i]);
        return v;
    }
    void setU32(qsizetype at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<char>(v >> (8 * i) & 0xFF);
    }
    // The FAT entry of a sector (files with 512-byte sectors and one FAT sector).
    qsizetype fatEntry(std::uint32_t sector) const { return (u32(0x4C) + 1) * 512 + 4 * sector; }
    std::uint32_t directoryStart() const { return u32(0x30); }
    std::uint32_t workbookStart() const {
        const qsizetype entry = bytes_.indexOf(QByteArray("W\0o\0r\0k\0b\0o\0o\0k\0", 16));
        return u32(entry + 0x74);
    }
    QByteArray& bytes() { return bytes_; }

  private:
    QByteArray bytes_;
};

TEST(DamagedWorkbook, BrokenSectorChainsAreErrorsNotLoops) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("chains.xls"));
    const QByteArray original =
        readAll(fixturePath(QStringLiteral("xls/libxls__libxls/test2.xls")));
    struct Case {
        const char* what;
        std::function<void(CompoundFileBytes&)> damage;
        const char* reason;
    };
    const Case cases[] = {
        {"directory chain pointing at itself",
         [](CompoundFileBytes& f) { f.setU32(f.fatEntry(f.directoryStart()), f.directoryStart()); },
         "loops"},
        {"workbook chain pointing at itself",
         [](CompoundFileBytes& f) { f.setU32(f.fatEntry(f.workbookStart()), f.workbookStart()); },
         "loops"},
        {"workbook chain pointing outside the file",
         [](CompoundFileBytes& f) { f.setU32(f.fatEntry(f.workbookStart()), 0x00FFFFFF); },
         "outside the file"},
        {"workbook chain ending early",
         [](CompoundFileBytes& f) { f.setU32(f.fatEntry(f.workbookStart()), 0xFFFFFFFE); },
         "ends early"},
        {"FAT sector outside the file", [](CompoundFileBytes& f) { f.setU32(0x4C, 0x00FFFFFF); },
         "outside the file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CompoundFileBytes file(original);
        c.damage(file);
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(file.bytes());
        out.close();
        try {
            openWorkbook(path);
            ADD_FAILURE() << "opened";
        } catch (const DaoError& error) {
            EXPECT_TRUE(error.description().contains(path)) << error.description().toStdString();
            EXPECT_TRUE(error.description().contains(QLatin1String(c.reason)))
                << error.description().toStdString();
        }
    }
}

}  // namespace
}  // namespace keldara::test::excel

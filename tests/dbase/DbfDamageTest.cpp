// Damaged copies of every sample table and of its memo file: each gives rows or a DaoError
// that names the damaged file, never a crash or a hang.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include "DbfTestSupport.h"
#include "support/Damage.h"

using namespace keldara::test;
using namespace keldara::test::dbf;

namespace {

constexpr int kCopiesPerFile = 160;

// Reads the table the way the source side does: catalogue first, then every value.
void readWholeTable(const QString& folder, const QString& table) {
    const auto connection = openFolder(folder);
    connection->openTableCatalogue();
    const auto records = connection->openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(table));
    for (long row = 0; row < records->recordCount(); ++row) {
        for (int column = 0; column < records->fieldCount(); ++column) {
            records->valueAt(row, column).sqlLiteral();
        }
    }
}

class DbfDamage : public testing::TestWithParam<std::string> {};

// Damages each file of the table (the table and its memo file) in turn, the others intact.
TEST_P(DbfDamage, TableAndMemoFileGiveRowsOrAnError) {
    const QFileInfo table(fixturePath("dbf/" + QString::fromStdString(GetParam())));
    const QFileInfoList files =
        table.dir().entryInfoList({table.completeBaseName() + ".*"}, QDir::Files);
    for (const QFileInfo& victim : files) {
        QTemporaryDir dir;
        for (const QFileInfo& file : files)
            QFile::copy(file.filePath(), dir.filePath(file.fileName()));
        const QString damaged = dir.filePath(victim.fileName());
        QFile::setPermissions(damaged, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        int errors = 0;
        const int tried = forEachDamagedCopy(
            victim.filePath(), damaged, kCopiesPerFile, [&](const QString& what) {
                const std::string error =
                    errorOf([&] { readWholeTable(dir.path(), table.fileName()); });
                if (error == "no error") return;
                ++errors;
                EXPECT_NE(error.find(victim.completeBaseName().toStdString()), std::string::npos)
                    << what.toStdString() << ": " << error;
            });
        EXPECT_EQ(tried, kCopiesPerFile);
        EXPECT_GT(errors, 0) << victim.fileName().toStdString() << ": no damaged copy was refused";
    }
}

INSTANTIATE_TEST_SUITE_P(AllSampleTables, DbfDamage, testing::ValuesIn(sampleTables()),
                         sampleTestName);

// A header may announce 2^31 records: more than a short file holds, or, in a (sparse) file
// that holds them, more than memory does. Either is an error naming the table.
TEST(DbfRecordCount, RecordsBeyondTheFileOrMemoryAreAnError) {
    QTemporaryDir dir;
    QByteArray table = dbfBytes(0x03, 0, {{"A", 'C', 1}}, {{{"x"}}});
    table.replace(4, 4, littleEndian32(1u << 31));
    const qint64 header = 32 + 32 + 1;
    const struct {
        const char* name;
        qint64 size;
        const char* reason;
    } cases[] = {
        {"short.dbf", table.size(), "holds only 1"},
        {"sparse.dbf", header + (qint64(2) << 31), "not enough memory"},
    };
    for (const auto& c : cases) {
        if (!kAddressSpaceCanBeLimited && c.size > table.size()) continue;
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        writeFile(path, table);
        ASSERT_TRUE(QFile::resize(path, c.size));
        const std::string outcome = outcomeUnderLimits(
            [&] {
                return std::to_string(
                    readTable(dir.path(), QFileInfo(path).fileName())->recordCount());
            },
            512, 60);
        EXPECT_TRUE(outcome.starts_with("error: ") &&
                    outcome.find(path.toStdString()) != std::string::npos &&
                    outcome.find(c.reason) != std::string::npos)
            << c.name << ": " << outcome;
    }
}

}  // namespace

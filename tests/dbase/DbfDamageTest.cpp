// Damaged copies of every sample table and memo file: each gives rows or a DaoError that
// names the damaged file, never a crash or a hang.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "DbfTestSupport.h"
#include "platform/dao/DaoError.h"
#include "support/Damage.h"
#include "support/Paths.h"

using namespace keldara::dao;
using namespace keldara::test;
using namespace keldara::test::dbf;

namespace {

constexpr int kCopiesPerFile = 160;

struct SampleTable {
    QString table;  // relative to the dbf fixtures
    QString memo;   // its memo file, if any
};

void PrintTo(const SampleTable& sample, std::ostream* out) {
    *out << sample.table.toStdString();
}

std::vector<SampleTable> sampleTables() {
    std::vector<SampleTable> tables;
    const QDir root(fixturePath(QStringLiteral("dbf")));
    for (const QString& folder : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir dir(root.filePath(folder));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        for (const QString& file : files) {
            if (!file.endsWith(QLatin1String(".dbf"))) continue;
            SampleTable sample{folder + QLatin1Char('/') + file, {}};
            const QString base = QFileInfo(file).completeBaseName();
            for (const QString& other : files) {
                const QString suffix = QFileInfo(other).suffix().toLower();
                if (QFileInfo(other).completeBaseName() == base &&
                    (suffix == QLatin1String("fpt") || suffix == QLatin1String("dbt"))) {
                    sample.memo = folder + QLatin1Char('/') + other;
                }
            }
            tables.push_back(sample);
        }
    }
    return tables;
}

// Reads the table the way the source side does: catalogue first, then every record.
void readWholeTable(const QString& folder, const QString& table) {
    const auto connection = openFolder(folder);
    connection->openTableCatalogue();
    const auto records =
        connection->openRecordset(QStringLiteral("SELECT * FROM [") + table + QStringLiteral("]"));
    for (long row = 0; row < records->recordCount(); ++row) {
        for (int column = 0; column < records->fieldCount(); ++column) {
            records->valueAt(row, column).sqlLiteral();
        }
    }
}

class DbfDamage : public testing::TestWithParam<SampleTable> {
  protected:
    // Damages `victim` (the table or its memo file), keeping the other file intact beside it.
    void sweep(const QString& victim) {
        const SampleTable& sample = GetParam();
        QTemporaryDir dir;
        const QString table = QFileInfo(sample.table).fileName();
        QFile::copy(fixturePath("dbf/" + sample.table), dir.filePath(table));
        if (!sample.memo.isEmpty()) {
            QFile::copy(fixturePath("dbf/" + sample.memo),
                        dir.filePath(QFileInfo(sample.memo).fileName()));
        }
        const QString damaged = dir.filePath(QFileInfo(victim).fileName());
        QFile::setPermissions(damaged, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        int errors = 0;
        const int tried = forEachDamagedCopy(
            fixturePath("dbf/" + victim), damaged, kCopiesPerFile, [&](const QString& what) {
                try {
                    readWholeTable(dir.path(), table);
                } catch (const DaoError& error) {
                    ++errors;
                    const QString named = QFileInfo(victim).completeBaseName();
                    EXPECT_TRUE(error.description().contains(named))
                        << what.toStdString() << ": " << error.description().toStdString();
                }
            });
        EXPECT_EQ(tried, kCopiesPerFile);
        EXPECT_GT(errors, 0) << "no damaged copy was refused";
    }
};

std::vector<SampleTable> tablesWithMemoFiles() {
    std::vector<SampleTable> tables;
    for (const SampleTable& sample : sampleTables()) {
        if (!sample.memo.isEmpty()) tables.push_back(sample);
    }
    return tables;
}

std::string testName(const testing::TestParamInfo<SampleTable>& info) {
    return QFileInfo(info.param.table).completeBaseName().toStdString();
}

class DbfTableDamage : public DbfDamage {};
class DbfMemoDamage : public DbfDamage {};

TEST_P(DbfTableDamage, GivesRowsOrAnError) {
    sweep(GetParam().table);
}
TEST_P(DbfMemoDamage, GivesRowsOrAnError) {
    sweep(GetParam().memo);
}

INSTANTIATE_TEST_SUITE_P(AllSampleTables, DbfTableDamage, testing::ValuesIn(sampleTables()),
                         testName);
INSTANTIATE_TEST_SUITE_P(AllSampleMemoFiles, DbfMemoDamage,
                         testing::ValuesIn(tablesWithMemoFiles()), testName);

}  // namespace

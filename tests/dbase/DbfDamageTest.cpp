// Damaged copies of every sample table and of its memo file: each gives rows or a DaoError
// that names the damaged file, never a crash or a hang.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include "DbfTestSupport.h"
#include "support/Damage.h"

using namespace keldara::dao;
using namespace keldara::test;
using namespace keldara::test::dbf;

namespace {

constexpr int kCopiesPerFile = 160;

// The memo file beside a sample table (any letter case of .fpt or .dbt), or "".
QString memoFileOf(const QFileInfo& table) {
    for (const QFileInfo& other : table.dir().entryInfoList(QDir::Files)) {
        const QString suffix = other.suffix().toLower();
        if (other.completeBaseName() == table.completeBaseName() &&
            (suffix == QLatin1String("fpt") || suffix == QLatin1String("dbt"))) {
            return other.fileName();
        }
    }
    return {};
}

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

// Damages `victim` (the table or its memo file), keeping the other file intact beside it.
void sweep(const QFileInfo& table, const QString& memo, const QString& victim) {
    QTemporaryDir dir;
    for (const QString& name : {table.fileName(), memo}) {
        if (!name.isEmpty()) QFile::copy(table.dir().filePath(name), dir.filePath(name));
    }
    const QString damaged = dir.filePath(victim);
    QFile::setPermissions(damaged, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    int errors = 0;
    const int tried = forEachDamagedCopy(
        table.dir().filePath(victim), damaged, kCopiesPerFile, [&](const QString& what) {
            const std::string error =
                errorOf([&] { readWholeTable(dir.path(), table.fileName()); });
            if (error == "no error") return;
            ++errors;
            EXPECT_NE(error.find(QFileInfo(victim).completeBaseName().toStdString()),
                      std::string::npos)
                << what.toStdString() << ": " << error;
        });
    EXPECT_EQ(tried, kCopiesPerFile);
    EXPECT_GT(errors, 0) << victim.toStdString() << ": no damaged copy was refused";
}

class DbfDamage : public testing::TestWithParam<std::string> {};

TEST_P(DbfDamage, TableAndMemoFileGiveRowsOrAnError) {
    const QFileInfo table(fixturePath("dbf/" + QString::fromStdString(GetParam())));
    const QString memo = memoFileOf(table);
    sweep(table, memo, table.fileName());
    if (!memo.isEmpty()) sweep(table, memo, memo);
}

INSTANTIATE_TEST_SUITE_P(
    AllSampleTables, DbfDamage, testing::ValuesIn(sampleTables()),
    [](const testing::TestParamInfo<std::string>& info) {
        return QFileInfo(QString::fromStdString(info.param)).completeBaseName().toStdString();
    });

}  // namespace

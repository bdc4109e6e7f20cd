// Damaged copies of real databases give rows or a DaoError naming the file, never a crash.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include "access/AccessFixtures.h"
#include "platform/dao/DaoError.h"
#include "support/Damage.h"

using namespace keldara::dao;
using namespace keldara::test;

namespace {

// Opens the copy and reads every table it lists.
void readEverything(const QString& path, const QString& password) {
    auto connection = openAccess(path, password);
    auto catalogue = connection->openTableCatalogue();
    for (long row = 0; row < catalogue->recordCount(); ++row) {
        try {
            connection->openRecordset(QStringLiteral("SELECT * FROM [") +
                                      catalogue->valueAt(row, 0).toText() + QLatin1Char(']'));
        } catch (const DaoError& error) {
            EXPECT_TRUE(error.description().contains(path)) << error.description().toStdString();
        }
    }
}

struct DamageCase {
    const char* file;
    const char* password;
    int copies;
};

class DamagedDatabase : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedDatabase, GivesRowsOrAnErrorNamingTheFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString damaged = dir.filePath(QStringLiteral("damaged.mdb"));
    int errors = 0;
    const int tried = forEachDamagedCopy(
        mdbFixture(GetParam().file), damaged, GetParam().copies, [&](const QString& what) {
            SCOPED_TRACE(what.toStdString());
            try {
                readEverything(damaged, QString::fromUtf8(GetParam().password));
            } catch (const DaoError& error) {
                ++errors;
                EXPECT_TRUE(error.description().contains(damaged))
                    << error.description().toStdString();
            }
        });
    EXPECT_EQ(tried, GetParam().copies);
    // Most truncated copies are not whole pages, so at least those must be refused.
    EXPECT_GE(errors, GetParam().copies / 4);
}

INSTANTIATE_TEST_SUITE_P(
    SampleDatabases, DamagedDatabase,
    ::testing::Values(DamageCase{"jahlborn__jackcess/testV1997.mdb", "", 240},
                      DamageCase{"jahlborn__jackcess/test2V2000.mdb", "", 240},
                      DamageCase{"mdbtools__mdbtestdata/DateTestDatabase.mdb", "", 200},
                      DamageCase{"jahlborn__jackcessencrypt/db97-enc.mdb", "", 160},
                      DamageCase{"andipaetzold__mdb-reader/V2000_with-password.mdb", "password",
                                 160},
                      DamageCase{"spannm__ucanaccess/charsetGBK.mdb", "", 160},
                      DamageCase{"mdbtools__mdbtestdata/nwind.mdb", "", 200},
                      DamageCase{"statdata__Northwind-Databse/Northwind.mdb", "", 200}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

}  // namespace

namespace {

// Makes every chained long-value row of the database point back to itself.
QByteArray withLongValueLoop(QByteArray database, int pageSize, int rowCountOffset) {
    int patched = 0;
    for (qsizetype page = 1; page * pageSize < database.size(); ++page) {
        char* data = database.data() + page * pageSize;
        if (data[0] != 0x01 || QByteArray(data + 4, 4) != "LVAL") continue;
        const int rows = qFromLittleEndian<quint16>(data + rowCountOffset);
        for (int row = 0; row < rows; ++row) {
            const int start =
                qFromLittleEndian<quint16>(data + rowCountOffset + 2 + 2 * row) & 0x1FFF;
            if (start + 4 > pageSize || qFromLittleEndian<quint32>(data + start) == 0) continue;
            qToLittleEndian<quint32>(static_cast<quint32>(page << 8 | row), data + start);
            ++patched;
        }
    }
    return patched > 0 ? database : QByteArray();
}

TEST(DamagedLongValues, ALoopInAChainOfPagesIsAnErrorNotAHang) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("loop.mdb"));
    const QByteArray looped =
        withLongValueLoop(readAll(mdbFixture("mdbtools__mdbtestdata/nwind.mdb")), 2048, 8);
    ASSERT_FALSE(looped.isEmpty());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(looped);
    file.close();
    auto connection = openAccess(path);
    auto catalogue = connection->openTableCatalogue();
    QStringList broken;
    for (long row = 0; row < catalogue->recordCount(); ++row) {
        try {
            connection->openRecordset(
                QStringLiteral("SELECT * FROM [%1]").arg(catalogue->valueAt(row, 0).toText()));
        } catch (const DaoError& error) {
            EXPECT_TRUE(error.description().contains(path));
            broken << error.description();
        }
    }
    // The tables with pictures and long memos.
    ASSERT_GE(broken.size(), 2);
    for (const QString& description : broken) {
        EXPECT_TRUE(description.contains(QLatin1String("broken chain")))
            << description.toStdString();
    }
}

}  // namespace

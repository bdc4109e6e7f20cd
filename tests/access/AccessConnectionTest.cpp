// Passwords, refused files, the table catalogue, the field types, and damaged table
// definitions and long values.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtEndian>

#include "access/AccessFixtures.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/access/JetHeader.h"
#include "support/Damage.h"
#include "support/TestServer.h"

using namespace keldara::dao;
using namespace keldara::test;

namespace {

void expectRefused(const QString& path, const QString& password, const char* reason,
                   DaoError::Number number = DaoError::OpenFailed) {
    const DaoError error = errorOf([&] { openAccess(path, password); });
    EXPECT_EQ(error.number(), number) << reason;
    EXPECT_TRUE(error.description().contains(path) &&
                error.description().contains(QLatin1String(reason)))
        << password.toStdString() << ": " << error.description().toStdString();
}

// A copy of a Jet 3 database whose header carries a database password.
QByteArray withJet3Password(QByteArray database, const QByteArray& password) {
    QByteArray key(4, '\0');
    qToLittleEndian<quint32>(0x6B39DAC7, key.data());
    access::rc4Apply(key, database.data() + 0x18, 126);
    database.replace(0x42, 20, password.leftJustified(20, '\0'));
    access::rc4Apply(key, database.data() + 0x18, 126);
    return database;
}

TEST(AccessPasswords, OpenOnlyWithTheRightPasswordWhenTheDatabaseHasOne) {
    QTemporaryDir dir;
    const QString jet3 = writeFile(
        dir.filePath(QStringLiteral("protected97.mdb")),
        withJet3Password(readAll(mdbFixture("jahlborn__jackcess/testV1997.mdb")), "s3cret"));
    const struct {
        QString path;
        const char* right;
        std::vector<const char*> wrong;  // none: the database has no password
    } cases[] = {
        {mdbFixture("spannm__ucanaccess/password.mdb"),
         "ucanaccess",
         {"", "UCANACCESS", "ucanaccesss"}},
        {mdbFixture("andipaetzold__mdb-reader/V2000_with-password.mdb"),
         "password",
         {"", "passwor"}},
        {jet3, "s3cret", {"", "S3CRET"}},
        {mdbFixture("jahlborn__jackcess/test2V1997.mdb"), "anything", {}},
        {mdbFixture("jahlborn__jackcessencrypt/db-enc.mdb"), "x", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_NO_THROW(tableNames(*openAccess(c.path, QString::fromUtf8(c.right))));
        for (const char* wrong : c.wrong)
            expectRefused(c.path, QString::fromUtf8(wrong), "password");
    }
    EXPECT_EQ(selectAll(*openAccess(jet3, QStringLiteral("s3cret")), "Table1")->recordCount(), 2);
}

TEST(AccessOpen, FilesThatAreNotAccessDatabasesAreRefusedWithTheReason) {
    QTemporaryDir dir;
    const QByteArray jet4 = readAll(mdbFixture("jahlborn__jackcess/test2V2000.mdb"));
    QByteArray future = jet4;
    future[0x14] = 7;
    const std::pair<const char*, QByteArray> cases[] = {
        {"Could not find", QByteArray()},  // a null array: no file is written
        {"too short", QByteArray("")},
        {"not an Access database", QByteArray("ID,Name\n1,one\n").repeated(400)},
        {"2007", QByteArray(jet4).replace(4, 15, "Standard ACE DB")},
        {"version", future},
        {"whole number", jet4.left(jet4.size() - 100)},  // a damaged file, not a refused one
    };
    const QString path = dir.filePath(QStringLiteral("bad.mdb"));
    for (const auto& [reason, bytes] : cases) {
        if (!bytes.isNull()) writeFile(path, bytes);
        expectRefused(path, {}, reason,
                      reason == cases[5].first ? DaoError::BadFile : DaoError::OpenFailed);
    }
}

TEST(AccessCatalogue, UserTablesSortedByNameWithoutSystemTables) {
    KELDARA_SKIP_WITHOUT_FIXTURE(mdbFixture("mdbtools__mdbtestdata/nwind.mdb"));
    auto nwind = openAccess(mdbFixture("mdbtools__mdbtestdata/nwind.mdb"));
    EXPECT_EQ(tableNames(*nwind),
              QStringList({"Categories", "Customers", "Employees", "Order Details", "Orders",
                           "Products", "Shippers", "Suppliers", QStringLiteral("Umsätze")}));
    const DaoError error = errorOf([&] { selectAll(*nwind, QStringLiteral("MSysObjects")); });
    EXPECT_EQ(error.number(), DaoError::NoSuchTable);
    EXPECT_TRUE(error.description().contains(QLatin1String("'MSysObjects'")));
}

TEST(AccessFields, TypeCodesAndSizesAsTheJetProviderReportsThem) {
    const char* v97 = "jahlborn__jackcess/testV1997.mdb";
    const char* nwind = "mdbtools__mdbtestdata/nwind.mdb";
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {v97, "Table1", "A:202/50 B:202/100 C:17/1 D:2/2 E:3/4 F:5/8 G:7/8 H:6/8 I:11/2"},
        {v97, "Table4", "data:72/16"},
        {nwind, "Order Details", "Discount:4/4"},
        {nwind, "Categories", "Description:203/536870910 Picture:205/1073741823"},
        {"mdbtools__mdbtestdata/DateTestDatabase.mdb", "DateTest", "ShortTextCol:202/255"},
        {"statdata__Northwind-Databse/Northwind.mdb", "Customers", "CustomerID:202/5"},
        {"jahlborn__jackcess/fixedNumericTestV2000.mdb", "test", "col2:131/19/18,0"},
        {"spannm__ucanaccess/functionsV2000.mdb", "t_funcs", "num:131/19/12,3"},
    };
    QStringList missing;
    for (const auto& [file, table, fields] : cases) {
        if (leaveOutMissing(mdbFixture(file), missing)) continue;
        const auto records = selectAll(*openAccess(mdbFixture(file)), QString::fromUtf8(table));
        QStringList described;  // "name:type/size", and "/precision,scale" for decimals
        for (int i = 0; i < records->fieldCount(); ++i) {
            const FieldInfo& f = records->fieldInfo(i);
            described << QStringLiteral("%1:%2/%3").arg(f.name).arg(f.type).arg(f.definedSize);
            if (f.precision != 0 || f.numericScale != 0)
                described.last() += QStringLiteral("/%1,%2").arg(f.precision).arg(f.numericScale);
        }
        for (const QString& field : QString::fromUtf8(fields).split(u' ')) {
            EXPECT_TRUE(described.contains(field))
                << field.toStdString() << " not in " << described.join(u' ').toStdString();
        }
    }
    if (!missing.isEmpty()) GTEST_SKIP() << missing.join(u' ').toStdString();
}

// A table definition names its usage map as a row of another page, and libmdb follows the
// reference unchecked. A damaged one refuses the table, or the file when it is the
// catalogue's, with the reason.
TEST(DamagedTableDefinition, ABadUsageMapReferenceRefusesTheTableOrTheFile) {
    const char* jet3 = "jahlborn__jackcess/testV1997.mdb";
    const char* jet4 = "jahlborn__jackcess/test2V2000.mdb";
    const struct {
        const char* file;
        int at;  // page * page size + offset; page 2 is the catalogue's definition
        QByteArray bytes;
        const char* table;  // null: the catalogue
        const char* reason;
    } cases[] = {
        {jet3, 2 * 2048 + 35, "\xFF", nullptr, "usage map its page does not hold"},
        {jet4, 2 * 4096 + 55, "\xFF", nullptr, "usage map its page does not hold"},
        {jet3, 29 * 2048 + 35, "\xFF", "Table1", "usage map its page does not hold"},
        {jet4, 15 * 4096 + 55, "\xFF", "MSP_PROJECTS", "usage map its page does not hold"},
        {jet4, 15 * 4096 + 56, "\xFF\xFF\x7F", "MSP_PROJECTS", "usage map outside the file"},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("damaged.mdb"));
    for (const auto& c : cases) {
        writeFile(path, readAll(mdbFixture(c.file)).replace(c.at, c.bytes.size(), c.bytes));
        const std::string outcome = outcomeUnderLimits(
            [&] {
                auto connection = openAccess(path);
                if (c.table) selectAll(*connection, QString::fromUtf8(c.table));
                return std::string();
            },
            512, 60);
        const std::string named =
            c.table ? "table '" + std::string(c.table) + "' " : std::string("table catalogue ");
        EXPECT_TRUE(outcome.starts_with("error: ") &&
                    outcome.find(path.toStdString()) != std::string::npos &&
                    outcome.find(named + "refers to a " + c.reason) != std::string::npos)
            << c.file << " at " << c.at << ": " << outcome;
    }
}

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
    KELDARA_SKIP_WITHOUT_FIXTURE(mdbFixture("mdbtools__mdbtestdata/nwind.mdb"));
    QTemporaryDir dir;
    const QByteArray looped =
        withLongValueLoop(readAll(mdbFixture("mdbtools__mdbtestdata/nwind.mdb")), 2048, 8);
    ASSERT_FALSE(looped.isEmpty());
    const QString path = writeFile(dir.filePath(QStringLiteral("loop.mdb")), looped);
    auto connection = openAccess(path);
    int broken = 0;  // the tables with pictures and long memos
    for (const QString& table : tableNames(*connection)) {
        try {
            selectAll(*connection, table);
        } catch (const DaoError& error) {
            ++broken;
            EXPECT_TRUE(error.description().contains(path) &&
                        error.description().contains(QLatin1String("broken chain")))
                << error.description().toStdString();
        }
    }
    EXPECT_GE(broken, 2);
}

}  // namespace

// Opening, passwords, the table catalogue, the field types, and damaged databases.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtEndian>

#include "access/AccessFixtures.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/access/JetHeader.h"
#include "support/Damage.h"

using namespace keldara::dao;
using namespace keldara::test;

namespace {

void expectRefused(const QString& path, const QString& password, DaoError::Number number,
                   const char* reason) {
    try {
        openAccess(path, password);
        ADD_FAILURE() << "opened with password '" << password.toStdString() << "'";
    } catch (const DaoError& error) {
        EXPECT_EQ(error.number(), number);
        EXPECT_TRUE(error.description().contains(path) &&
                    error.description().contains(QLatin1String(reason)))
            << error.description().toStdString();
    }
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
    const QString jet3 = dir.filePath(QStringLiteral("protected97.mdb"));
    writeFile(jet3,
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
        {mdbFixture("jahlborn__jackcess/testV1997.mdb"), "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_NO_THROW(tableNames(*openAccess(c.path, QString::fromUtf8(c.right))));
        for (const char* wrong : c.wrong) {
            expectRefused(c.path, QString::fromUtf8(wrong), DaoError::OpenFailed, "password");
        }
    }
    auto jet3Rows =
        selectAll(*openAccess(jet3, QStringLiteral("s3cret")), QStringLiteral("Table1"));
    EXPECT_EQ(jet3Rows->recordCount(), 2);
}

TEST(AccessOpen, FilesThatAreNotAccessDatabasesAreRefusedWithTheReason) {
    QTemporaryDir dir;
    const QByteArray jet4 = readAll(mdbFixture("jahlborn__jackcess/test2V2000.mdb"));
    QByteArray ace = jet4;
    ace.replace(4, 15, "Standard ACE DB");
    QByteArray future = jet4;
    future[0x14] = 7;
    const struct {
        const char* name;
        QByteArray bytes;  // a null array: no file is written
        DaoError::Number number;
        const char* reason;
    } cases[] = {
        {"missing.mdb", QByteArray(), DaoError::OpenFailed, "Could not find"},
        {"empty.mdb", QByteArray(""), DaoError::OpenFailed, "too short"},
        {"text.mdb", QByteArray("ID,Name\n1,one\n").repeated(400), DaoError::OpenFailed,
         "not an Access database"},
        {"new.mdb", ace, DaoError::OpenFailed, "2007"},
        {"future.mdb", future, DaoError::OpenFailed, "version"},
        {"cut.mdb", jet4.left(jet4.size() - 100), DaoError::BadFile, "whole number"},
    };
    for (const auto& bad : cases) {
        SCOPED_TRACE(bad.name);
        const QString path = dir.filePath(QString::fromLatin1(bad.name));
        if (!bad.bytes.isNull()) writeFile(path, bad.bytes);
        expectRefused(path, {}, bad.number, bad.reason);
    }
}

TEST(AccessOpen, StatementsOtherThanSelectAllAndUseAfterCloseFail) {
    auto connection = openAccess(mdbFixture("jahlborn__jackcess/testV1997.mdb"));
    EXPECT_THROW(connection->execute(QStringLiteral("DELETE FROM [Table1]")), DaoError);
    EXPECT_THROW(connection->openRecordset(QStringLiteral("SELECT A FROM [Table1]")), DaoError);
    connection->close();
    EXPECT_FALSE(connection->isOpen());
    EXPECT_THROW(connection->close(), DaoError);
    EXPECT_THROW(connection->openTableCatalogue(), DaoError);
}

TEST(AccessCatalogue, UserTablesSortedByNameWithoutSystemTables) {
    KELDARA_SKIP_WITHOUT_FIXTURE(mdbFixture("mdbtools__mdbtestdata/nwind.mdb"));
    auto nwind = openAccess(mdbFixture("mdbtools__mdbtestdata/nwind.mdb"));
    EXPECT_EQ(nwind->openTableCatalogue()->fieldInfo(0).name, QStringLiteral("TABLE_NAME"));
    EXPECT_EQ(tableNames(*nwind),
              QStringList({"Categories", "Customers", "Employees", "Order Details", "Orders",
                           "Products", "Shippers", "Suppliers", QStringLiteral("Umsätze")}));
    try {
        selectAll(*nwind, QStringLiteral("MSysObjects"));
        ADD_FAILURE() << "a system table was offered";
    } catch (const DaoError& error) {
        EXPECT_EQ(error.number(), DaoError::NoSuchTable);
        EXPECT_TRUE(error.description().contains(QLatin1String("'MSysObjects'")));
    }
    // Jet compares table names without regard to case.
    EXPECT_EQ(selectAll(*nwind, QStringLiteral("shippers"))->recordCount(), 3);
}

// Each field as "name:type/size", with "/precision,scale" for decimals.
QStringList describeFields(const Recordset& records) {
    QStringList described;
    for (int i = 0; i < records.fieldCount(); ++i) {
        const FieldInfo& info = records.fieldInfo(i);
        described << QStringLiteral("%1:%2/%3").arg(info.name).arg(info.type).arg(info.definedSize);
        if (info.precision != 0 || info.numericScale != 0) {
            described.last() += QStringLiteral("/%1,%2").arg(info.precision).arg(info.numericScale);
        }
    }
    return described;
}

TEST(AccessFields, TypeCodesAndSizesAsTheJetProviderReportsThem) {
    const char* v97 = "jahlborn__jackcess/testV1997.mdb";
    const char* nwind = "mdbtools__mdbtestdata/nwind.mdb";
    const struct {
        const char* file;
        const char* table;
        const char* fields;
    } cases[] = {
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
    for (const auto& c : cases) {
        if (leaveOutMissing(mdbFixture(c.file), missing)) continue;
        const QStringList described =
            describeFields(*selectAll(*openAccess(mdbFixture(c.file)), QString::fromUtf8(c.table)));
        for (const QString& field : QString::fromUtf8(c.fields).split(u' ')) {
            EXPECT_TRUE(described.contains(field))
                << field.toStdString() << " not in " << described.join(u' ').toStdString();
        }
    }
    if (!missing.isEmpty()) GTEST_SKIP() << missing.join(u' ').toStdString();
}

// Opens the database and reads every table it lists; returns the errors of the tables.
QStringList tableErrors(const QString& path, const QString& password = {}) {
    auto connection = openAccess(path, password);
    QStringList errors;
    for (const QString& table : tableNames(*connection)) {
        try {
            selectAll(*connection, table);
        } catch (const DaoError& error) {
            EXPECT_TRUE(error.description().contains(path)) << error.description().toStdString();
            errors << error.description();
        }
    }
    return errors;
}

// A table definition names its usage map as a row of another page, and libmdb follows the
// reference unchecked. A damaged one refuses the table, or the file when it is the
// catalogue's, with the reason.
TEST(DamagedTableDefinition, ABadUsageMapReferenceRefusesTheTableOrTheFile) {
    const char* jet3 = "jahlborn__jackcess/testV1997.mdb";
    const char* jet4 = "jahlborn__jackcess/test2V2000.mdb";
    const struct {
        const char* file;
        int pageSize;
        int page;  // of the definition; 2 is the catalogue's
        int offset;
        QByteArray bytes;
        const char* table;  // null: the catalogue
        const char* reason;
    } cases[] = {
        {jet3, 2048, 2, 35, "\xFF", nullptr, "usage map its page does not hold"},
        {jet4, 4096, 2, 55, "\xFF", nullptr, "usage map its page does not hold"},
        {jet3, 2048, 29, 35, "\xFF", "Table1", "usage map its page does not hold"},
        {jet4, 4096, 15, 55, "\xFF", "MSP_PROJECTS", "usage map its page does not hold"},
        {jet4, 4096, 15, 56, "\xFF\xFF\x7F", "MSP_PROJECTS", "usage map outside the file"},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("damaged.mdb"));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " page " + std::to_string(c.page));
        QByteArray database = readAll(mdbFixture(c.file));
        database.replace(c.page * c.pageSize + c.offset, c.bytes.size(), c.bytes);
        writeFile(path, database);
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
            << outcome;
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
    const QString path = dir.filePath(QStringLiteral("loop.mdb"));
    const QByteArray looped =
        withLongValueLoop(readAll(mdbFixture("mdbtools__mdbtestdata/nwind.mdb")), 2048, 8);
    ASSERT_FALSE(looped.isEmpty());
    writeFile(path, looped);
    const QStringList broken = tableErrors(path);
    ASSERT_GE(broken.size(), 2);  // the tables with pictures and long memos
    for (const QString& description : broken) {
        EXPECT_TRUE(description.contains(QLatin1String("broken chain")))
            << description.toStdString();
    }
}

}  // namespace

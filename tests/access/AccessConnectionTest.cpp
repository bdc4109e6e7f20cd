// Opening, passwords, the table catalogue and the field types of real databases.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include "access/AccessFixtures.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/access/JetHeader.h"
#include "support/Damage.h"

using namespace keldara::dao;
using namespace keldara::test;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// A copy of a Jet 3 database whose header carries a database password.
QByteArray withJet3Password(QByteArray database, const QByteArray& password) {
    QByteArray key(4, '\0');
    qToLittleEndian<quint32>(0x6B39DAC7, key.data());
    access::rc4Apply(key, database.data() + 0x18, 126);
    QByteArray field = password.leftJustified(20, '\0');
    database.replace(0x42, 20, field);
    access::rc4Apply(key, database.data() + 0x18, 126);
    return database;
}

struct PasswordCase {
    const char* file;
    const char* password;
    bool opens;
};

class Passwords : public ::testing::TestWithParam<PasswordCase> {};

TEST_P(Passwords, OpenOnlyWithTheRightPasswordWhenTheDatabaseHasOne) {
    const QString path = mdbFixture(GetParam().file);
    const QString password = QString::fromUtf8(GetParam().password);
    if (GetParam().opens) {
        auto connection = openAccess(path, password);
        EXPECT_TRUE(connection->isOpen());
        EXPECT_NO_THROW(connection->openTableCatalogue());
    } else {
        try {
            openAccess(path, password);
            FAIL() << "opened with password '" << GetParam().password << "'";
        } catch (const DaoError& error) {
            EXPECT_EQ(error.number(), DaoError::OpenFailed);
            EXPECT_TRUE(error.description().contains(path));
            EXPECT_TRUE(error.description().contains(QLatin1String("password")));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    SampleDatabases, Passwords,
    ::testing::Values(
        PasswordCase{"spannm__ucanaccess/password.mdb", "ucanaccess", true},
        PasswordCase{"spannm__ucanaccess/password.mdb", "", false},
        PasswordCase{"spannm__ucanaccess/password.mdb", "UCANACCESS", false},
        PasswordCase{"spannm__ucanaccess/password.mdb", "ucanaccesss", false},
        PasswordCase{"andipaetzold__mdb-reader/V2000_with-password.mdb", "password", true},
        PasswordCase{"andipaetzold__mdb-reader/V2000_with-password.mdb", "", false},
        PasswordCase{"andipaetzold__mdb-reader/V2000_with-password.mdb", "passwor", false},
        PasswordCase{"mdbtools__mdbtestdata/nwind.mdb", "anything", true},
        PasswordCase{"jahlborn__jackcessencrypt/db-enc.mdb", "x", true},
        PasswordCase{"jahlborn__jackcess/testV1997.mdb", "", true}));

TEST(AccessPasswords, ProtectedDatabaseShowsItsRowsOnlyAfterTheRightPassword) {
    auto connection = openAccess(mdbFixture("andipaetzold__mdb-reader/V2000_with-password.mdb"),
                                 QStringLiteral("password"));
    auto records = connection->openRecordset(QStringLiteral("SELECT * FROM [Table1]"));
    ASSERT_EQ(records->recordCount(), 3);
    EXPECT_EQ(records->valueAt(2, 1), Value::text(QStringLiteral("Three")));
}

TEST(AccessPasswords, Jet3PasswordIsChecked) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("protected97.mdb"));
    writeFile(path,
              withJet3Password(readAll(mdbFixture("jahlborn__jackcess/testV1997.mdb")), "s3cret"));
    EXPECT_THROW(openAccess(path), DaoError);
    EXPECT_THROW(openAccess(path, QStringLiteral("S3CRET")), DaoError);
    auto connection = openAccess(path, QStringLiteral("s3cret"));
    EXPECT_EQ(connection->openRecordset(QStringLiteral("SELECT * FROM [Table1]"))->recordCount(),
              2);
}

struct BadFileCase {
    const char* name;
    QByteArray bytes;
    const char* reason;
};

TEST(AccessOpen, FilesThatAreNotAccessDatabasesAreRefusedWithTheReason) {
    QTemporaryDir dir;
    const QByteArray jet4 = readAll(mdbFixture("jahlborn__jackcess/test2V2000.mdb"));
    QByteArray ace = jet4;
    ace.replace(4, 15, "Standard ACE DB");
    QByteArray future = jet4;
    future[0x14] = 7;
    const BadFileCase cases[] = {
        {"empty.mdb", QByteArray(), "too short"},
        {"text.mdb", QByteArray("ID,Name\n1,one\n").repeated(400), "not an Access database"},
        {"new.mdb", ace, "2007"},
        {"future.mdb", future, "version"},
        {"cut.mdb", jet4.left(jet4.size() - 100), "whole number"},
    };
    for (const auto& bad : cases) {
        SCOPED_TRACE(bad.name);
        const QString path = dir.filePath(QString::fromLatin1(bad.name));
        writeFile(path, bad.bytes);
        try {
            openAccess(path);
            ADD_FAILURE() << "opened";
        } catch (const DaoError& error) {
            EXPECT_TRUE(error.description().contains(path)) << error.description().toStdString();
            EXPECT_TRUE(error.description().contains(QLatin1String(bad.reason)))
                << error.description().toStdString();
        }
    }
}

TEST(AccessOpen, MissingFileIsNamed) {
    const QString path = fixturePath(QStringLiteral("mdb/no such file.mdb"));
    try {
        openAccess(path);
        FAIL();
    } catch (const DaoError& error) {
        EXPECT_EQ(error.number(), DaoError::OpenFailed);
        EXPECT_TRUE(error.description().contains(path));
    }
}

TEST(AccessOpen, ClosingTwiceAndStatementsFail) {
    auto connection = openAccess(mdbFixture("jahlborn__jackcess/testV1997.mdb"));
    EXPECT_THROW(connection->execute(QStringLiteral("DELETE FROM [Table1]")), DaoError);
    EXPECT_THROW(connection->openRecordset(QStringLiteral("SELECT A FROM [Table1]")), DaoError);
    connection->close();
    EXPECT_FALSE(connection->isOpen());
    EXPECT_THROW(connection->close(), DaoError);
    EXPECT_THROW(connection->openTableCatalogue(), DaoError);
}

TEST(AccessOpen, UnknownTableIsNamedInTheError) {
    auto connection = openAccess(mdbFixture("mdbtools__mdbtestdata/nwind.mdb"));
    try {
        connection->openRecordset(QStringLiteral("SELECT * FROM [MSysObjects]"));
        FAIL() << "a system table was offered";
    } catch (const DaoError& error) {
        EXPECT_EQ(error.number(), DaoError::NoSuchTable);
        EXPECT_TRUE(error.description().contains(QLatin1String("'MSysObjects'")));
    }
    // Jet compares table names without regard to case.
    EXPECT_EQ(connection->openRecordset(QStringLiteral("SELECT * FROM [shippers]"))->recordCount(),
              3);
}

TEST(AccessCatalogue, UserTablesSortedByNameWithoutSystemTables) {
    auto nwind = openAccess(mdbFixture("mdbtools__mdbtestdata/nwind.mdb"))->openTableCatalogue();
    ASSERT_EQ(nwind->fieldInfo(0).name, QStringLiteral("TABLE_NAME"));
    QStringList names;
    for (long row = 0; row < nwind->recordCount(); ++row) names << nwind->valueAt(row, 0).toText();
    EXPECT_EQ(names, QStringList({"Categories", "Customers", "Employees", "Order Details", "Orders",
                                  "Products", "Shippers", "Suppliers", QStringLiteral("Umsätze")}));

    auto weird = openAccess(mdbFixture("spannm__ucanaccess/weirdObjectNames.mdb"));
    auto weirdNames = weird->openTableCatalogue();
    ASSERT_EQ(weirdNames->recordCount(), 1);
    const QString name = weirdNames->valueAt(0, 0).toText();
    EXPECT_EQ(name, QStringLiteral("19 MB 01 BEZAHLT ???"));
    EXPECT_EQ(weird->openRecordset(QStringLiteral("SELECT * FROM [") + name + QLatin1Char(']'))
                  ->valueAt(0, 1),
              Value::text(QStringLiteral("foo")));

    EXPECT_EQ(
        openAccess(mdbFixture("spannm__ucanaccess/password.mdb"), QStringLiteral("ucanaccess"))
            ->openTableCatalogue()
            ->recordCount(),
        0);
}

struct FieldCase {
    const char* file;
    const char* table;
    const char* field;
    int type;
    long definedSize;
    int precision;
    int scale;
};

TEST(AccessFields, TypeCodesAndSizesAsTheJetProviderReportsThem) {
    const FieldCase cases[] = {
        {"jahlborn__jackcess/testV1997.mdb", "Table1", "A", adType::VarWChar, 50, 0, 0},
        {"jahlborn__jackcess/testV1997.mdb", "Table1", "B", adType::VarWChar, 100, 0, 0},
        {"jahlborn__jackcess/testV1997.mdb", "Table1", "C", adType::UnsignedTinyInt, 1, 0, 0},
        {"jahlborn__jackcess/testV1997.mdb", "Table1", "D", adType::SmallInt, 2, 0, 0},
        {"jahlborn__jackcess/testV1997.mdb", "Table1", "E", adType::Integer, 4, 0, 0},
        {"jahlborn__jackcess/testV1997.mdb", "Table1", "F", adType::Double, 8, 0, 0},
        {"jahlborn__jackcess/testV1997.mdb", "Table1", "G", adType::Date, 8, 0, 0},
        {"jahlborn__jackcess/testV1997.mdb", "Table1", "H", adType::Currency, 8, 0, 0},
        {"jahlborn__jackcess/testV1997.mdb", "Table1", "I", adType::Boolean, 2, 0, 0},
        {"jahlborn__jackcess/testV1997.mdb", "Table4", "data", adType::GUID, 16, 0, 0},
        {"mdbtools__mdbtestdata/nwind.mdb", "Order Details", "Discount", adType::Single, 4, 0, 0},
        {"mdbtools__mdbtestdata/nwind.mdb", "Categories", "Description", adType::LongVarWChar,
         536870910, 0, 0},
        {"mdbtools__mdbtestdata/nwind.mdb", "Categories", "Picture", adType::LongVarBinary,
         1073741823, 0, 0},
        {"mdbtools__mdbtestdata/DateTestDatabase.mdb", "DateTest", "ShortTextCol", adType::VarWChar,
         255, 0, 0},
        {"statdata__Northwind-Databse/Northwind.mdb", "Customers", "CustomerID", adType::VarWChar,
         5, 0, 0},
        {"jahlborn__jackcess/fixedNumericTestV2000.mdb", "test", "col2", adType::Numeric, 19, 18,
         0},
        {"spannm__ucanaccess/functionsV2000.mdb", "t_funcs", "num", adType::Numeric, 19, 12, 3},
    };
    for (const auto& expected : cases) {
        SCOPED_TRACE(std::string(expected.table) + "." + expected.field);
        auto records =
            openAccess(mdbFixture(expected.file))
                ->openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(expected.table));
        int index = -1;
        for (int i = 0; i < records->fieldCount(); ++i) {
            if (records->fieldInfo(i).name == QLatin1String(expected.field)) index = i;
        }
        ASSERT_GE(index, 0);
        const FieldInfo& info = records->fieldInfo(index);
        EXPECT_EQ(info.type, expected.type);
        EXPECT_EQ(info.definedSize, expected.definedSize);
        EXPECT_EQ(info.precision, expected.precision);
        EXPECT_EQ(info.numericScale, expected.scale);
    }
}

}  // namespace

#pragma once

#include <gtest/gtest.h>

#include <QLocale>
#include <QString>
#include <memory>

#include "platform/dao/Connection.h"
#include "support/Paths.h"

namespace keldara::test {

// The connection string the source side builds for an Access file.
inline QString accessConnectionString(const QString& path, const QString& password = {}) {
    QString text =
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path + QLatin1Char(';');
    if (!password.isEmpty()) {
        text +=
            QStringLiteral("Persist Security Info=False;Jet OLEDB:Database Password=") + password;
    }
    return text;
}

inline std::unique_ptr<dao::Connection> openAccess(const QString& path,
                                                   const QString& password = {}) {
    return dao::openConnection(accessConnectionString(path, password));
}

struct AccessFixture {
    const char* file;      // under fixtures/mdb/
    const char* password;  // empty when none
};

// Every .mdb sample file.
inline constexpr AccessFixture kAccessFixtures[] = {
    {"mdbtools__mdbtestdata/nwind.mdb", ""},
    {"mdbtools__mdbtestdata/DateTestDatabase.mdb", ""},
    {"jahlborn__jackcess/testV1997.mdb", ""},
    {"jahlborn__jackcess/test2V1997.mdb", ""},
    {"jahlborn__jackcess/overflowTestV1997.mdb", ""},
    {"jahlborn__jackcess/test2V2000.mdb", ""},
    {"jahlborn__jackcess/fixedNumericTestV2000.mdb", ""},
    {"jahlborn__jackcess/testUnicodeCompV2003.mdb", ""},
    {"jahlborn__jackcessencrypt/db97-enc.mdb", ""},
    {"jahlborn__jackcessencrypt/db-enc.mdb", ""},
    {"spannm__ucanaccess/charsetGBK.mdb", ""},
    {"spannm__ucanaccess/password.mdb", "ucanaccess"},
    {"spannm__ucanaccess/functionsV2000.mdb", ""},
    {"spannm__ucanaccess/weirdObjectNames.mdb", ""},
    {"andipaetzold__mdb-reader/V2000_with-password.mdb", "password"},
    {"statdata__Northwind-Databse/Northwind.mdb", ""},
};

// Jet 3 text is read in the code page of the user's locale. The sample databases are Western
// and mdb-export reads them as Windows-1252, so the tests run under an English locale whatever
// the machine's own is; a test that needs another sets it and restores this one.
class WesternLocale : public ::testing::Environment {
  public:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};
inline ::testing::Environment* const kWesternLocale =
    ::testing::AddGlobalTestEnvironment(new WesternLocale);

inline QString mdbFixture(const char* file) {
    return fixturePath(QStringLiteral("mdb/") + QString::fromUtf8(file));
}

}  // namespace keldara::test

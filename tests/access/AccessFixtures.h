#pragma once

#include <gtest/gtest.h>

#include <QLocale>
#include <QString>
#include <memory>

#include "platform/dao/Connection.h"
#include "support/Files.h"
#include "support/Paths.h"
#include "support/Readers.h"

namespace keldara::test {

inline std::unique_ptr<dao::Connection> openAccess(const QString& path,
                                                   const QString& password = {}) {
    return dao::openConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path +
                               ";Jet OLEDB:Database Password=" + password);
}

// The password of a sample database; empty when it has none.
inline QString passwordOf(const QString& file) {
    if (file.endsWith(QLatin1String("/password.mdb"))) return QStringLiteral("ucanaccess");
    return file.endsWith(QLatin1String("with-password.mdb")) ? QStringLiteral("password") : "";
}

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

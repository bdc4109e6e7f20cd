#include <gtest/gtest.h>

#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "target/DBBits.h"

namespace keldara::test {
namespace {

using target::ConnectionString;

struct StringCase {
    const char* server;
    const char* user;
    const char* password;
    const char* database;
    const char* port;
    const char* expected;
};

TEST(TargetConnectionString, ValuesGoInAsTypedUnlessTheyHoldSeparatorsOrBraces) {
    const StringCase cases[] = {
        {"srv", "me", "pw", "", "3306",
         "DRIVER={MySQL ODBC 3.51 Driver};SERVER=srv;UID=me;PWD=pw;PORT=3306;DATABASE="},
        {"db.example.org", "root", "secret", "shop", "3307",
         "DRIVER={MySQL ODBC 3.51 Driver};SERVER=db.example.org;UID=root;PWD=secret;PORT=3307;"
         "DATABASE=shop"},
        {" srv ", "a b", "p=w'\"", "x-y", "abc",
         "DRIVER={MySQL ODBC 3.51 Driver};SERVER= srv ;UID=a b;PWD=p=w'\";PORT=abc;DATABASE=x-y"},
        {"srv", "me", "pa;ss", "", "3306",
         "DRIVER={MySQL ODBC 3.51 Driver};SERVER=srv;UID=me;PWD={pa;ss};PORT=3306;DATABASE="},
        {"srv", "me", "a}b", "", "3306",
         "DRIVER={MySQL ODBC 3.51 Driver};SERVER=srv;UID=me;PWD={a}}b};PORT=3306;DATABASE="},
        {"srv", "{me", "pw", "we;ird", "3306",
         "DRIVER={MySQL ODBC 3.51 Driver};SERVER=srv;UID={{me};PWD=pw;PORT=3306;"
         "DATABASE={we;ird}"},
        {"", "", "", "", "", "DRIVER={MySQL ODBC 3.51 Driver};SERVER=;UID=;PWD=;PORT=;DATABASE="},
    };
    for (const StringCase& c : cases) {
        EXPECT_EQ(ConnectionString(c.server, c.user, c.password, c.database, c.port),
                  QString::fromUtf8(c.expected))
            << "password " << c.password;
    }
}

TEST(TargetConnectionString, AValueCannotAddKeysOfItsOwn) {
    const QString password = QStringLiteral("x;DATABASE=mysql;PORT=1}");
    const auto cs =
        dao::ConnectionString::parse(ConnectionString("srv", "me", password, "shop", "3306"));
    EXPECT_EQ(cs.pairs().size(), 6);
    EXPECT_EQ(cs.valueOr("PWD"), password);
    EXPECT_EQ(cs.valueOr("DATABASE"), "shop");
    EXPECT_EQ(cs.valueOr("PORT"), "3306");
}

TEST(TargetDBBits, CloseFailsOnAConnectionThatIsNotOpen) {
    shell::AppState state;
    EXPECT_THROW(target::MySQL_Close(state), dao::DaoError);
    ASSERT_NE(state.gMySQLConnection, nullptr);  // created on first use
    EXPECT_FALSE(state.gMySQLConnection->isOpen());
    EXPECT_THROW(target::MySQL_Close(state), dao::DaoError);
}

TEST(TargetDBBits, CatalogueListsAreEmptyWithoutAConnection) {
    shell::AppState state;
    EXPECT_EQ(target::LoadDatabases(state), "");
    EXPECT_EQ(state.gMySQLRecordset, nullptr);
}

}  // namespace
}  // namespace keldara::test

#include <gtest/gtest.h>

#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "target/DBBits.h"

namespace keldara::test {
namespace {

using target::ConnectionString;

TEST(TargetConnectionString, ValuesGoInAsTypedUnlessTheParserWouldChangeThem) {
    const std::array<const char*, 6> cases[] = {
        {"srv", "me", "pw", "", "3306", "SERVER=srv;UID=me;PWD=pw;PORT=3306;DATABASE="},
        {"srv", "a b", "p=w'\"", "x-y", "abc",
         "SERVER=srv;UID=a b;PWD=p=w'\";PORT=abc;DATABASE=x-y"},
        {" srv ", "me ", " pw ", "\"db", "3306",
         "SERVER={ srv };UID={me };PWD={ pw };PORT=3306;DATABASE={\"db}"},
        {"srv", "me", "a}b", "", "3306", "SERVER=srv;UID=me;PWD={a}}b};PORT=3306;DATABASE="},
        {"srv", "{me", "pw", "we;ird", "3306",
         "SERVER=srv;UID={{me};PWD=pw;PORT=3306;DATABASE={we;ird}"},
        {"", "", "", "", "", "SERVER=;UID=;PWD=;PORT=;DATABASE="},
    };
    for (const auto& [server, user, password, database, port, expected] : cases) {
        EXPECT_EQ(ConnectionString(server, user, password, database, port),
                  QStringLiteral("DRIVER={MySQL ODBC 3.51 Driver};") + QString::fromUtf8(expected))
            << "password " << password;
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

TEST(TargetDBBits, WithoutAConnectionListsAreEmptyAndCloseFails) {
    shell::AppState state;
    EXPECT_EQ(target::LoadDatabases(state), "");
    EXPECT_EQ(state.gMySQLRecordset, nullptr);
    EXPECT_THROW(target::MySQL_Close(state), dao::DaoError);
    ASSERT_NE(state.gMySQLConnection, nullptr);  // created on first use
    EXPECT_FALSE(state.gMySQLConnection->isOpen());
    EXPECT_THROW(target::MySQL_Close(state), dao::DaoError);
}

}  // namespace
}  // namespace keldara::test

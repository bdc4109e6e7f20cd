#include <gtest/gtest.h>

#include "platform/dao/DaoError.h"
#include "target/DBBits.h"

namespace keldara::test {
namespace {

// Each value goes in as typed unless the parser would change it (its rules have their own test).
TEST(TargetConnectionString, BracesEveryValueThatNeedsIt) {
    const QString driver = "DRIVER={MySQL ODBC 3.51 Driver};";
    EXPECT_EQ(target::ConnectionString("srv", "a b", "p=w'\"", "x-y", "abc"),
              driver + "SERVER=srv;UID=a b;PWD=p=w'\";PORT=abc;DATABASE=x-y");
    EXPECT_EQ(target::ConnectionString(" srv ", "{me", "a}b", "\"db", "we;ird"),
              driver + "SERVER={ srv };UID={{me};PWD={a}}b};PORT={we;ird};DATABASE={\"db}");
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

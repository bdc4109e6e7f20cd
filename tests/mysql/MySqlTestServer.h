#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <memory>

#include "platform/dao/Connection.h"

namespace keldara::test {

// The test server that scripts/mariadb-server.sh starts, as its KELDARA_MYSQL_* variables
// describe it.
struct MySqlServer {
    QString host;
    QString port;
    QString user;
    QString password;
};

// The server from the environment; an empty host when the variables are not all set.
MySqlServer mySqlServerFromEnvironment();

// The connection string of the MySQL ODBC driver, each value braced when it holds ";", "{"
// or "}".
QString mySqlConnectionString(const QString& host, const QString& user, const QString& password,
                              const QString& port, const QString& database);

// A fixture that fails when no test server is given, and otherwise creates a scratch
// database of its own for the test (dropped afterwards) and an open connection to it.
class MySqlTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    QString connectionString(const QString& database) const;
    QString scratchConnectionString() const { return connectionString(database_); }
    // Runs statements on the scratch database, failing the test on an error.
    void run(const QString& sql);
    void run(std::initializer_list<const char*> statements);

    MySqlServer server_;
    QString database_;
    std::unique_ptr<dao::Connection> connection_;  // open on the scratch database
};

}  // namespace keldara::test

#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"

namespace keldara::test {

// A MySQL server and the account the tests use on it.
struct Server {
    QString host, port, user, password;
    QString tlsClause;  // ";SSLMODE=..." keys added to every connection string
    // The MySQL ODBC driver's connection string, each value braced when it needs it.
    QString connectionString(const QString& database) const;
};

// The server that KELDARA_MYSQL_*=... lines (scripts/mariadb-server.sh's output) describe.
Server serverOf(const QByteArray& lines);
// The test server, as the KELDARA_MYSQL_* variables describe it.
Server testServer();
// The TLS-only test server that CTest starts for the build (its env file, or the one that
// KELDARA_TLS_SERVER_ENV names): its details, the CA that signed its certificate, a CA that
// did not, and a client certificate (with its key) that the first CA signed. Empty when it is
// not running.
struct TlsServer {
    Server server;
    QString caFile;
    QString otherCaFile;
    QString clientCertFile;
    QString clientKeyFile;
};
TlsServer tlsTestServer();
// Unless set, the KELDARA_MYSQL_* variables of the server that CTest starts for the build.
void useTestServerOfTheBuild();

// Runs a script through the mariadb client on `database`: its error output and exit code.
QString runThroughClient(const Server& server, const QString& database, const QString& script);

// The first `count` records (all when negative), each as one line, sorted. Values are in a
// form every source and MySQL share: dates and times in full (a date at midnight, a time of
// day on the zero date), decimals without trailing zeros, Null apart from every text.
std::vector<QString> rowsOf(const dao::Recordset& records, long count = -1);

// The DaoError that `operation` throws; a test failure when it throws none.
dao::DaoError errorOf(const std::function<void()>& operation);

// A name no other test uses: the process, a counter and `tag`, as a database name allows.
QString uniqueName(const QString& tag);

// A database of its own on a server, with a connection to it; dropped when this goes.
struct ScratchDatabase {
    ScratchDatabase(const Server& server, const QString& tag);
    ~ScratchDatabase();
    const Server server;
    const QString name;
    std::unique_ptr<dao::Connection> connection;
};

// A test with a scratch database on serverForTest(): the test server unless a test says
// otherwise. `Base` is set up first and torn down last.
template <typename Base = ::testing::Test>
class ScratchDatabaseTest : public Base {
  protected:
    virtual Server serverForTest() { return testServer(); }
    void SetUp() override {
        Base::SetUp();
        const Server server = serverForTest();
        ASSERT_FALSE(server.host.isEmpty() || server.port.isEmpty() || server.user.isEmpty())
            << "No MySQL test server: set KELDARA_MYSQL_* as scripts/mariadb-server.sh prints them "
               "(ctest and scripts/test.sh start one).";
        db_ = std::make_unique<ScratchDatabase>(
            server, ::testing::UnitTest::GetInstance()->current_test_info()->name());
        connection_ = db_->connection.get();
    }
    void TearDown() override {
        db_.reset();
        Base::TearDown();
    }

    void run(std::initializer_list<QString> sql) {
        for (const QString& statement : sql) connection_->execute(statement);
    }
    QString scratchConnectionString() const { return db_->server.connectionString(db_->name); }
    std::vector<QString> tableRows(const QString& table = "T") {
        return rowsOf(*connection_->openRecordset("SELECT * FROM " + table));
    }

    std::unique_ptr<ScratchDatabase> db_;
    dao::Connection* connection_ = nullptr;  // open on the scratch database
};

using MySqlTest = ScratchDatabaseTest<>;

}  // namespace keldara::test

// Opening and closing, the server's errors, the catalogue, a lost connection.
#include "platform/dao/DaoError.h"
#include "support/TestServer.h"

using namespace keldara::dao;
using keldara::test::errorOf;
using keldara::test::MySqlTest;
using keldara::test::Server;

namespace {

// The error that opening a connection with `connectionString` raises.
DaoError openFailure(const QString& connectionString) {
    auto connection = createConnection(connectionString);
    const DaoError e = errorOf([&] { connection->open(connectionString); });
    EXPECT_FALSE(connection->isOpen());
    return e;
}

// The first column of the rows as text, "<null>" for Null.
QStringList firstColumn(const Recordset& records) {
    QStringList values;
    for (long row = 0; row < records.recordCount(); ++row) {
        const Value value = records.valueAt(row, 0);
        values << (value.isNull() ? QStringLiteral("<null>") : value.standardText());
    }
    return values;
}

QString firstValue(Connection& connection, const QString& sql) {
    return firstColumn(*connection.openRecordset(sql)).value(0, "<no rows>");
}

TEST_F(MySqlTest, OpensAtServerLevelWithADefaultDatabaseOrLocalhostAndTalksUtf8mb4) {
    const Server& s = db_->server;
    EXPECT_EQ(firstValue(*openConnection(s.connectionString({})), "SELECT DATABASE()"), "<null>");
    EXPECT_EQ(firstValue(*openConnection(scratchConnectionString()), "SELECT DATABASE()"),
              db_->name);
    // Without the DATABASE key at all, and with keys written in any case.
    auto lowerCase =
        openConnection(QString("driver={MySQL ODBC 3.51 Driver};server=%1;uid=%2;pwd=%3;port=%4")
                           .arg(s.host, s.user, s.password, s.port));
    EXPECT_EQ(firstValue(*lowerCase, "SELECT DATABASE()"), "<null>");
    const Server localhost{"localhost", s.port, s.user, s.password};
    EXPECT_EQ(firstValue(*openConnection(localhost.connectionString({})), "SELECT @@port"), s.port);
    EXPECT_EQ(
        firstValue(*connection_, "SELECT CONCAT(@@character_set_client, @@character_set_results)"),
        "utf8mb4utf8mb4");
}

TEST_F(MySqlTest, CloseEndsTheConnectionAndEveryOperationThenFails) {
    auto connection = openConnection(scratchConnectionString());
    connection->close();
    EXPECT_FALSE(connection->isOpen());
    const std::function<void()> operations[] = {
        [&] { connection->close(); },
        [&] { connection->execute("SELECT 1"); },
        [&] { connection->openRecordset("SELECT 1"); },
        [&] { connection->openTableCatalogue(); },
    };
    for (const auto& operation : operations)
        EXPECT_EQ(errorOf(operation).number(), DaoError::NotOpen);
    connection->open(scratchConnectionString());  // the same object opens again
    EXPECT_EQ(firstValue(*connection, "SELECT 7"), "7");
    EXPECT_THROW(connection->open(scratchConnectionString()), DaoError);  // already open
    EXPECT_TRUE(connection->isOpen());
}

TEST_F(MySqlTest, FailingToOpenGivesTheServersOrClientsText) {
    const Server& s = db_->server;
    const Server wrongPassword{s.host, s.port, s.user, "not-the-password"};
    const Server nothingListens{"127.0.0.1", "1", s.user, s.password};
    struct Case {
        QString connectionString;
        int nativeCode;  // 0: not the server's or client's error
        QString text;
    };
    std::vector<Case> cases = {
        {wrongPassword.connectionString({}), 1045, "Access denied for user '" + s.user},
        {s.connectionString("kt_no_such_database"), 1049, "kt_no_such_database"},
        {nothingListens.connectionString({}), 2002, "127.0.0.1"},
    };
    for (const QString port : {"33o6", "70000"}) {
        cases.push_back(
            {Server{s.host, port, s.user, s.password}.connectionString({}), 0, '"' + port + '"'});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.connectionString.toStdString());
        const DaoError e = openFailure(c.connectionString);
        EXPECT_EQ(e.number(), DaoError::OpenFailed);
        EXPECT_TRUE(c.nativeCode == 0 || e.nativeCode() == c.nativeCode) << e.nativeCode();
        EXPECT_TRUE(e.description().contains(c.text)) << e.description().toStdString();
    }
}

TEST_F(MySqlTest, ListsDatabasesAndTables) {
    auto catalogue = connection_->openTableCatalogue();
    ASSERT_EQ(catalogue->fieldCount(), 1);
    EXPECT_EQ(catalogue->fieldInfo(0).name, "TABLE_NAME");
    EXPECT_EQ(catalogue->recordCount(), 0);  // a database without tables
    EXPECT_THROW(catalogue->moveFirst(), DaoError);

    run({"CREATE TABLE customers (id INT)", "CREATE TABLE `order lines` (id INT)",
         "CREATE TABLE `Ärende` (id INT)"});
    auto serverLevel = openConnection(db_->server.connectionString({}));
    const QStringList tables = {"customers", "order lines", "Ärende"};
    // No database selected.
    EXPECT_EQ(errorOf([&] { serverLevel->openTableCatalogue(); }).nativeCode(), 1046);
    EXPECT_EQ(firstColumn(*connection_->openTableCatalogue()), tables);
}

TEST_F(MySqlTest, LostConnectionIsReportedAndCanBeClosed) {
    auto victim = openConnection(scratchConnectionString());
    run({"KILL CONNECTION " + firstValue(*victim, "SELECT CONNECTION_ID()")});
    const DaoError e = errorOf([&] { victim->openRecordset("SELECT 1"); });
    EXPECT_TRUE(e.nativeCode() == 2006 || e.nativeCode() == 2013 || e.nativeCode() == 1927)
        << e.nativeCode() << " " << e.description().toStdString();
    EXPECT_FALSE(e.description().isEmpty());
    EXPECT_TRUE(victim->isOpen());
    victim->close();
    EXPECT_FALSE(victim->isOpen());
}

}  // namespace

// Opening and closing, the server's errors, the catalogue, a lost connection.
#include <gtest/gtest.h>

#include <QStringList>
#include <functional>

#include "MySqlTestServer.h"
#include "platform/dao/DaoError.h"

using namespace keldara::dao;
using keldara::test::errorOf;
using keldara::test::mySqlConnectionString;
using keldara::test::MySqlTest;

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
    return firstColumn(*connection.openRecordset(sql)).value(0, QStringLiteral("<no rows>"));
}

}  // namespace

TEST_F(MySqlTest, OpensAtServerLevelWithADefaultDatabaseOrLocalhostAndTalksUtf8mb4) {
    const QString current = QStringLiteral("SELECT DATABASE()");
    EXPECT_EQ(firstValue(*openConnection(connectionString(QString())), current), "<null>");
    EXPECT_EQ(firstValue(*openConnection(scratchConnectionString()), current), database_);
    // Without the DATABASE key at all, and with keys written in any case.
    auto lowerCase = openConnection(QStringLiteral("driver={MySQL ODBC 3.51 Driver};server=%1;"
                                                   "uid=%2;pwd=%3;port=%4")
                                        .arg(host_, user_, password_, port_));
    EXPECT_EQ(firstValue(*lowerCase, current), "<null>");
    auto localhost = openConnection(
        mySqlConnectionString(QStringLiteral("localhost"), user_, password_, port_, QString()));
    EXPECT_EQ(firstValue(*localhost, QStringLiteral("SELECT @@port")), port_);

    auto row = connection_->openRecordset(
        QStringLiteral("SELECT @@character_set_client, @@character_set_results, '😀 Luleå'"));
    EXPECT_EQ(row->valueAt(0, 0).toText(), "utf8mb4");
    EXPECT_EQ(row->valueAt(0, 1).toText(), "utf8mb4");
    EXPECT_EQ(row->valueAt(0, 2).toText(), "😀 Luleå");
}

TEST_F(MySqlTest, CloseEndsTheConnectionAndEveryOperationThenFails) {
    auto connection = openConnection(scratchConnectionString());
    connection->close();
    EXPECT_FALSE(connection->isOpen());
    const std::pair<const char*, std::function<void()>> operations[] = {
        {"close", [&] { connection->close(); }},
        {"execute", [&] { connection->execute(QStringLiteral("SELECT 1")); }},
        {"openRecordset", [&] { connection->openRecordset(QStringLiteral("SELECT 1")); }},
        {"openTableCatalogue", [&] { connection->openTableCatalogue(); }},
    };
    for (const auto& [name, operation] : operations) {
        EXPECT_EQ(errorOf(operation).number(), DaoError::NotOpen) << name;
    }
    connection->open(scratchConnectionString());  // the same object opens again
    EXPECT_EQ(firstValue(*connection, QStringLiteral("SELECT 7")), "7");
    EXPECT_THROW(connection->open(scratchConnectionString()), DaoError);  // already open
    EXPECT_TRUE(connection->isOpen());
}

TEST_F(MySqlTest, FailingToOpenGivesTheServersOrClientsText) {
    const auto server = [&](const QString& password, const QString& port, const QString& db) {
        return mySqlConnectionString(host_, user_, password, port, db);
    };
    struct Case {
        QString connectionString;
        int nativeCode;  // 0: not the server's or client's error
        QString text;
    };
    std::vector<Case> cases = {
        {server(QStringLiteral("not-the-password"), port_, {}), 1045,
         QStringLiteral("Access denied for user '") + user_},
        {server(password_, port_, QStringLiteral("kt_no_such_database")), 1049,
         QStringLiteral("kt_no_such_database")},
        // Nothing listens on port 1 of the loopback.
        {mySqlConnectionString(QStringLiteral("127.0.0.1"), user_, password_, QStringLiteral("1"),
                               {}),
         2002, QStringLiteral("127.0.0.1")},
    };
    for (const QString port : {"33o6", "-1", "70000", "3306 3307"}) {
        cases.push_back({server(password_, port, {}), 0, u'"' + port + u'"'});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.connectionString.toStdString());
        const DaoError e = openFailure(c.connectionString);
        EXPECT_EQ(e.number(), DaoError::OpenFailed);
        EXPECT_TRUE(c.nativeCode == 0 || e.nativeCode() == c.nativeCode) << e.nativeCode();
        EXPECT_TRUE(e.description().contains(c.text)) << e.description().toStdString();
    }
}

TEST_F(MySqlTest, BracedPasswordWithSemicolonAndBracesReachesTheServerIntact) {
    const QString user = QStringLiteral("kt_pw_") + database_.right(20);
    const QString password = QStringLiteral("pa;ss{w}rd};PORT=1");
    run(QStringLiteral("CREATE USER '%1'@'%' IDENTIFIED BY '%2'").arg(user, password));

    const QString braced = mySqlConnectionString(host_, user, password, port_, QString());
    EXPECT_TRUE(braced.contains(QStringLiteral("PWD={pa;ss{w}}rd}};PORT=1};PORT=")))
        << braced.toStdString();
    EXPECT_EQ(firstValue(*openConnection(braced), QStringLiteral("SELECT CURRENT_USER()")),
              user + QStringLiteral("@%"));
    // Unbraced, the value splits at its first ";" and its "PORT=1" becomes a key of its own
    // (the first of two wins): the connection goes to port 1.
    EXPECT_EQ(openFailure(QStringLiteral("DRIVER={MySQL ODBC 3.51 Driver};SERVER=%1;UID=%2;"
                                         "PWD=%3;PORT=%4")
                              .arg(host_, user, password, port_))
                  .nativeCode(),
              2002);
    run(QStringLiteral("DROP USER '%1'@'%'").arg(user));
}

TEST_F(MySqlTest, ListsDatabasesAndTables) {
    auto catalogue = connection_->openTableCatalogue();
    ASSERT_EQ(catalogue->fieldCount(), 1);
    EXPECT_EQ(catalogue->fieldInfo(0).name, "TABLE_NAME");
    EXPECT_EQ(catalogue->recordCount(), 0);  // a database without tables
    EXPECT_THROW(catalogue->moveFirst(), DaoError);
    EXPECT_EQ(firstValue(*connection_, QStringLiteral("SHOW TABLES FROM ") + database_),
              "<no rows>");

    run({"CREATE TABLE customers (id INT)", "CREATE TABLE `order lines` (id INT)",
         "CREATE TABLE `Ärende` (id INT)"});
    auto serverLevel = openConnection(connectionString(QString()));
    const QStringList databases =
        firstColumn(*serverLevel->openRecordset(QStringLiteral("SHOW DATABASES")));
    EXPECT_TRUE(databases.contains(database_) && databases.contains(QStringLiteral("mysql")))
        << databases.join(',').toStdString();
    const QStringList tables =
        firstColumn(*serverLevel->openRecordset(QStringLiteral("SHOW TABLES FROM ") + database_));
    EXPECT_EQ(tables, QStringList({"customers", "order lines", "Ärende"}));
    // No database selected.
    EXPECT_EQ(errorOf([&] { serverLevel->openTableCatalogue(); }).nativeCode(), 1046);
    EXPECT_EQ(firstColumn(*connection_->openTableCatalogue()), tables);
}

TEST_F(MySqlTest, LostConnectionIsReportedAndCanBeClosed) {
    auto victim = openConnection(scratchConnectionString());
    run(QStringLiteral("KILL CONNECTION ") +
        firstValue(*victim, QStringLiteral("SELECT CONNECTION_ID()")));
    const DaoError e = errorOf([&] { victim->openRecordset(QStringLiteral("SELECT 1")); });
    EXPECT_TRUE(e.nativeCode() == 2006 || e.nativeCode() == 2013 || e.nativeCode() == 1927)
        << e.nativeCode() << " " << e.description().toStdString();
    EXPECT_FALSE(e.description().isEmpty());
    EXPECT_TRUE(victim->isOpen());
    victim->close();
    EXPECT_FALSE(victim->isOpen());
}

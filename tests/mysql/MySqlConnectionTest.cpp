#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QStringList>
#include <functional>

#include "MySqlTestServer.h"
#include "platform/dao/DaoError.h"

using namespace keldara::dao;
using keldara::test::mySqlConnectionString;
using keldara::test::MySqlTest;

namespace {

// A loopback port that nothing listens on: bound once to learn a free number, then released.
QString closedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return QString::number(ntohs(address.sin_port));
}

// The error that opening a connection with `connectionString` raises.
DaoError openFailure(const QString& connectionString) {
    auto connection = createConnection(connectionString);
    try {
        connection->open(connectionString);
    } catch (const DaoError& e) {
        EXPECT_FALSE(connection->isOpen());
        return e;
    }
    ADD_FAILURE() << "opened: " << connectionString.toStdString();
    return DaoError(0, QString());
}

QString firstValue(Connection& connection, const QString& sql) {
    auto records = connection.openRecordset(sql);
    if (records->recordCount() == 0) return QStringLiteral("<no rows>");
    return records->valueAt(0, 0).isNull() ? QStringLiteral("<null>")
                                           : records->valueAt(0, 0).standardText();
}

QStringList firstColumn(const Recordset& records) {
    QStringList values;
    for (long row = 0; row < records.recordCount(); ++row) {
        values << records.valueAt(row, 0).toText();
    }
    return values;
}

}  // namespace

TEST_F(MySqlTest, OpensAtServerLevelAndWithADefaultDatabase) {
    auto serverLevel = openConnection(connectionString(QString()));
    EXPECT_TRUE(serverLevel->isOpen());
    EXPECT_EQ(firstValue(*serverLevel, QStringLiteral("SELECT DATABASE()")), "<null>");

    auto withDatabase = openConnection(scratchConnectionString());
    EXPECT_EQ(firstValue(*withDatabase, QStringLiteral("SELECT DATABASE()")), database_);

    // Without the DATABASE key at all, and with keys written in any case.
    const QString lowerCase = QStringLiteral(
                                  "driver={MySQL ODBC 3.51 Driver};server=%1;uid=%2;"
                                  "pwd=%3;port=%4")
                                  .arg(server_.host, server_.user, server_.password, server_.port);
    auto noDatabase = openConnection(lowerCase);
    EXPECT_EQ(firstValue(*noDatabase, QStringLiteral("SELECT DATABASE()")), "<null>");
}

TEST_F(MySqlTest, TalksUtf8mb4) {
    EXPECT_EQ(firstValue(*connection_, QStringLiteral("SELECT @@character_set_client")), "utf8mb4");
    EXPECT_EQ(firstValue(*connection_, QStringLiteral("SELECT @@character_set_results")),
              "utf8mb4");
    EXPECT_EQ(firstValue(*connection_, QStringLiteral("SELECT '😀 Luleå'")), "😀 Luleå");
}

TEST_F(MySqlTest, LocalhostMeansTheGivenPort) {
    auto connection = openConnection(mySqlConnectionString(
        QStringLiteral("localhost"), server_.user, server_.password, server_.port, QString()));
    EXPECT_EQ(firstValue(*connection, QStringLiteral("SELECT @@port")), server_.port);
}

TEST_F(MySqlTest, CloseEndsTheConnectionAndEveryOperationThenFails) {
    auto connection = openConnection(scratchConnectionString());
    connection->close();
    EXPECT_FALSE(connection->isOpen());

    const std::vector<std::pair<const char*, std::function<void()>>> operations = {
        {"close", [&] { connection->close(); }},
        {"execute", [&] { connection->execute(QStringLiteral("SELECT 1")); }},
        {"openRecordset", [&] { connection->openRecordset(QStringLiteral("SELECT 1")); }},
        {"openTableCatalogue", [&] { connection->openTableCatalogue(); }},
    };
    for (const auto& [name, operation] : operations) {
        try {
            operation();
            ADD_FAILURE() << name << " succeeded on a closed connection";
        } catch (const DaoError& e) {
            EXPECT_EQ(e.number(), DaoError::NotOpen) << name;
        }
    }

    connection->open(scratchConnectionString());  // the same object opens again
    EXPECT_EQ(firstValue(*connection, QStringLiteral("SELECT 7")), "7");
    EXPECT_THROW(connection->open(scratchConnectionString()), DaoError);  // already open
    EXPECT_TRUE(connection->isOpen());
}

TEST_F(MySqlTest, WrongPasswordFailsWithTheServersText) {
    const DaoError e = openFailure(mySqlConnectionString(
        server_.host, server_.user, QStringLiteral("not-the-password"), server_.port, QString()));
    EXPECT_EQ(e.number(), DaoError::OpenFailed);
    EXPECT_EQ(e.nativeCode(), 1045);
    EXPECT_TRUE(
        e.description().startsWith(QStringLiteral("Access denied for user '") + server_.user))
        << e.description().toStdString();
}

TEST_F(MySqlTest, UnknownDatabaseFailsWithTheServersText) {
    const DaoError e = openFailure(connectionString(QStringLiteral("kt_no_such_database")));
    EXPECT_EQ(e.nativeCode(), 1049);
    EXPECT_TRUE(e.description().contains(QStringLiteral("kt_no_such_database")))
        << e.description().toStdString();
}

// The connect timeout is what keeps an unreachable server from blocking the window for
// minutes; the bounds below are far above it and only catch a missing timeout.
TEST_F(MySqlTest, ClosedPortAndUnreachableHostFailPromptly) {
    QElapsedTimer timer;
    timer.start();
    const DaoError refused = openFailure(mySqlConnectionString(
        QStringLiteral("127.0.0.1"), server_.user, server_.password, closedLoopbackPort(), {}));
    EXPECT_EQ(refused.number(), DaoError::OpenFailed);
    EXPECT_EQ(refused.nativeCode(), 2002) << refused.description().toStdString();
    EXPECT_TRUE(refused.description().contains(QStringLiteral("127.0.0.1")))
        << refused.description().toStdString();
    EXPECT_LT(timer.restart(), 10000);

    // A non-routable address: either the network refuses at once or the timeout ends it.
    const DaoError unreachable = openFailure(mySqlConnectionString(
        QStringLiteral("10.255.255.1"), server_.user, server_.password, server_.port, {}));
    EXPECT_EQ(unreachable.number(), DaoError::OpenFailed);
    EXPECT_FALSE(unreachable.description().isEmpty());
    EXPECT_LT(timer.elapsed(), 20000);
}

TEST_F(MySqlTest, PortThatIsNotANumberIsAClearError) {
    for (const QString& port : {QStringLiteral("33o6"), QStringLiteral("-1"),
                                QStringLiteral("70000"), QStringLiteral("3306 3307")}) {
        const DaoError e = openFailure(
            mySqlConnectionString(server_.host, server_.user, server_.password, port, {}));
        EXPECT_EQ(e.number(), DaoError::OpenFailed);
        EXPECT_TRUE(e.description().contains(QLatin1Char('"') + port + QLatin1Char('"')))
            << e.description().toStdString();
    }
}

TEST_F(MySqlTest, BracedPasswordWithSemicolonAndBracesReachesTheServerIntact) {
    const QString user = QStringLiteral("kt_pw_") + database_.right(20);
    const QString password = QStringLiteral("pa;ss{w}rd};PORT=1");
    run(QStringLiteral("CREATE USER '%1'@'%' IDENTIFIED BY '%2'")
            .arg(user, QString(password).replace(QLatin1Char('\''), QStringLiteral("''"))));

    const QString braced =
        mySqlConnectionString(server_.host, user, password, server_.port, QString());
    EXPECT_TRUE(braced.contains(QStringLiteral("PWD={pa;ss{w}}rd}};PORT=1};PORT=")))
        << braced.toStdString();
    try {
        auto connection = openConnection(braced);
        EXPECT_EQ(firstValue(*connection, QStringLiteral("SELECT CURRENT_USER()")),
                  user + QStringLiteral("@%"));
    } catch (const DaoError& e) {
        ADD_FAILURE() << e.description().toStdString();
    }

    // Unbraced, the value splits at its first ";" and its "PORT=1" becomes a key of its own
    // (the first of two wins): the connection goes to port 1.
    const QString unbraced = QStringLiteral("DRIVER={MySQL ODBC 3.51 Driver};SERVER=") +
                             server_.host + QStringLiteral(";UID=") + user +
                             QStringLiteral(";PWD=") + password + QStringLiteral(";PORT=") +
                             server_.port;
    EXPECT_EQ(openFailure(unbraced).nativeCode(), 2002);
    run(QStringLiteral("DROP USER '%1'@'%'").arg(user));
}

TEST_F(MySqlTest, ListsDatabasesAndTables) {
    run({"CREATE TABLE customers (id INT)", "CREATE TABLE `order lines` (id INT)",
         "CREATE TABLE `Ärende` (id INT)"});

    auto serverLevel = openConnection(connectionString(QString()));
    const QStringList databases =
        firstColumn(*serverLevel->openRecordset(QStringLiteral("SHOW DATABASES")));
    EXPECT_TRUE(databases.contains(database_)) << databases.join(',').toStdString();
    EXPECT_TRUE(databases.contains(QStringLiteral("mysql")));

    const QStringList tables =
        firstColumn(*serverLevel->openRecordset(QStringLiteral("SHOW TABLES FROM ") + database_));
    EXPECT_EQ(tables, QStringList({"customers", "order lines", "Ärende"}));

    try {
        serverLevel->openTableCatalogue();
        ADD_FAILURE() << "a catalogue without a database";
    } catch (const DaoError& e) {
        EXPECT_EQ(e.nativeCode(), 1046) << e.description().toStdString();  // no database
    }

    auto catalogue = connection_->openTableCatalogue();
    ASSERT_EQ(catalogue->fieldCount(), 1);
    EXPECT_EQ(catalogue->fieldInfo(0).name, "TABLE_NAME");
    EXPECT_EQ(firstColumn(*catalogue), tables);
}

TEST_F(MySqlTest, EmptyDatabaseHasAnEmptyCatalogue) {
    auto catalogue = connection_->openTableCatalogue();
    EXPECT_EQ(catalogue->recordCount(), 0);
    EXPECT_EQ(catalogue->fieldInfo(0).name, "TABLE_NAME");
    EXPECT_THROW(catalogue->moveFirst(), DaoError);
    EXPECT_EQ(
        connection_->openRecordset(QStringLiteral("SHOW TABLES FROM ") + database_)->recordCount(),
        0);
}

TEST_F(MySqlTest, LostConnectionIsReportedAndCanBeClosed) {
    auto victim = openConnection(scratchConnectionString());
    const QString id = firstValue(*victim, QStringLiteral("SELECT CONNECTION_ID()"));
    run(QStringLiteral("KILL CONNECTION ") + id);
    try {
        victim->openRecordset(QStringLiteral("SELECT 1"));
        ADD_FAILURE() << "a killed connection answered";
    } catch (const DaoError& e) {
        EXPECT_TRUE(e.nativeCode() == 2006 || e.nativeCode() == 2013 || e.nativeCode() == 1927)
            << e.nativeCode() << " " << e.description().toStdString();
        EXPECT_FALSE(e.description().isEmpty());
    }
    EXPECT_TRUE(victim->isOpen());
    victim->close();
    EXPECT_FALSE(victim->isOpen());
}

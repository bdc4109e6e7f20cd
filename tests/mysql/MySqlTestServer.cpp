#include "MySqlTestServer.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <atomic>

#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"

namespace keldara::test {

using dao::braceQuoteIfNeeded;

MySqlServer mySqlServerFromEnvironment() {
    MySqlServer server;
    server.host = qEnvironmentVariable("KELDARA_MYSQL_HOST");
    server.port = qEnvironmentVariable("KELDARA_MYSQL_PORT");
    server.user = qEnvironmentVariable("KELDARA_MYSQL_USER");
    server.password = qEnvironmentVariable("KELDARA_MYSQL_PASSWORD");
    if (server.port.isEmpty() || server.user.isEmpty()) server.host.clear();
    return server;
}

QString mySqlConnectionString(const QString& host, const QString& user, const QString& password,
                              const QString& port, const QString& database) {
    return QStringLiteral("DRIVER={MySQL ODBC 3.51 Driver};SERVER=") + braceQuoteIfNeeded(host) +
           QStringLiteral(";UID=") + braceQuoteIfNeeded(user) + QStringLiteral(";PWD=") +
           braceQuoteIfNeeded(password) + QStringLiteral(";PORT=") + braceQuoteIfNeeded(port) +
           QStringLiteral(";DATABASE=") + braceQuoteIfNeeded(database);
}

namespace {

// A database name of its own for each test: the process and a counter, then the test name.
QString scratchDatabaseName() {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    QString name = QStringLiteral("kt_%1_%2_%3")
                       .arg(QCoreApplication::applicationPid())
                       .arg(++counter)
                       .arg(QString::fromUtf8(info ? info->name() : "test"));
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_]")), QStringLiteral("_"));
    return name.left(64);
}

}  // namespace

void MySqlTest::SetUp() {
    server_ = mySqlServerFromEnvironment();
    ASSERT_FALSE(server_.host.isEmpty())
        << "No MySQL test server: KELDARA_MYSQL_HOST, KELDARA_MYSQL_PORT, KELDARA_MYSQL_USER and "
           "KELDARA_MYSQL_PASSWORD must be set. scripts/test.sh starts one; by hand: eval "
           "\"$(bash scripts/mariadb-server.sh start)\" and export those variables.";
    database_ = scratchDatabaseName();
    try {
        auto admin = dao::openConnection(connectionString(QString()));
        admin->execute(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(database_));
        admin->execute(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4").arg(database_));
        connection_ = dao::openConnection(scratchConnectionString());
    } catch (const dao::DaoError& e) {
        FAIL() << "Cannot prepare the scratch database " << database_.toStdString() << ": "
               << e.description().toStdString();
    }
}

void MySqlTest::TearDown() {
    if (database_.isEmpty()) return;
    connection_.reset();
    try {
        auto admin = dao::openConnection(connectionString(QString()));
        admin->execute(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(database_));
    } catch (const dao::DaoError& e) {
        ADD_FAILURE() << "Cannot drop the scratch database " << database_.toStdString() << ": "
                      << e.description().toStdString();
    }
}

QString MySqlTest::connectionString(const QString& database) const {
    return mySqlConnectionString(server_.host, server_.user, server_.password, server_.port,
                                 database);
}

void MySqlTest::run(const QString& sql) {
    try {
        connection_->execute(sql);
    } catch (const dao::DaoError& e) {
        ADD_FAILURE() << sql.toStdString() << "\n  failed: " << e.description().toStdString();
    }
}

void MySqlTest::run(std::initializer_list<const char*> statements) {
    for (const char* sql : statements) run(QString::fromUtf8(sql));
}

}  // namespace keldara::test

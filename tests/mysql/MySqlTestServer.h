#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QRegularExpression>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

#include "platform/dao/Connection.h"
#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"

namespace keldara::test {

// The connection string of the MySQL ODBC driver, each value braced when it holds ";", "{"
// or "}".
inline QString mySqlConnectionString(const QString& host, const QString& user,
                                     const QString& password, const QString& port,
                                     const QString& database) {
    using dao::braceQuoteIfNeeded;
    return QStringLiteral("DRIVER={MySQL ODBC 3.51 Driver};SERVER=") + braceQuoteIfNeeded(host) +
           QStringLiteral(";UID=") + braceQuoteIfNeeded(user) + QStringLiteral(";PWD=") +
           braceQuoteIfNeeded(password) + QStringLiteral(";PORT=") + braceQuoteIfNeeded(port) +
           QStringLiteral(";DATABASE=") + braceQuoteIfNeeded(database);
}

// The DaoError that `operation` throws; a test failure when it throws none.
inline dao::DaoError errorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const dao::DaoError& e) {
        return e;
    }
    ADD_FAILURE() << "no error";
    return dao::DaoError(0, QString());
}

// Needs the test server of scripts/mariadb-server.sh, as its KELDARA_MYSQL_* variables describe
// it. Each test gets a scratch database of its own (dropped afterwards) and a connection to it.
class MySqlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host_ = qEnvironmentVariable("KELDARA_MYSQL_HOST");
        port_ = qEnvironmentVariable("KELDARA_MYSQL_PORT");
        user_ = qEnvironmentVariable("KELDARA_MYSQL_USER");
        password_ = qEnvironmentVariable("KELDARA_MYSQL_PASSWORD");
        ASSERT_FALSE(host_.isEmpty() || port_.isEmpty() || user_.isEmpty())
            << "No MySQL test server: KELDARA_MYSQL_HOST, _PORT, _USER and _PASSWORD must be set. "
               "scripts/test.sh starts one; by hand: eval \"$(bash scripts/mariadb-server.sh "
               "start)\" and export those variables.";
        static std::atomic<int> counter{0};
        database_ = QStringLiteral("kt_%1_%2_%3")
                        .arg(QCoreApplication::applicationPid())
                        .arg(++counter)
                        .arg(::testing::UnitTest::GetInstance()->current_test_info()->name())
                        .replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_]")), "_")
                        .left(64);
        adminRun(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4"));
        connection_ = dao::openConnection(scratchConnectionString());
    }
    void TearDown() override {
        connection_.reset();
        if (!database_.isEmpty()) adminRun({});
    }

    QString connectionString(const QString& database) const {
        return mySqlConnectionString(host_, user_, password_, port_, database);
    }
    QString scratchConnectionString() const { return connectionString(database_); }
    // Runs statements on the scratch database, failing the test on an error.
    void run(const QString& sql) {
        try {
            connection_->execute(sql);
        } catch (const dao::DaoError& e) {
            ADD_FAILURE() << sql.toStdString() << "\n  failed: " << e.description().toStdString();
        }
    }
    void run(std::initializer_list<const char*> statements) {
        for (const char* sql : statements) run(QString::fromUtf8(sql));
    }

    QString host_, port_, user_, password_;
    QString database_;
    std::unique_ptr<dao::Connection> connection_;  // open on the scratch database

  private:
    // Drops the scratch database, then runs `create` (with the name as %1) when given.
    void adminRun(const QString& create) {
        auto admin = dao::openConnection(connectionString(QString()));
        admin->execute(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(database_));
        if (!create.isEmpty()) admin->execute(create.arg(database_));
    }
};

}  // namespace keldara::test

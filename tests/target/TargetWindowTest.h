#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QList>
#include <QStringList>
#include <memory>

#include "platform/dao/Connection.h"
#include "support/WindowFixture.h"

namespace keldara::test {

// The test server that scripts/mariadb-server.sh starts, as its KELDARA_MYSQL_* variables
// describe it; an empty host when they are not all set.
struct TargetServer {
    QString host;
    QString port;
    QString user;
    QString password;
};
TargetServer targetServerFromEnvironment();

// A port on the loopback on which nothing listens.
QString closedLoopbackPort();

// A name no other test uses: "ktui_", the process, a counter and `tag`.
QString uniqueName(const QString& tag);

// The real main window against the real test server. Fails when no server is given. Scratch
// databases and users made through it are dropped after each test.
class TargetWindowTest : public WindowFixture {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Runs statements as the server's administrator, failing the test on an error.
    void admin(const QString& sql);
    // A fresh database holding the tables the statements create (run inside it).
    QString createDatabase(const QString& tag, const QStringList& statements = {}) {
        return createDatabaseNamed(uniqueName(tag), statements);
    }
    QString createDatabaseNamed(const QString& name, const QStringList& statements = {});
    // A fresh account that may use exactly `databases` (and so sees them and
    // information_schema); its password is "pw;{x}" to go through the connection string.
    QString createUser(const QStringList& databases);
    static QString userPassword() { return QStringLiteral("pw;{x}"); }
    // What "SHOW DATABASES" lists for an account, asked on a connection of the test's own.
    QStringList databasesSeenBy(const QString& user, const QString& password);

    // The user's steps on the "Target Data" page.
    void showTargetPage();
    void typeInto(const char* box, const QString& text);
    void typeServer(const QString& user, const QString& password, const QString& port);
    void typeServerAsAdmin() { typeServer(server.user, server.password, server.port); }
    void clickButton(const char* name);
    // Picks an entry from the drop-down list with the mouse, as a user does.
    void choose(const char* comboName, const QString& entry);
    void chooseTab(int index);

    QStringList items(const char* comboName) const;
    QString statusText() const;
    QString labelText(const char* name) const;
    // Asserts the layout of the disconnected target side.
    void expectDisconnectedLayout();

    TargetServer server;

  private:
    std::unique_ptr<dao::Connection> admin_;
    QStringList databases_;
    QStringList users_;
};

}  // namespace keldara::test

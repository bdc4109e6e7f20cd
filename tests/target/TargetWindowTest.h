#pragma once

#include <QTabWidget>

#include "platform/dao/Value.h"
#include "shell/ui/StatusBar.h"
#include "support/TestServer.h"
#include "support/WindowFixture.h"
#include "target/DBBits.h"

namespace keldara::test {

// The real main window against the test server; connection_ is an admin connection. The
// databases and users a test makes are dropped after it.
class TargetWindowTest : public ScratchDatabaseTest<WindowFixture> {
  protected:
    void TearDown() override {
        window.reset();
        for (const QString& sql : cleanUp_) connection_->execute(sql);
        ScratchDatabaseTest::TearDown();
    }

    // A fresh database holding the tables the statements create (run inside it).
    QString createDatabase(const QString& name, const QStringList& statements = {}) {
        cleanUp_ << QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(name);
        run({QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4").arg(name),
             QStringLiteral("USE `%1`").arg(name)});
        for (const QString& sql : statements) connection_->execute(sql);
        return name;
    }
    // A fresh account that may use exactly `databases` (and information_schema).
    QString createUser(const QStringList& databases, const QString& password,
                       const QString& namePrefix = {}) {
        const QString user = namePrefix + uniqueName("user");
        const QString account = QStringLiteral("'%1'@'%'").arg(dao::escapeSqlText(user));
        cleanUp_.prepend("DROP USER IF EXISTS " + account);
        run({"CREATE USER " + account + " IDENTIFIED BY '" + dao::escapeSqlText(password) + "'"});
        for (QString database : databases)  // "_" is a wildcard in a grant
            run({"GRANT ALL ON `" + database.replace("_", "\\_") + "`.* TO " + account});
        return user;
    }

    void typeInto(const char* box, const QString& text) {
        QLineEdit* edit = textBox(box);
        ASSERT_TRUE(edit->isEnabled()) << box << " is disabled";
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
    void typeServer(const QString& user, const QString& password, const QString& port) {
        control<QTabWidget>("tabTabs")->setCurrentIndex(1);
        typeInto("txtTargetServer", server.host);
        typeInto("txtTargetUsername", user);
        typeInto("txtTargetPassword", password);
        typeInto("txtTargetPort", port);
    }
    void connectAsAdmin() {
        typeServer(server.user, server.password, server.port);
        clickButton("cmdTargetConnect");
    }
    // The progress bar's value and maximum and the status text as each list entry is added.
    std::shared_ptr<QStringList> recordFilling(const char* comboName) {
        auto seen = std::make_shared<QStringList>();
        QObject::connect(
            combo(comboName)->model(), &QAbstractItemModel::rowsInserted, window.get(), [=, this] {
                *seen << step(ws().PB->currentValue(), ws().PB->maximumValue(), statusText());
            });
        return seen;
    }
    static QString step(double value, double maximum, const QString& status) {
        return QStringLiteral("%1/%2 %3").arg(value).arg(maximum).arg(status);
    }
    static QStringList steps(qsizetype maximum, const QString& status) {
        QStringList steps;
        for (qsizetype value = 0; value <= maximum; ++value) steps << step(value, maximum, status);
        return steps;
    }
    QString statusText() const { return window->workspace().SB->panelText(1); }
    bool connected() { return target::MySQLConnectionIsOpen(ws().state); }
    // The server boxes are enabled exactly when disconnected, the database list with a
    // connection; the table list waits for a database.
    void expectLayout(bool connected) {
        EXPECT_NE(button("cmdTargetConnect")->isEnabled(), connected);
        EXPECT_EQ(button("cmdTargetClose")->isEnabled(), connected);
        for (const char* box :
             {"txtTargetServer", "txtTargetUsername", "txtTargetPassword", "txtTargetPort"})
            EXPECT_NE(textBox(box)->isEnabled(), connected) << box;
        EXPECT_EQ(combo("cboTargetDatabase")->isEnabled(), connected);
        EXPECT_FALSE(combo("cboTargetTable")->isEnabled() || button("cmdNewTable")->isEnabled());
    }

    const Server server = testServer();

  private:
    QStringList cleanUp_;  // statements that drop what the test made
};

}  // namespace keldara::test

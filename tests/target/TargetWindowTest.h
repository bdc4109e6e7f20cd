#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <atomic>
#include <memory>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Value.h"
#include "shell/ui/StatusBar.h"
#include "support/WindowFixture.h"
#include "target/DBBits.h"

namespace keldara::test {

// A name no other test uses: "ktui_", the process, a counter and `tag`.
inline QString uniqueName(const QString& tag) {
    static std::atomic<int> counter{0};
    return QStringLiteral("ktui_%1_%2_%3")
        .arg(QCoreApplication::applicationPid())
        .arg(++counter)
        .arg(tag);
}

// What the user sees while a list fills: the progress bar's maximum and value as each entry is
// added, and the status texts in the order they are painted (a repeated text once).
struct FillRecorder : QObject {
    FillRecorder(QComboBox* list, shell::ProgressBar* bar, QLabel* panel) : panel(panel) {
        connect(list->model(), &QAbstractItemModel::rowsInserted, this, [=, this] {
            progress.append({bar->maximumValue(), bar->currentValue()});
        });
        panel->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && (status.isEmpty() || status.last() != panel->text()))
            status << panel->text();
        return false;
    }
    // The steps of a list of `maximum` + 1 entries: the maximum, and values from 0 up to it.
    static QList<QPair<double, double>> steps(qsizetype maximum) {
        QList<QPair<double, double>> steps;
        for (qsizetype value = 0; value <= maximum; ++value) steps.append({maximum, value});
        return steps;
    }
    QLabel* panel;
    QList<QPair<double, double>> progress;
    QStringList status;
};

// The real main window against the real test server (the KELDARA_MYSQL_* variables that
// scripts/mariadb-server.sh prints). Scratch databases and users are dropped after each test.
class TargetWindowTest : public WindowFixture {
  protected:
    void SetUp() override {
        server = {qEnvironmentVariable("KELDARA_MYSQL_HOST"),
                  qEnvironmentVariable("KELDARA_MYSQL_PORT"),
                  qEnvironmentVariable("KELDARA_MYSQL_USER"),
                  qEnvironmentVariable("KELDARA_MYSQL_PASSWORD")};
        ASSERT_FALSE(server.host.isEmpty() || server.port.isEmpty() || server.user.isEmpty() ||
                     server.password.isEmpty())
            << "No MySQL test server: KELDARA_MYSQL_HOST, _PORT, _USER and _PASSWORD must be set "
               "as \"bash scripts/mariadb-server.sh start\" prints them (scripts/test.sh does).";
        admin_ = dao::openConnection(
            target::ConnectionString(server.host, server.user, server.password, {}, server.port));
        WindowFixture::SetUp();
    }
    void TearDown() override {
        WindowFixture::TearDown();
        for (const QString& sql : cleanUp_) admin_->execute(sql);
    }

    // A fresh database holding the tables the statements create (run inside it).
    QString createDatabase(const QString& name, const QStringList& statements = {}) {
        cleanUp_ << QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(name);
        admin_->execute(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4").arg(name));
        admin_->execute(QStringLiteral("USE `%1`").arg(name));
        for (const QString& sql : statements) admin_->execute(sql);
        return name;
    }
    // A fresh account that may use exactly `databases` (and so sees them and
    // information_schema).
    QString createUser(const QStringList& databases, const QString& password,
                       const QString& namePrefix = {}) {
        const QString user = namePrefix + uniqueName(QStringLiteral("user"));
        const QString account = QStringLiteral("'%1'@'%'").arg(dao::escapeSqlText(user));
        cleanUp_.prepend("DROP USER IF EXISTS " + account);
        admin_->execute("CREATE USER " + account + " IDENTIFIED BY '" +
                        dao::escapeSqlText(password) + "'");
        for (const QString& database : databases) {  // "_" is a wildcard in a grant
            admin_->execute(QStringLiteral("GRANT ALL ON `%1`.* TO ")
                                .arg(QString(database).replace("_", "\\_")) +
                            account);
        }
        return user;
    }

    // The user's steps on the "Target Data" page.
    void typeInto(const char* box, const QString& text) {
        QLineEdit* edit = textBox(box);
        ASSERT_TRUE(edit->isEnabled()) << box << " is disabled";
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
        ASSERT_EQ(edit->text(), text);
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
    void clickButton(const char* name) {
        ASSERT_TRUE(button(name)->isEnabled()) << name << " is disabled";
        QTest::mouseClick(button(name), Qt::LeftButton);
    }
    // Picks an entry from the drop-down list with the mouse, as a user does.
    void choose(const char* comboName, const QString& entry) {
        QComboBox* list = combo(comboName);
        ASSERT_TRUE(list->isEnabled()) << comboName << " is disabled";
        const int index = list->findText(entry, Qt::MatchExactly);
        ASSERT_GE(index, 0) << comboName << " has no entry " << entry.toStdString();
        list->showPopup();
        QAbstractItemView* view = list->view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
        const QModelIndex item = view->model()->index(index, 0);
        view->scrollTo(item);
        // The popup ignores a release that follows its opening too closely.
        QTest::qWait(QApplication::doubleClickInterval() / 2 + 50);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
        ASSERT_FALSE(view->isVisible()) << "the drop-down list of " << comboName << " stayed open";
    }

    std::unique_ptr<FillRecorder> recordFilling(const char* comboName) {
        return std::make_unique<FillRecorder>(combo(comboName), ws().PB,
                                              control<QLabel>("SB_panel_1"));
    }
    QStringList items(const char* comboName) const {
        QStringList names;
        for (int i = 0; i < combo(comboName)->count(); ++i) names << combo(comboName)->itemText(i);
        return names;
    }
    QString statusText() const { return window->workspace().SB->panelText(1); }
    bool connected() { return target::MySQLConnectionIsOpen(ws().state); }
    // The server boxes are enabled exactly when disconnected, the database list with a
    // connection; the table list waits for a database.
    void expectLayout(bool connected) {
        EXPECT_NE(button("cmdTargetConnect")->isEnabled(), connected);
        EXPECT_EQ(button("cmdTargetClose")->isEnabled(), connected);
        for (const char* box :
             {"txtTargetServer", "txtTargetUsername", "txtTargetPassword", "txtTargetPort"}) {
            EXPECT_NE(textBox(box)->isEnabled(), connected) << box;
        }
        EXPECT_EQ(combo("cboTargetDatabase")->isEnabled(), connected);
        EXPECT_FALSE(combo("cboTargetTable")->isEnabled());
        EXPECT_FALSE(button("cmdNewTable")->isEnabled());
    }

    struct {
        QString host, port, user, password;
    } server;

  private:
    std::unique_ptr<dao::Connection> admin_;
    QStringList cleanUp_;  // statements that drop what the test made
};

}  // namespace keldara::test

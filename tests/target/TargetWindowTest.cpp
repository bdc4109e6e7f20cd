#include "TargetWindowTest.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <atomic>

#include "platform/dao/DaoError.h"
#include "shell/ui/StatusBar.h"
#include "target/DBBits.h"

namespace keldara::test {

TargetServer targetServerFromEnvironment() {
    TargetServer s{
        qEnvironmentVariable("KELDARA_MYSQL_HOST"), qEnvironmentVariable("KELDARA_MYSQL_PORT"),
        qEnvironmentVariable("KELDARA_MYSQL_USER"), qEnvironmentVariable("KELDARA_MYSQL_PASSWORD")};
    if (s.port.isEmpty() || s.user.isEmpty() || s.password.isEmpty()) s.host.clear();
    return s;
}

QString closedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);  // never listened on: a connect is refused
    return QString::number(ntohs(address.sin_port));
}

QString uniqueName(const QString& tag) {
    static std::atomic<int> counter{0};
    return QStringLiteral("ktui_%1_%2_%3")
        .arg(QCoreApplication::applicationPid())
        .arg(++counter)
        .arg(tag);
}

void TargetWindowTest::SetUp() {
    server = targetServerFromEnvironment();
    ASSERT_FALSE(server.host.isEmpty())
        << "No MySQL test server: KELDARA_MYSQL_HOST, KELDARA_MYSQL_PORT, KELDARA_MYSQL_USER "
           "and KELDARA_MYSQL_PASSWORD must be set. scripts/test.sh starts one; by hand: "
           "eval \"$(bash scripts/mariadb-server.sh start)\" and export those variables.";
    try {
        admin_ = dao::openConnection(
            target::ConnectionString(server.host, server.user, server.password, {}, server.port));
    } catch (const dao::DaoError& error) {
        FAIL() << "Cannot reach the MySQL test server: " << error.description().toStdString();
    }
    WindowFixture::SetUp();
}

void TargetWindowTest::TearDown() {
    WindowFixture::TearDown();
    if (!admin_) return;
    for (const QString& user : users_) {
        try {
            admin_->execute(QStringLiteral("DROP USER IF EXISTS '%1'@'%'").arg(user));
        } catch (const dao::DaoError&) {
        }
    }
    for (const QString& database : databases_) {
        try {
            admin_->execute(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(database));
        } catch (const dao::DaoError&) {
        }
    }
}

void TargetWindowTest::admin(const QString& sql) {
    try {
        admin_->execute(sql);
    } catch (const dao::DaoError& error) {
        FAIL() << sql.toStdString() << ": " << error.description().toStdString();
    }
}

QString TargetWindowTest::createDatabaseNamed(const QString& name, const QStringList& statements) {
    databases_ << name;
    admin(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4").arg(name));
    admin(QStringLiteral("USE `%1`").arg(name));
    for (const QString& sql : statements) admin(sql);
    return name;
}

QString TargetWindowTest::createUser(const QStringList& databases) {
    const QString user =
        QStringLiteral("ktu_%1_%2").arg(QCoreApplication::applicationPid()).arg(users_.size() + 1);
    users_ << user;
    admin(QStringLiteral("CREATE USER '%1'@'%' IDENTIFIED BY '%2'").arg(user, userPassword()));
    for (QString database : databases) {
        // "_" and "%" are wildcards in a grant's database name.
        database.replace(QLatin1String("_"), QLatin1String("\\_"));
        admin(QStringLiteral("GRANT ALL ON `%1`.* TO '%2'@'%'").arg(database, user));
    }
    return user;
}

QStringList TargetWindowTest::databasesSeenBy(const QString& user, const QString& password) {
    QStringList names;
    try {
        auto connection = dao::openConnection(
            target::ConnectionString(server.host, user, password, {}, server.port));
        auto rs = connection->openRecordset(QStringLiteral("SHOW DATABASES"));
        for (long row = 0; row < rs->recordCount(); ++row) {
            names << rs->valueAt(row, 0).standardText();
        }
    } catch (const dao::DaoError& error) {
        ADD_FAILURE() << error.description().toStdString();
    }
    return names;
}

void TargetWindowTest::showTargetPage() {
    control<QTabWidget>("tabTabs")->setCurrentIndex(1);
    QCoreApplication::processEvents();
}

void TargetWindowTest::typeInto(const char* box, const QString& text) {
    QLineEdit* edit = textBox(box);
    ASSERT_TRUE(edit->isEnabled()) << box << " is disabled";
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Backspace);
    } else {
        QTest::keyClicks(edit, text);
    }
    ASSERT_EQ(edit->text(), text);
}

void TargetWindowTest::typeServer(const QString& user, const QString& password,
                                  const QString& port) {
    showTargetPage();
    typeInto("txtTargetServer", server.host);
    typeInto("txtTargetUsername", user);
    typeInto("txtTargetPassword", password);
    typeInto("txtTargetPort", port);
}

void TargetWindowTest::clickButton(const char* name) {
    QPushButton* b = button(name);
    ASSERT_TRUE(b->isEnabled()) << name << " is disabled";
    QTest::mouseClick(b, Qt::LeftButton);
}

void TargetWindowTest::choose(const char* comboName, const QString& entry) {
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

void TargetWindowTest::chooseTab(int index) {
    auto* tabs = control<QTabBar>("tsMySQL");
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
    ASSERT_EQ(tabs->currentIndex(), index);
}

QStringList TargetWindowTest::items(const char* comboName) const {
    QComboBox* list = combo(comboName);
    QStringList names;
    for (int i = 0; i < list->count(); ++i) names << list->itemText(i);
    return names;
}

QString TargetWindowTest::statusText() const {
    return window->workspace().SB->panelText(1);
}

QString TargetWindowTest::labelText(const char* name) const {
    return control<QLabel>(name)->text();
}

void TargetWindowTest::expectDisconnectedLayout() {
    EXPECT_TRUE(button("cmdTargetConnect")->isEnabled());
    EXPECT_EQ(button("cmdTargetConnect")->text(), "Connect");
    EXPECT_FALSE(button("cmdTargetClose")->isEnabled());
    for (const char* box :
         {"txtTargetServer", "txtTargetUsername", "txtTargetPassword", "txtTargetPort"}) {
        EXPECT_TRUE(textBox(box)->isEnabled()) << box;
    }
    EXPECT_FALSE(combo("cboTargetDatabase")->isEnabled());
    EXPECT_FALSE(combo("cboTargetTable")->isEnabled());
    EXPECT_FALSE(button("cmdNewTable")->isEnabled());
}

}  // namespace keldara::test

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "TargetWindowTest.h"
#include "target/DBBits.h"
#include "target/ui/TargetPanel.h"

namespace keldara::test {
namespace {

// A port on the loopback on which nothing listens: bound, then closed without listening.
QString closedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return QString::number(ntohs(address.sin_port));
}

using ConnectTest = TargetWindowTest;

TEST_F(ConnectTest, ConnectIsEnabledExactlyWhenEveryFieldIsFilled) {
    showTargetPage();
    EXPECT_EQ(textBox("txtTargetPort")->text(), "3306");
    EXPECT_FALSE(button("cmdTargetConnect")->isEnabled());
    typeInto("txtTargetServer", "db");
    typeInto("txtTargetUsername", "me");
    typeInto("txtTargetPassword", "pw");
    EXPECT_TRUE(button("cmdTargetConnect")->isEnabled());

    for (const char* box :
         {"txtTargetServer", "txtTargetUsername", "txtTargetPassword", "txtTargetPort"}) {
        const QString before = textBox(box)->text();
        typeInto(box, "");
        EXPECT_FALSE(button("cmdTargetConnect")->isEnabled()) << box << " emptied";
        typeInto(box, " ");  // blanks count as filled
        EXPECT_TRUE(button("cmdTargetConnect")->isEnabled()) << box << " holding a blank";
        typeInto(box, before);
        EXPECT_TRUE(button("cmdTargetConnect")->isEnabled()) << box << " refilled";
    }
}

// An account sees the databases granted to it and information_schema: five, then one.
TEST_F(ConnectTest, DatabasesAreListedWithAProgressStepForEach) {
    QStringList granted;
    for (int i = 1; i <= 4; ++i)
        granted << createDatabase(uniqueName(QStringLiteral("five%1").arg(i)));
    for (const QStringList& databases : {granted, QStringList()}) {
        SCOPED_TRACE(databases.size() + 1);
        const QString user = createUser(databases);
        const QStringList seen = databasesSeenBy(user);
        ASSERT_EQ(seen.size(), databases.size() + 1) << seen.join(",").toStdString();

        typeServer(user, userPassword, server.port);
        const auto filling = recordFilling("cboTargetDatabase");
        clickButton("cmdTargetConnect");

        EXPECT_EQ(items("cboTargetDatabase"), seen);
        EXPECT_EQ(filling->progress, progressSteps(databases.size()));
        EXPECT_EQ(ws().PB->maximumValue(), databases.size());
        EXPECT_EQ(ws().PB->currentValue(), databases.size());
        EXPECT_EQ(filling->status,
                  QStringList({"Connecting to " + server.host, "Fetching Database List",
                               "Connected To Target Server"}));
        EXPECT_EQ(combo("cboTargetDatabase")->currentText(), "{Select Database}");
        EXPECT_EQ(combo("cboTargetDatabase")->currentIndex(), -1);
        EXPECT_EQ(combo("cboTargetTable")->currentText(), "{Select Database}");
        expectLayout(true);
        EXPECT_TRUE(target::MySQLConnectionIsOpen(ws().state));
        EXPECT_TRUE(doubles.messages.shown.isEmpty());
        clickButton("cmdTargetClose");
    }
}

TEST_F(ConnectTest, ADatabaseNameWithACommaIsListedAsTwoEntries) {
    const QString first = uniqueName("comma");
    const QString name = createDatabase(first + ",second");
    const QString user = createUser({name});
    const QStringList seen = databasesSeenBy(user);
    ASSERT_TRUE(seen.contains(name));

    typeServer(user, userPassword, server.port);
    clickButton("cmdTargetConnect");
    const QStringList listed = items("cboTargetDatabase");
    EXPECT_EQ(listed.size(), seen.size() + 1);
    EXPECT_EQ(listed.mid(listed.indexOf(first), 2), QStringList({first, "second"}));

    // Neither half names a database: the table list stays empty and the reconnect fails.
    choose("cboTargetDatabase", "second");
    EXPECT_EQ(combo("cboTargetTable")->count(), 0);
    EXPECT_EQ(combo("cboTargetTable")->currentText(), "{Select Table}");
    EXPECT_TRUE(combo("cboTargetTable")->isEnabled());
    EXPECT_EQ(statusText(), "Loaded Tables List for second");
    EXPECT_FALSE(target::MySQLConnectionIsOpen(ws().state));
    window->target()->LoadDataTarget("anything");
    EXPECT_FALSE(ws().state.bTargetLoaded);
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

// Blanks at either end, a leading quote, separators and braces reach the server as typed.
TEST_F(ConnectTest, AccountsConnectWithNamesAndPasswordsExactlyAsTyped) {
    const std::pair<QString, QString> accounts[] = {
        {"", " pw "}, {"", "\"abc"}, {"", "\"a\";b"}, {" ", "{x}} ;y"}, {"\"", "pw "}};
    for (const auto& [namePrefix, password] : accounts) {
        SCOPED_TRACE(password.toStdString());
        const QString user = createUser({}, password, namePrefix);
        typeServer(user, password, server.port);
        clickButton("cmdTargetConnect");
        ASSERT_TRUE(target::MySQLConnectionIsOpen(ws().state));
        EXPECT_EQ(items("cboTargetDatabase"), QStringList{"information_schema"});
        clickButton("cmdTargetClose");
    }
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

// A wrong password or a closed port falls back to the disconnected layout without a
// message; then the right details connect, again after every Close.
TEST_F(ConnectTest, FailedConnectsFallBackAndCloseThenConnectRepeats) {
    const QString database = createDatabase(uniqueName("again"));
    window->target()->CloseMySQL();  // at unload nothing need be open
    expectLayout(false);
    const std::pair<QString, QString> failing[] = {{server.password + "x", server.port},
                                                   {server.password, closedLoopbackPort()}};
    for (const auto& [password, port] : failing) {
        SCOPED_TRACE(port.toStdString());
        typeServer(server.user, password, port);
        clickButton("cmdTargetConnect");
        expectLayout(false);
        EXPECT_EQ(statusText(), "Connecting to " + server.host);
        EXPECT_EQ(combo("cboTargetDatabase")->currentText(), "Fetching Databases");
        EXPECT_EQ(combo("cboTargetDatabase")->count(), 0);
        EXPECT_FALSE(target::MySQLConnectionIsOpen(ws().state));
    }
    typeServer(server.user, server.password, server.port);
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        clickButton("cmdTargetConnect");
        ASSERT_TRUE(target::MySQLConnectionIsOpen(ws().state));
        EXPECT_TRUE(items("cboTargetDatabase").contains(database));
        EXPECT_EQ(statusText(), "Connected To Target Server");

        clickButton("cmdTargetClose");
        expectLayout(false);
        EXPECT_EQ(ws().state.gMySQLConnection, nullptr);
        EXPECT_EQ(ws().state.gMySQLRecordset, nullptr);
        EXPECT_FALSE(ws().state.bTargetLoaded);
        EXPECT_TRUE(items("cboTargetDatabase").contains(database));  // the list stays
    }
    clickButton("cmdTargetConnect");
    ASSERT_TRUE(target::MySQLConnectionIsOpen(ws().state));
    window->close();
    EXPECT_EQ(ws().state.gMySQLConnection, nullptr);
    EXPECT_FALSE(ws().state.bTargetLoaded);
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

}  // namespace
}  // namespace keldara::test

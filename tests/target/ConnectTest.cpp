#include <QTest>

#include "Recorders.h"
#include "TargetWindowTest.h"
#include "target/DBBits.h"
#include "target/ui/TargetPanel.h"

namespace keldara::test {
namespace {

using ConnectTest = TargetWindowTest;

TEST_F(ConnectTest, ConnectIsEnabledExactlyWhenEveryFieldIsFilled) {
    showTargetPage();
    EXPECT_EQ(textBox("txtTargetPort")->text(), "3306");
    EXPECT_FALSE(button("cmdTargetConnect")->isEnabled());
    typeInto("txtTargetServer", "db");
    typeInto("txtTargetUsername", "me");
    EXPECT_FALSE(button("cmdTargetConnect")->isEnabled());
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

TEST_F(ConnectTest, FiveDatabasesAreListedWithProgressFromZeroToFour) {
    QStringList granted;
    for (int i = 1; i <= 4; ++i) granted << createDatabase(QStringLiteral("five%1").arg(i));
    const QString user = createUser(granted);
    const QStringList seen = databasesSeenBy(user, userPassword());
    ASSERT_EQ(seen.size(), 5) << seen.join(",").toStdString();

    typeServer(user, userPassword(), server.port);
    ProgressRecorder progress(combo("cboTargetDatabase"), ws().PB);
    StatusRecorder status(control<QLabel>("SB_panel_1"));
    clickButton("cmdTargetConnect");

    EXPECT_EQ(items("cboTargetDatabase"), seen);
    EXPECT_EQ(progress.steps, progressSteps(4));
    EXPECT_EQ(ws().PB->maximumValue(), 4);
    EXPECT_EQ(ws().PB->currentValue(), 4);
    EXPECT_EQ(status.texts, QStringList({"Connecting to " + server.host, "Fetching Database List",
                                         "Connected To Target Server"}));
    EXPECT_EQ(combo("cboTargetDatabase")->currentText(), "{Select Database}");
    EXPECT_EQ(combo("cboTargetDatabase")->currentIndex(), -1);
    EXPECT_EQ(combo("cboTargetTable")->currentText(), "{Select Database}");

    EXPECT_FALSE(button("cmdTargetConnect")->isEnabled());
    EXPECT_EQ(button("cmdTargetConnect")->text(), "Connect");
    EXPECT_TRUE(button("cmdTargetClose")->isEnabled());
    for (const char* box :
         {"txtTargetServer", "txtTargetUsername", "txtTargetPassword", "txtTargetPort"}) {
        EXPECT_FALSE(textBox(box)->isEnabled()) << box;
    }
    EXPECT_TRUE(combo("cboTargetDatabase")->isEnabled());
    EXPECT_FALSE(combo("cboTargetTable")->isEnabled());
    EXPECT_TRUE(target::MySQLConnectionIsOpen(ws().state));
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

TEST_F(ConnectTest, OneDatabaseSetsAProgressMaximumOfZero) {
    const QString user = createUser({});
    const QStringList seen = databasesSeenBy(user, userPassword());
    ASSERT_EQ(seen.size(), 1) << seen.join(",").toStdString();

    typeServer(user, userPassword(), server.port);
    ProgressRecorder progress(combo("cboTargetDatabase"), ws().PB);
    clickButton("cmdTargetConnect");

    EXPECT_EQ(items("cboTargetDatabase"), seen);
    EXPECT_EQ(progress.steps, progressSteps(0));
    EXPECT_EQ(statusText(), "Connected To Target Server");
}

TEST_F(ConnectTest, AFailedConnectFallsBackToTheDisconnectedLayoutWithoutAMessage) {
    struct Attempt {
        const char* what;
        QString password;
        QString port;
    };
    const Attempt attempts[] = {
        {"wrong password", server.password + "x", server.port},
        {"closed port", server.password, closedLoopbackPort()},
    };
    for (const Attempt& attempt : attempts) {
        SCOPED_TRACE(attempt.what);
        typeServer(server.user, attempt.password, attempt.port);
        clickButton("cmdTargetConnect");

        expectDisconnectedLayout();
        EXPECT_EQ(statusText(), "Connecting to " + server.host);
        EXPECT_EQ(combo("cboTargetDatabase")->currentText(), "Fetching Databases");
        EXPECT_EQ(combo("cboTargetDatabase")->count(), 0);
        EXPECT_FALSE(target::MySQLConnectionIsOpen(ws().state));
        EXPECT_TRUE(doubles.messages.shown.isEmpty());
    }
}

TEST_F(ConnectTest, ADatabaseNameWithACommaIsListedAsTwoEntries) {
    const QString first = uniqueName("comma");
    const QString name = createDatabaseNamed(first + ",second");
    const QString user = createUser({name});
    const QStringList seen = databasesSeenBy(user, userPassword());
    ASSERT_TRUE(seen.contains(name));

    typeServer(user, userPassword(), server.port);
    clickButton("cmdTargetConnect");
    const QStringList listed = items("cboTargetDatabase");
    EXPECT_EQ(listed.size(), seen.size() + 1);
    const qsizetype at = listed.indexOf(first);
    ASSERT_GE(at, 0);
    ASSERT_LT(at + 1, listed.size());
    EXPECT_EQ(listed[at + 1], "second");

    // Neither half names a database: the table list stays empty and the reconnect fails.
    choose("cboTargetDatabase", "second");
    EXPECT_EQ(combo("cboTargetTable")->count(), 0);
    EXPECT_EQ(combo("cboTargetTable")->currentText(), "{Select Table}");
    EXPECT_TRUE(combo("cboTargetTable")->isEnabled());
    EXPECT_EQ(statusText(), "Loaded Tables List for second");
    EXPECT_FALSE(target::MySQLConnectionIsOpen(ws().state));
    ws().target->LoadDataTarget("anything");
    EXPECT_FALSE(ws().state.bTargetLoaded);
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

TEST_F(ConnectTest, CloseThenConnectWorksRepeatedly) {
    const QString database = createDatabase("again");
    ws().target->CloseMySQL();  // at unload nothing need be open
    expectDisconnectedLayout();
    typeServerAsAdmin();
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        clickButton("cmdTargetConnect");
        ASSERT_TRUE(target::MySQLConnectionIsOpen(ws().state));
        EXPECT_TRUE(items("cboTargetDatabase").contains(database));
        EXPECT_EQ(statusText(), "Connected To Target Server");

        clickButton("cmdTargetClose");
        expectDisconnectedLayout();
        EXPECT_EQ(ws().state.gMySQLConnection, nullptr);
        EXPECT_EQ(ws().state.gMySQLRecordset, nullptr);
        EXPECT_FALSE(ws().state.bTargetLoaded);
        EXPECT_TRUE(items("cboTargetDatabase").contains(database));  // the list stays
    }
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

TEST_F(ConnectTest, ClosingTheWindowClosesTheConnection) {
    typeServerAsAdmin();
    clickButton("cmdTargetConnect");
    ASSERT_TRUE(target::MySQLConnectionIsOpen(ws().state));
    window->close();
    EXPECT_EQ(ws().state.gMySQLConnection, nullptr);
    EXPECT_FALSE(ws().state.bTargetLoaded);
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

}  // namespace
}  // namespace keldara::test

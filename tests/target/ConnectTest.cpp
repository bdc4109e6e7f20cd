#include "TargetWindowTest.h"
#include "target/ui/TargetPanel.h"

namespace keldara::test {
namespace {

using ConnectTest = TargetWindowTest;

TEST_F(ConnectTest, ConnectIsEnabledExactlyWhenEveryFieldIsFilled) {
    typeServer("me", "pw", "3306");
    EXPECT_TRUE(button("cmdTargetConnect")->isEnabled());
    for (const char* box :
         {"txtTargetServer", "txtTargetUsername", "txtTargetPassword", "txtTargetPort"}) {
        const QString before = textBox(box)->text();
        typeInto(box, "");
        EXPECT_FALSE(button("cmdTargetConnect")->isEnabled()) << box << " emptied";
        typeInto(box, " ");  // blanks count as filled
        EXPECT_TRUE(button("cmdTargetConnect")->isEnabled()) << box << " holding a blank";
        typeInto(box, before);
    }
}

// An account sees the databases granted to it and information_schema, a progress step for
// each; names and passwords with blanks at either end, quotes, separators and braces reach the
// server as typed.
TEST_F(ConnectTest, DatabasesAreListedWithAProgressStepForEach) {
    QStringList granted;
    for (const char* tag : {"g1", "g2", "g3", "g4"}) granted << createDatabase(uniqueName(tag));
    granted.sort();
    const struct {
        QStringList databases;
        QString namePrefix, password;
    } accounts[] = {{granted, "", " pw "},
                    {{}, "", "\"abc"},
                    {{}, "", "\"a\";b"},
                    {{}, " ", "{x}} ;y"},
                    {{}, "\"", "pw "}};
    for (const auto& [databases, namePrefix, password] : accounts) {
        SCOPED_TRACE(password.toStdString());
        typeServer(createUser(databases, password, namePrefix), password, server.port);
        const auto filling = recordFilling("cboTargetDatabase");
        clickButton("cmdTargetConnect");

        ASSERT_TRUE(connected());
        EXPECT_EQ(items("cboTargetDatabase"), QStringList{"information_schema"} + databases);
        EXPECT_EQ(filling->progress, FillRecorder::steps(databases.size()));
        EXPECT_EQ(filling->status,
                  QStringList({"Connecting to " + server.host, "Fetching Database List",
                               "Connected To Target Server"}));
        EXPECT_EQ(combo("cboTargetDatabase")->currentText(), "{Select Database}");
        EXPECT_EQ(combo("cboTargetDatabase")->currentIndex(), -1);
        EXPECT_EQ(combo("cboTargetTable")->currentText(), "{Select Database}");
        expectLayout(true);
        EXPECT_TRUE(doubles.messages.shown.isEmpty());
        clickButton("cmdTargetClose");
    }
}

TEST_F(ConnectTest, ADatabaseNameWithACommaIsListedAsTwoEntries) {
    const QString first = uniqueName("comma");
    typeServer(createUser({createDatabase(first + ",second")}, "pw"), "pw", server.port);
    clickButton("cmdTargetConnect");
    EXPECT_EQ(items("cboTargetDatabase"), QStringList({"information_schema", first, "second"}));

    // Neither half names a database: the table list stays empty and the reconnect fails.
    choose("cboTargetDatabase", "second");
    EXPECT_EQ(combo("cboTargetTable")->count(), 0);
    EXPECT_EQ(combo("cboTargetTable")->currentText(), "{Select Table}");
    EXPECT_TRUE(combo("cboTargetTable")->isEnabled());
    EXPECT_EQ(statusText(), "Loaded Tables List for second");
    EXPECT_FALSE(connected());
    window->target()->LoadDataTarget("anything");
    EXPECT_FALSE(ws().state.bTargetLoaded);
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

// A wrong password or a closed port falls back to the disconnected layout without a
// message; then the right details connect, again after every Close.
TEST_F(ConnectTest, FailedConnectsFallBackAndCloseThenConnectRepeats) {
    const QString database = createDatabase(uniqueName("again"));
    window->target()->CloseMySQL();  // at unload nothing need be open
    expectLayout(false);
    const std::pair<QString, QString> failing[] = {
        {server.password + "x", server.port}, {server.password, "1"}};  // on port 1 nothing listens
    for (const auto& [password, port] : failing) {
        SCOPED_TRACE(port.toStdString());
        typeServer(server.user, password, port);
        clickButton("cmdTargetConnect");
        expectLayout(false);
        EXPECT_EQ(statusText(), "Connecting to " + server.host);
        EXPECT_EQ(combo("cboTargetDatabase")->currentText(), "Fetching Databases");
        EXPECT_EQ(combo("cboTargetDatabase")->count(), 0);
        EXPECT_FALSE(connected());
    }
    typeServer(server.user, server.password, server.port);
    clickButton("cmdTargetConnect");
    ASSERT_TRUE(connected());
    EXPECT_TRUE(items("cboTargetDatabase").contains(database));
    choose("cboTargetDatabase", database);
    clickButton("cmdTargetClose");
    expectLayout(false);
    EXPECT_EQ(ws().state.gMySQLConnection, nullptr);
    EXPECT_EQ(ws().state.gMySQLRecordset, nullptr);
    EXPECT_TRUE(items("cboTargetDatabase").contains(database));  // the list stays
    clickButton("cmdTargetConnect");
    ASSERT_TRUE(connected());
    window->close();
    EXPECT_EQ(ws().state.gMySQLConnection, nullptr);
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

}  // namespace
}  // namespace keldara::test

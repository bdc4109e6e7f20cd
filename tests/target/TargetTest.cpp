#include <QCheckBox>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>

#include "TargetWindowTest.h"
#include "mapping/ui/MappingPage.h"
#include "profiles/ProfileFile.h"
#include "profiles/ui/ProfileCommands.h"
#include "support/Files.h"
#include "target/ui/TargetPanel.h"

namespace keldara::test {
namespace {

using ConnectTest = TargetWindowTest;

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
    } accounts[] = {
        {granted, "", " pw "}, {{}, "", "\"a\";b"}, {{}, " ", "{x}} ;y"}, {{}, "\"", "pw "}};
    for (const auto& [databases, namePrefix, password] : accounts) {
        SCOPED_TRACE(password.toStdString());
        typeServer(createUser(databases, password, namePrefix), password, server.port);
        const auto filling = recordFilling("cboTargetDatabase");
        clickButton("cmdTargetConnect");

        ASSERT_TRUE(connected());
        EXPECT_EQ(items("cboTargetDatabase"), QStringList{"information_schema"} + databases);
        EXPECT_EQ(*filling, steps(databases.size(), "Fetching Database List"));
        EXPECT_EQ(statusText(), "Connected To Target Server");
        EXPECT_EQ(combo("cboTargetDatabase")->currentText(), "{Select Database}");
        EXPECT_EQ(combo("cboTargetTable")->currentText(), "{Select Database}");
        expectLayout(true);
        clickButton("cmdTargetClose");
    }
}

// A name with a comma is listed as two entries, neither a database one can load.
TEST_F(ConnectTest, ADatabaseNameWithACommaIsListedAsTwoEntries) {
    const QString first = uniqueName("comma");
    typeServer(createUser({createDatabase(first + ",second")}, "pw"), "pw", server.port);
    clickButton("cmdTargetConnect");
    EXPECT_EQ(items("cboTargetDatabase"), QStringList({"information_schema", first, "second"}));
    choose("cboTargetDatabase", "second");
    EXPECT_EQ(combo("cboTargetTable")->count(), 0);
    EXPECT_FALSE(connected());
    window->target()->LoadDataTarget("anything");
    EXPECT_FALSE(ws().state.bTargetLoaded);
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

// Connect waits for every box to be filled (a blank counts). A wrong password or a closed port
// falls back to the disconnected layout without a message; then the right details connect,
// again after every Close.
TEST_F(ConnectTest, FailedConnectsFallBackAndCloseThenConnectRepeats) {
    const QString database = createDatabase(uniqueName("again"));
    window->target()->CloseMySQL();  // at unload nothing need be open
    expectLayout(false);
    typeServer("me", "pw", "3306");
    for (const char* box :
         {"txtTargetServer", "txtTargetUsername", "txtTargetPassword", "txtTargetPort"}) {
        typeInto(box, "");
        EXPECT_FALSE(button("cmdTargetConnect")->isEnabled()) << box << " emptied";
        typeInto(box, " ");
        EXPECT_TRUE(button("cmdTargetConnect")->isEnabled()) << box << " holding a blank";
    }
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
    EXPECT_TRUE(ws().state.gMySQLConnection == nullptr && ws().state.gMySQLRecordset == nullptr);
    EXPECT_TRUE(items("cboTargetDatabase").contains(database));  // the list stays
    clickButton("cmdTargetConnect");
    ASSERT_TRUE(connected());
    window->close();
    EXPECT_EQ(ws().state.gMySQLConnection, nullptr);
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

// The MySQL password is masked, as the source file's is, except while "Show" is ticked.
TEST_F(ConnectTest, ThePasswordShowsOnlyWhileShowIsTicked) {
    typeServer(server.user, "my secret", server.port);
    QLineEdit* password = textBox("txtTargetPassword");
    auto* show = control<QCheckBox>("chkShowPassword");
    for (const bool shown : {false, true, false}) {
        if (show->isChecked() != shown) QTest::mouseClick(show, Qt::LeftButton);
        EXPECT_EQ(password->displayText() == "my secret", shown) << shown;
        EXPECT_FALSE(password->displayText().isEmpty());
    }
    EXPECT_EQ(password->text(), "my secret");
}

using TablesTest = TargetWindowTest;

// The database's connection keeps the port typed (the test server's is not 3306).
TEST_F(TablesTest, ChoosingADatabaseListsItsTablesOnTheSamePort) {
    ASSERT_NE(server.port, "3306");
    const std::pair<QString, QStringList> databases[] = {
        {createDatabase(uniqueName("three"),
                        {"CREATE TABLE beta (id INT)", "CREATE TABLE alpha (id INT)",
                         "CREATE TABLE gamma (id INT)"}),
         {"alpha", "beta", "gamma"}},
        {createDatabase(uniqueName("empty")), {}},
    };
    connectAsAdmin();
    for (const auto& [database, tables] : databases) {
        SCOPED_TRACE(database.toStdString());
        const auto filling = recordFilling("cboTargetTable");
        choose("cboTargetDatabase", database);
        EXPECT_EQ(items("cboTargetTable"), tables);
        EXPECT_EQ(*filling, steps(tables.size() - 1, "Loading Tables for " + database));
        EXPECT_EQ(statusText(), "Loaded Tables List for " + database);
        EXPECT_EQ(combo("cboTargetTable")->currentText(), "{Select Table}");
        EXPECT_TRUE(combo("cboTargetTable")->isEnabled() && button("cmdNewTable")->isEnabled());
        auto rs = ws().state.gMySQLConnection->openRecordset("SELECT @@port, DATABASE()");
        EXPECT_EQ(rs->valueAt(0, 0).standardText() + rs->valueAt(0, 1).standardText(),
                  server.port + database);
    }
    EXPECT_TRUE(doubles.messages.shown.isEmpty());

    // The tab strip swaps the table list for the "New Table" button.
    const auto visible = [&] {
        return QList<bool>{combo("cboTargetTable")->isVisible(),
                           control("lblMySQLTable")->isVisible(),
                           button("cmdNewTable")->isVisible()};
    };
    auto* tabs = control<QTabBar>("tsMySQL");
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(visible(), QList<bool>({false, false, true}));
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    EXPECT_EQ(visible(), QList<bool>({true, true, false}));
}

// A table shows its rows and builds the field lists (the mapping test follows the mapping
// rows); a name with a blank loads as any other. A table dropped since it was listed fails
// with the message and its line; the lists keep the table that loaded last. Close keeps what
// is shown.
TEST_F(TablesTest, ChoosingATableShowsItsRowsAndBuildsTheFieldLists) {
    const QString database =
        createDatabase(uniqueName("people"),
                       {"CREATE TABLE people (id INT, name VARCHAR(40), joined DATE)",
                        "INSERT INTO people VALUES (1, 'Ann', '2020-01-02'), "
                        "(2, 'Søren; {x}', NULL), (3, NULL, '1999-12-31')",
                        "CREATE TABLE nothing (code CHAR(3), amount DECIMAL(9,2))",
                        "CREATE TABLE `order lines` (id INT)", "CREATE TABLE gone (id INT)"});
    const struct {
        QString table;
        QStringList names;
        QList<int> types;
        int records;  // none when the table cannot be loaded
    } cases[] = {
        {"nothing", {"", "code", "amount"}, {0, 129, 131}, 0},
        {"order lines", {"", "id"}, {0, 3}, 0},
        {"gone", {"", "id"}, {0, 3}, -1},
        {"people", {"", "id", "name", "joined"}, {0, 3, 200, 133}, 3},
    };
    connectAsAdmin();
    choose("cboTargetDatabase", database);
    run({"DROP TABLE gone"});
    QAbstractItemModel* grid = control<QTableView>("grdTargetData")->model();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table.toStdString());
        doubles.messages.shown.clear();
        choose("cboTargetTable", c.table);
        EXPECT_EQ(ws().state.gTargetFieldNames, c.names);
        EXPECT_EQ(ws().state.gTargetFieldTypes, c.types);
        EXPECT_EQ(ws().state.bTargetLoaded, c.records >= 0);
        if (c.records < 0) {
            ASSERT_EQ(doubles.messages.shown.size(), 1);
            const QString text = doubles.messages.shown.first().text;
            EXPECT_TRUE(text.startsWith(
                            "An Error occured in [frmMain] (Sub) LoadDataTarget : Line 230 - ") &&
                        text.contains("doesn't exist"))
                << text.toStdString();
            continue;
        }
        EXPECT_TRUE(doubles.messages.shown.isEmpty());
        EXPECT_EQ(label("lblTargetInfoData_0"), QString::number(c.records));
        EXPECT_EQ(grid->rowCount(), c.records);
        EXPECT_EQ(grid->columnCount(), c.names.size() - 1);
        EXPECT_TRUE(button("cmdMatchNow")->isEnabled());
    }
    EXPECT_TRUE(control("grdTargetData")->isEnabled());
    EXPECT_EQ(label("grdTargetData_caption"), server.host + "-> " + database + "-> people");
    EXPECT_EQ(grid->index(1, 1).data().toString(), "Søren; {x}");
    EXPECT_EQ(grid->index(2, 1).data().toString(), "");

    clickButton("cmdTargetClose");
    EXPECT_FALSE(ws().state.bTargetLoaded);
    EXPECT_EQ(grid->rowCount(), 3);
    EXPECT_EQ(ws().state.gTargetFieldNames.size(), 4);
    EXPECT_FALSE(button("cmdMatchNow")->isEnabled());
}

// "Connect" loads the database and table a profile names; another profile on the same server
// loads its own table, and one naming a table the server lacks, or another server, leaves no
// table loaded for "Perform Action" to write into.
TEST_F(TablesTest, AProfilesTargetIsLoadedAndNeverLeftStale) {
    QTemporaryDir folder;
    const QString database =
        createDatabase(uniqueName("profile"),
                       {"CREATE TABLE `One` (a INT)", "CREATE TABLE `Two 2` (b INT, c INT)"});
    const QString csv = writeFile(folder.filePath("s.csv"), "a\n1\n");
    const auto open = [&](const QString& table, const QString& port) {
        const profiles::Profile profile{
            csv, "s.csv", server.host, server.user, server.password, database, table, port};
        const QString path = folder.filePath("p.pro");
        ASSERT_TRUE(profiles::WriteProfile(
            path, *profiles::recordFromProfile(profile, QDateTime::currentDateTime())));
        window->profiles()->openProfile(path);
    };
    const auto loaded = [&] {
        return ws().state.bTargetLoaded ? ws().state.gTargetTableName : QString("(none)");
    };
    open("One", server.port);
    clickButton("cmdSourceConnect");
    clickButton("cmdTargetConnect");
    EXPECT_EQ(combo("cboTargetDatabase")->currentText(), database);
    EXPECT_EQ(loaded(), "One");
    EXPECT_EQ(ws().state.gTargetFieldNames, (QStringList{"", "a"}));
    choose("cboAction", "Insert Target Data to Source Table");
    EXPECT_TRUE(button("cmdActionGo")->isEnabled());

    open("Two 2", server.port);
    EXPECT_EQ(loaded(), "Two 2");
    EXPECT_EQ(ws().state.gTargetFieldNames, (QStringList{"", "b", "c"}));
    open("Missing", server.port);
    EXPECT_EQ(loaded(), "(none)");
    EXPECT_FALSE(button("cmdActionGo")->isEnabled());
    open("One", server.port);
    EXPECT_EQ(loaded(), "One");
    open("One", "1");
    EXPECT_EQ(loaded(), "(none)");
    EXPECT_FALSE(connected());
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

}  // namespace
}  // namespace keldara::test

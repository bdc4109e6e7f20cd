#include <QTabBar>
#include <QTableView>

#include "TargetWindowTest.h"
#include "mapping/ui/MappingPage.h"
#include "target/ui/TargetPanel.h"

namespace keldara::test {
namespace {

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
        EXPECT_EQ(filling->progress, FillRecorder::steps(tables.size() - 1));
        EXPECT_EQ(filling->status, QStringList({"Loading Tables for " + database,
                                                "Loaded Tables List for " + database}));
        EXPECT_EQ(combo("cboTargetTable")->currentText(), "{Select Table}");
        EXPECT_TRUE(combo("cboTargetTable")->isEnabled() && button("cmdNewTable")->isEnabled());
        auto rs = ws().state.gMySQLConnection->openRecordset("SELECT @@port, DATABASE()");
        EXPECT_EQ(rs->valueAt(0, 0).standardText() + rs->valueAt(0, 1).standardText(),
                  server.port + database);
    }
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

// A table shows its rows and builds the field lists, and the target side of every mapping row
// is cleared. A name that needs quoting fails with the message and its line; the lists keep
// the table that loaded last. Close keeps what is shown.
TEST_F(TablesTest, ChoosingATableShowsItsRowsAndBuildsTheFieldLists) {
    const QString database = createDatabase(
        uniqueName("people"), {"CREATE TABLE people (id INT, name VARCHAR(40), joined DATE)",
                               "INSERT INTO people VALUES (1, 'Ann', '2020-01-02'), "
                               "(2, 'Søren; {x}', NULL), (3, NULL, '1999-12-31')",
                               "CREATE TABLE nothing (code CHAR(3), amount DECIMAL(9,2))",
                               "CREATE TABLE `order lines` (id INT)"});
    const struct {
        QString table;
        QStringList names;
        QList<int> types;
        int records;  // none when the table cannot be loaded
    } cases[] = {
        {"nothing", {"", "code", "amount"}, {0, 129, 131}, 0},
        {"order lines", {"", "code", "amount"}, {0, 129, 131}, -1},
        {"people", {"", "id", "name", "joined"}, {0, 3, 200, 133}, 3},
    };
    connectAsAdmin();
    choose("cboTargetDatabase", database);
    mapping::MappingPage& page = *window->mapping();
    QAbstractItemModel* grid = control<QTableView>("grdTargetData")->model();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table.toStdString());
        doubles.messages.shown.clear();
        page.setRows(3);
        for (int col : {0, 2, 3}) page.setTextMatrix(2, col, "filled");
        choose("cboTargetTable", c.table);
        EXPECT_EQ(page.textMatrix(2, 0) + page.textMatrix(2, 2) + page.textMatrix(2, 3), "filled");
        EXPECT_EQ(ws().state.gTargetFieldNames, c.names);
        EXPECT_EQ(ws().state.gTargetFieldTypes, c.types);
        EXPECT_EQ(ws().state.bTargetLoaded, c.records >= 0);
        if (c.records < 0) {
            ASSERT_EQ(doubles.messages.shown.size(), 1);
            const QString text = doubles.messages.shown.first().text;
            EXPECT_TRUE(text.startsWith(
                            "An Error occured in [frmMain] (Sub) LoadDataTarget : Line 230 - ") &&
                        text.contains("SQL syntax"))
                << text.toStdString();
            continue;
        }
        EXPECT_TRUE(doubles.messages.shown.isEmpty());
        EXPECT_EQ(label("lblTargetInfoData_0"), QString::number(c.records));
        EXPECT_EQ(label("lblTargetInfoData_1"), QString::number(c.names.size() - 1));
        EXPECT_EQ(grid->rowCount(), c.records);
        EXPECT_EQ(grid->columnCount(), c.names.size() - 1);
        EXPECT_TRUE(button("cmdMatchNow")->isEnabled());
    }
    EXPECT_TRUE(control("grdTargetData")->isEnabled());
    EXPECT_EQ(label("grdTargetData_caption"), server.host + "-> " + database + "-> people");
    EXPECT_EQ(grid->headerData(1, Qt::Horizontal).toString(), "name");
    EXPECT_EQ(grid->index(1, 1).data().toString(), "Søren; {x}");
    EXPECT_EQ(grid->index(2, 1).data().toString(), "");
    // The data control holds a connection of its own to the chosen database.
    EXPECT_EQ(
        window->target()->adoMySQLData()->connectionString,
        target::ConnectionString(server.host, server.user, server.password, database, server.port));
    EXPECT_EQ(window->target()->adoMySQLData()->recordSource, "SELECT * FROM people");

    clickButton("cmdTargetClose");
    EXPECT_FALSE(ws().state.bTargetLoaded);
    EXPECT_EQ(grid->rowCount(), 3);
    EXPECT_EQ(ws().state.gTargetFieldNames.size(), 4);
    EXPECT_FALSE(button("cmdMatchNow")->isEnabled());
}

TEST_F(TablesTest, TheTabStripSwapsTheTableListForTheNewTableButton) {
    control<QTabWidget>("tabTabs")->setCurrentIndex(1);
    auto* list = combo("cboTargetTable");
    auto* newTable = button("cmdNewTable");
    const QRect listGeometry = list->geometry();
    newTable->setGeometry(0, 0, 10, newTable->height());  // wherever it was, it moves
    const auto visible = [&] {
        return QList<bool>{list->isVisible(), control("lblMySQLTable")->isVisible(),
                           newTable->isVisible()};
    };
    auto* tabs = control<QTabBar>("tsMySQL");
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(visible(), QList<bool>({false, false, true}));
    EXPECT_EQ(newTable->geometry(),
              QRect(listGeometry.topLeft(), QSize(listGeometry.width(), newTable->height())));
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    EXPECT_EQ(visible(), QList<bool>({true, true, false}));
}

}  // namespace
}  // namespace keldara::test

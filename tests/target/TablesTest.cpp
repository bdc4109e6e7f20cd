#include <QLabel>
#include <QTabBar>
#include <QTableView>

#include "Recorders.h"
#include "TargetWindowTest.h"
#include "mapping/ui/MappingPage.h"
#include "platform/dao/DaoError.h"
#include "target/DBBits.h"
#include "target/ui/TargetPanel.h"

namespace keldara::test {
namespace {

const QString ErrorPrefix =
    QStringLiteral("An Error occured in [frmMain] (Sub) LoadDataTarget : Line ");

class TablesTest : public TargetWindowTest {
  protected:
    // Connects as the administrator and chooses `database`.
    void openDatabase(const QString& database) {
        typeServerAsAdmin();
        clickButton("cmdTargetConnect");
        choose("cboTargetDatabase", database);
    }

    // Mapping rows for three source fields, with target columns already filled.
    void fillMappingRows() {
        mapping::MappingPage& page = *ws().mapping;
        page.setRows(4);
        for (int row = 1; row < 4; ++row) {
            page.setTextMatrix(row, 0, QStringLiteral("source%1").arg(row));
            page.setTextMatrix(row, 2, QStringLiteral("target%1").arg(row));
            page.setTextMatrix(row, 3, QStringLiteral("Integer"));
        }
    }
    void expectTargetColumnsEmpty() {
        mapping::MappingPage& page = *ws().mapping;
        for (int row = 1; row < page.rows(); ++row) {
            EXPECT_EQ(page.textMatrix(row, 0), QStringLiteral("source%1").arg(row));
            EXPECT_EQ(page.textMatrix(row, 2), "") << "row " << row;
            EXPECT_EQ(page.textMatrix(row, 3), "") << "row " << row;
        }
    }

    QAbstractItemModel* targetGrid() { return control<QTableView>("grdTargetData")->model(); }

    // What the chosen database's connection says of itself.
    QStringList connectionPortAndDatabase() {
        try {
            auto rs = ws().state.gMySQLConnection->openRecordset("SELECT @@port, DATABASE()");
            return {rs->valueAt(0, 0).standardText(), rs->valueAt(0, 1).standardText()};
        } catch (const dao::DaoError& error) {
            ADD_FAILURE() << error.description().toStdString();
            return {};
        }
    }
};

TEST_F(TablesTest, ChoosingADatabaseListsItsTablesOnTheSamePort) {
    ASSERT_NE(server.port, "3306");
    const QString three =
        createDatabase("three", {"CREATE TABLE beta (id INT)", "CREATE TABLE alpha (id INT)",
                                 "CREATE TABLE gamma (id INT)"});
    const QString one = createDatabase("one", {"CREATE TABLE only_one (id INT)"});
    typeServerAsAdmin();
    clickButton("cmdTargetConnect");

    ProgressRecorder progress(combo("cboTargetTable"), ws().PB);
    StatusRecorder status(control<QLabel>("SB_panel_1"));
    choose("cboTargetDatabase", three);
    EXPECT_EQ(items("cboTargetTable"), QStringList({"alpha", "beta", "gamma"}));
    EXPECT_EQ(progress.steps, progressSteps(2));
    EXPECT_EQ(status.texts,
              QStringList({"Loading Tables for " + three, "Loaded Tables List for " + three}));
    EXPECT_EQ(combo("cboTargetTable")->currentText(), "{Select Table}");
    EXPECT_TRUE(combo("cboTargetTable")->isEnabled());
    EXPECT_TRUE(button("cmdNewTable")->isEnabled());
    EXPECT_EQ(connectionPortAndDatabase(), QStringList({server.port, three}));

    progress.steps.clear();
    choose("cboTargetDatabase", one);
    EXPECT_EQ(items("cboTargetTable"), QStringList({"only_one"}));
    EXPECT_EQ(progress.steps, progressSteps(0));
    EXPECT_EQ(connectionPortAndDatabase(), QStringList({server.port, one}));
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

TEST_F(TablesTest, AnEmptyDatabaseLeavesAnEmptyButEnabledTableList) {
    const QString empty = createDatabase("empty");
    openDatabase(empty);
    EXPECT_EQ(combo("cboTargetTable")->count(), 0);
    EXPECT_EQ(combo("cboTargetTable")->currentText(), "{Select Table}");
    EXPECT_TRUE(combo("cboTargetTable")->isEnabled());
    EXPECT_TRUE(button("cmdNewTable")->isEnabled());
    EXPECT_EQ(statusText(), "Loaded Tables List for " + empty);
    EXPECT_EQ(connectionPortAndDatabase(), QStringList({server.port, empty}));
}

TEST_F(TablesTest, ChoosingATableShowsItsRowsAndBuildsTheFieldLists) {
    const QString database =
        createDatabase("people", {"CREATE TABLE people (id INT, name VARCHAR(40), joined DATE)",
                                  "INSERT INTO people VALUES (1, 'Ann', '2020-01-02'), "
                                  "(2, 'Søren; {x}', NULL), (3, NULL, '1999-12-31')"});
    fillMappingRows();
    openDatabase(database);
    choose("cboTargetTable", "people");

    EXPECT_TRUE(doubles.messages.shown.isEmpty());
    EXPECT_TRUE(ws().state.bTargetLoaded);
    EXPECT_EQ(ws().state.gTargetFieldNames, QStringList({"", "id", "name", "joined"}));
    EXPECT_EQ(ws().state.gTargetFieldTypes, QList<int>({0, 3, 200, 133}));
    EXPECT_EQ(labelText("lblTargetInfoData_0"), "3");
    EXPECT_EQ(labelText("lblTargetInfoData_1"), "3");
    expectTargetColumnsEmpty();
    EXPECT_TRUE(button("cmdMatchNow")->isEnabled());

    auto* grid = control<QTableView>("grdTargetData");
    EXPECT_TRUE(grid->isEnabled());
    EXPECT_EQ(grid->windowTitle(), server.host + "-> " + database + "-> people");
    QAbstractItemModel* model = grid->model();
    ASSERT_EQ(model->rowCount(), 3);
    ASSERT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "name");
    EXPECT_EQ(model->index(1, 1).data().toString(), "Søren; {x}");
    EXPECT_EQ(model->index(2, 1).data().toString(), "");

    // The data control holds a connection of its own to the chosen database.
    EXPECT_EQ(
        ws().target->adoMySQLData()->connectionString,
        target::ConnectionString(server.host, server.user, server.password, database, server.port));
    EXPECT_EQ(ws().target->adoMySQLData()->recordSource, "SELECT * FROM people");
    clickButton("cmdTargetClose");
    EXPECT_FALSE(ws().state.bTargetLoaded);
    EXPECT_EQ(targetGrid()->rowCount(), 3);
    EXPECT_EQ(ws().state.gTargetFieldNames.size(), 4);
    EXPECT_FALSE(button("cmdMatchNow")->isEnabled());
}

TEST_F(TablesTest, ATableWithoutRowsLoads) {
    const QString database =
        createDatabase("norows", {"CREATE TABLE nothing (code CHAR(3), amount DECIMAL(9,2))"});
    openDatabase(database);
    choose("cboTargetTable", "nothing");
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
    EXPECT_TRUE(ws().state.bTargetLoaded);
    EXPECT_EQ(ws().state.gTargetFieldNames, QStringList({"", "code", "amount"}));
    EXPECT_EQ(ws().state.gTargetFieldTypes, QList<int>({0, 129, 131}));
    EXPECT_EQ(labelText("lblTargetInfoData_0"), "0");
    EXPECT_EQ(labelText("lblTargetInfoData_1"), "2");
    EXPECT_EQ(targetGrid()->rowCount(), 0);
    EXPECT_EQ(targetGrid()->columnCount(), 2);
}

TEST_F(TablesTest, ATableWhoseNameNeedsQuotingShowsTheErrorWithItsLine) {
    const QString database = createDatabase(
        "quoting", {"CREATE TABLE plain (id INT)", "INSERT INTO plain VALUES (7)",
                    "CREATE TABLE `order lines` (id INT)", "CREATE TABLE `select` (id INT)"});
    fillMappingRows();
    openDatabase(database);
    choose("cboTargetTable", "plain");
    ASSERT_TRUE(ws().state.bTargetLoaded);

    for (const QString table : {"order lines", "select"}) {
        SCOPED_TRACE(table.toStdString());
        doubles.messages.shown.clear();
        fillMappingRows();
        choose("cboTargetTable", table);
        ASSERT_EQ(doubles.messages.shown.size(), 1);
        const platform::MessageRequest& message = doubles.messages.shown.first();
        EXPECT_EQ(message.title, "Vostrel");
        EXPECT_EQ(message.buttons, platform::MessageButtons::Ok);
        EXPECT_TRUE(message.text.startsWith(ErrorPrefix + "240 - ")) << message.text.toStdString();
        EXPECT_TRUE(message.text.contains("SQL syntax")) << message.text.toStdString();
        EXPECT_FALSE(ws().state.bTargetLoaded);
        expectTargetColumnsEmpty();
        // The lists keep the last table that loaded.
        EXPECT_EQ(ws().state.gTargetFieldNames, QStringList({"", "id"}));
    }
}

TEST_F(TablesTest, TheTabStripSwapsTheTableListForTheNewTableButton) {
    showTargetPage();
    auto* list = combo("cboTargetTable");
    auto* label = control<QLabel>("lblMySQLTable");
    auto* newTable = button("cmdNewTable");
    const QRect listGeometry = list->geometry();
    newTable->setGeometry(0, 0, 10, newTable->height());  // wherever it was, it moves

    chooseTab(1);
    EXPECT_FALSE(list->isVisible());
    EXPECT_FALSE(label->isVisible());
    EXPECT_TRUE(newTable->isVisible());
    EXPECT_EQ(newTable->x(), listGeometry.x());
    EXPECT_EQ(newTable->y(), listGeometry.y());
    EXPECT_EQ(newTable->width(), listGeometry.width());

    chooseTab(0);
    EXPECT_TRUE(list->isVisible());
    EXPECT_TRUE(label->isVisible());
    EXPECT_FALSE(newTable->isVisible());
}

}  // namespace
}  // namespace keldara::test

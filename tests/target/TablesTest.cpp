#include <QTabBar>
#include <QTableView>

#include "TargetWindowTest.h"
#include "mapping/ui/MappingPage.h"
#include "target/ui/TargetPanel.h"

namespace keldara::test {
namespace {

class TablesTest : public TargetWindowTest {
  protected:
    // Mapping rows for three source fields, with target columns already filled.
    void fillMappingRows() {
        mapping::MappingPage& page = *window->mapping();
        page.setRows(4);
        for (int row = 1; row < 4; ++row) {
            page.setTextMatrix(row, 0, QStringLiteral("source%1").arg(row));
            page.setTextMatrix(row, 2, QStringLiteral("target%1").arg(row));
            page.setTextMatrix(row, 3, QStringLiteral("Integer"));
        }
    }
    void expectTargetColumnsEmpty() {
        mapping::MappingPage& page = *window->mapping();
        for (int row = 1; row < page.rows(); ++row) {
            EXPECT_EQ(QStringList({page.textMatrix(row, 0), page.textMatrix(row, 2),
                                   page.textMatrix(row, 3)}),
                      QStringList({QStringLiteral("source%1").arg(row), "", ""}));
        }
    }

    QAbstractItemModel* targetGrid() { return control<QTableView>("grdTargetData")->model(); }

    // What the chosen database's connection says of itself.
    QStringList connectionPortAndDatabase() {
        auto rs = ws().state.gMySQLConnection->openRecordset("SELECT @@port, DATABASE()");
        return {rs->valueAt(0, 0).standardText(), rs->valueAt(0, 1).standardText()};
    }
};

TEST_F(TablesTest, ChoosingADatabaseListsItsTablesOnTheSamePort) {
    ASSERT_NE(server.port, "3306");
    const std::pair<QString, QStringList> databases[] = {
        {createDatabase(uniqueName("three"),
                        {"CREATE TABLE beta (id INT)", "CREATE TABLE alpha (id INT)",
                         "CREATE TABLE gamma (id INT)"}),
         {"alpha", "beta", "gamma"}},
        {createDatabase(uniqueName("one"), {"CREATE TABLE only_one (id INT)"}), {"only_one"}},
        {createDatabase(uniqueName("empty")), {}},
    };
    connectAsAdmin();
    for (const auto& [database, tables] : databases) {
        SCOPED_TRACE(database.toStdString());
        const auto filling = recordFilling("cboTargetTable");
        choose("cboTargetDatabase", database);
        EXPECT_EQ(items("cboTargetTable"), tables);
        EXPECT_EQ(filling->progress, progressSteps(tables.size() - 1));
        EXPECT_EQ(filling->status, QStringList({"Loading Tables for " + database,
                                                "Loaded Tables List for " + database}));
        EXPECT_EQ(combo("cboTargetTable")->currentText(), "{Select Table}");
        EXPECT_TRUE(combo("cboTargetTable")->isEnabled());
        EXPECT_TRUE(button("cmdNewTable")->isEnabled());
        EXPECT_EQ(connectionPortAndDatabase(), QStringList({server.port, database}));
    }
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

TEST_F(TablesTest, ChoosingATableShowsItsRowsAndBuildsTheFieldLists) {
    const QString database = createDatabase(
        uniqueName("people"), {"CREATE TABLE people (id INT, name VARCHAR(40), joined DATE)",
                               "INSERT INTO people VALUES (1, 'Ann', '2020-01-02'), "
                               "(2, 'Søren; {x}', NULL), (3, NULL, '1999-12-31')",
                               "CREATE TABLE nothing (code CHAR(3), amount DECIMAL(9,2))"});
    struct Case {
        QString table;
        QStringList names;
        QList<int> types;
        int records;
    };
    const Case cases[] = {
        {"nothing", {"", "code", "amount"}, {0, 129, 131}, 0},
        {"people", {"", "id", "name", "joined"}, {0, 3, 200, 133}, 3},
    };
    connectAsAdmin();
    choose("cboTargetDatabase", database);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table.toStdString());
        fillMappingRows();
        choose("cboTargetTable", c.table);
        EXPECT_TRUE(doubles.messages.shown.isEmpty());
        EXPECT_TRUE(ws().state.bTargetLoaded);
        EXPECT_EQ(ws().state.gTargetFieldNames, c.names);
        EXPECT_EQ(ws().state.gTargetFieldTypes, c.types);
        EXPECT_EQ(control<QLabel>("lblTargetInfoData_0")->text(), QString::number(c.records));
        EXPECT_EQ(control<QLabel>("lblTargetInfoData_1")->text(),
                  QString::number(c.names.size() - 1));
        EXPECT_EQ(targetGrid()->rowCount(), c.records);
        EXPECT_EQ(targetGrid()->columnCount(), c.names.size() - 1);
        expectTargetColumnsEmpty();
        EXPECT_TRUE(button("cmdMatchNow")->isEnabled());
    }

    auto* grid = control<QTableView>("grdTargetData");
    EXPECT_TRUE(grid->isEnabled());
    EXPECT_EQ(control<QLabel>("grdTargetData_caption")->text(),
              server.host + "-> " + database + "-> people");
    EXPECT_EQ(targetGrid()->headerData(1, Qt::Horizontal).toString(), "name");
    EXPECT_EQ(targetGrid()->index(1, 1).data().toString(), "Søren; {x}");
    EXPECT_EQ(targetGrid()->index(2, 1).data().toString(), "");

    // The data control holds a connection of its own to the chosen database.
    EXPECT_EQ(
        window->target()->adoMySQLData()->connectionString,
        target::ConnectionString(server.host, server.user, server.password, database, server.port));
    EXPECT_EQ(window->target()->adoMySQLData()->recordSource, "SELECT * FROM people");
    clickButton("cmdTargetClose");
    EXPECT_FALSE(ws().state.bTargetLoaded);
    EXPECT_EQ(targetGrid()->rowCount(), 3);
    EXPECT_EQ(ws().state.gTargetFieldNames.size(), 4);
    EXPECT_FALSE(button("cmdMatchNow")->isEnabled());
}

TEST_F(TablesTest, ATableWhoseNameNeedsQuotingShowsTheErrorWithItsLine) {
    const QString database =
        createDatabase(uniqueName("quoting"),
                       {"CREATE TABLE plain (id INT)", "INSERT INTO plain VALUES (7)",
                        "CREATE TABLE `order lines` (id INT)", "CREATE TABLE `select` (id INT)"});
    connectAsAdmin();
    choose("cboTargetDatabase", database);
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
        EXPECT_TRUE(message.text.startsWith(
            "An Error occured in [frmMain] (Sub) LoadDataTarget : Line 230 - "))
            << message.text.toStdString();
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

    const auto visible = [&] {
        return QList<bool>{list->isVisible(), label->isVisible(), newTable->isVisible()};
    };
    auto* tabs = control<QTabBar>("tsMySQL");
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(visible(), QList<bool>({false, false, true}));
    EXPECT_EQ(newTable->pos(), listGeometry.topLeft());
    EXPECT_EQ(newTable->width(), listGeometry.width());

    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    EXPECT_EQ(visible(), QList<bool>({true, true, false}));
}

}  // namespace
}  // namespace keldara::test

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
    QString label(const char* name) { return control<QLabel>(name)->text(); }
};

// The database's connection keeps the port typed (the test server's is not 3306).
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
        EXPECT_EQ(filling->progress, FillRecorder::steps(tables.size() - 1));
        EXPECT_EQ(filling->status, QStringList({"Loading Tables for " + database,
                                                "Loaded Tables List for " + database}));
        EXPECT_EQ(combo("cboTargetTable")->currentText(), "{Select Table}");
        EXPECT_TRUE(combo("cboTargetTable")->isEnabled());
        EXPECT_TRUE(button("cmdNewTable")->isEnabled());
        auto rs = ws().state.gMySQLConnection->openRecordset("SELECT @@port, DATABASE()");
        EXPECT_EQ(rs->valueAt(0, 0).standardText(), server.port);
        EXPECT_EQ(rs->valueAt(0, 1).standardText(), database);
    }
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

// A table shows its rows and builds the field lists, and the target side of every mapping row
// is cleared. A name that needs quoting fails with the message and its line; the lists keep
// the table that loaded last. Close keeps what is shown.
TEST_F(TablesTest, ChoosingATableShowsItsRowsAndBuildsTheFieldLists) {
    const QString database =
        createDatabase(uniqueName("people"),
                       {"CREATE TABLE people (id INT, name VARCHAR(40), joined DATE)",
                        "INSERT INTO people VALUES (1, 'Ann', '2020-01-02'), "
                        "(2, 'Søren; {x}', NULL), (3, NULL, '1999-12-31')",
                        "CREATE TABLE nothing (code CHAR(3), amount DECIMAL(9,2))",
                        "CREATE TABLE `order lines` (id INT)", "CREATE TABLE `select` (id INT)"});
    const struct {
        QString table;
        QStringList names;
        QList<int> types;
        int records;  // none when the table cannot be loaded
    } cases[] = {
        {"nothing", {"", "code", "amount"}, {0, 129, 131}, 0},
        {"order lines", {"", "code", "amount"}, {0, 129, 131}, -1},
        {"people", {"", "id", "name", "joined"}, {0, 3, 200, 133}, 3},
        {"select", {"", "id", "name", "joined"}, {0, 3, 200, 133}, -1},
    };
    connectAsAdmin();
    choose("cboTargetDatabase", database);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table.toStdString());
        doubles.messages.shown.clear();
        fillMappingRows();
        choose("cboTargetTable", c.table);
        expectTargetColumnsEmpty();
        EXPECT_EQ(ws().state.gTargetFieldNames, c.names);
        EXPECT_EQ(ws().state.gTargetFieldTypes, c.types);
        EXPECT_EQ(ws().state.bTargetLoaded, c.records >= 0);
        if (c.records < 0) {
            ASSERT_EQ(doubles.messages.shown.size(), 1);
            const platform::MessageRequest& message = doubles.messages.shown.first();
            EXPECT_EQ(message.title, "Vostrel");
            EXPECT_EQ(message.buttons, platform::MessageButtons::Ok);
            EXPECT_TRUE(message.text.startsWith(
                "An Error occured in [frmMain] (Sub) LoadDataTarget : Line 230 - "))
                << message.text.toStdString();
            EXPECT_TRUE(message.text.contains("SQL syntax")) << message.text.toStdString();
            continue;
        }
        EXPECT_TRUE(doubles.messages.shown.isEmpty());
        EXPECT_EQ(label("lblTargetInfoData_0"), QString::number(c.records));
        EXPECT_EQ(label("lblTargetInfoData_1"), QString::number(c.names.size() - 1));
        EXPECT_EQ(targetGrid()->rowCount(), c.records);
        EXPECT_EQ(targetGrid()->columnCount(), c.names.size() - 1);
        EXPECT_TRUE(button("cmdMatchNow")->isEnabled());
    }
    choose("cboTargetTable", "people");
    EXPECT_TRUE(control("grdTargetData")->isEnabled());
    EXPECT_EQ(label("grdTargetData_caption"), server.host + "-> " + database + "-> people");
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

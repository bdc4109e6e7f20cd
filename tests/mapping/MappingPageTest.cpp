#include <QCheckBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>

#include "mapping/FieldMatching.h"
#include "mapping/ui/MappingPage.h"
#include "support/Files.h"
#include "target/TargetWindowTest.h"

namespace keldara::test {
namespace {

// A source field in capitals, one with a trailing blank (which a column name drops), one in
// the target's own case, and one the target does not have.
const QByteArray SourceCsv = "ID,name ,City,Extra\n1,Ann,Oslo,x\n2,Bob,Rome,y\n";
const QStringList TargetFields{"", "id", "name", "City", "note"};
// The target names, then the target types, of the four source fields when matched.
const QStringList Matched{"id", "name", "City", "", "Integer", "VarChar", "VarChar", ""};
const QStringList Unpaired{"", "", "", ""};

class MappingPageTest : public TargetWindowTest {
  protected:
    void openSource() {
        textBox("txtSourceFileName")->setText(writeFile(folder.filePath("orders.csv"), SourceCsv));
        button("cmdSourceConnect")->click();
        ASSERT_TRUE(ws().state.bSourceLoaded);
    }
    void loadTarget() {
        if (database.isEmpty()) {
            database = createDatabase(uniqueName("mapping"),
                                      {"CREATE TABLE people (id INT, name VARCHAR(40), "
                                       "City VARCHAR(20), note VARCHAR(9))"});
            connectAsAdmin();
            choose("cboTargetDatabase", database);
        }
        choose("cboTargetTable", "people");
        ASSERT_TRUE(ws().state.bTargetLoaded);
        control<QTabWidget>("tabTabs")->setCurrentIndex(2);
    }
    QTableWidget* grid() { return control<QTableWidget>("grdFieldMappings"); }
    QComboBox* editor() { return combo("cboSelection"); }
    QStringList column(int col) {  // below the header
        QStringList texts;
        for (int row = 1; row < window->mapping()->rows(); ++row)
            texts << window->mapping()->textMatrix(row, col);
        return texts;
    }
    QStringList paired() { return column(2) + column(3); }
    void clickCell(int row, int col) {
        const QModelIndex cell = grid()->model()->index(row - 1, col);
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {},
                          grid()->visualRect(cell).center());
    }

    QTemporaryDir folder;
    QString database;
};

// Each source field is paired with the column the create-table script makes for it, in the
// target's spelling and whatever its letter case; a target without that column is searched for
// the source name itself.
TEST(MatchByName, PairsEachFieldWithTheColumnTheScriptMakesForIt) {
    const QString cut(64, u'n');  // the longest name MySQL takes
    const struct {
        const char* rule;
        QStringList sourceNames, targetNames, paired;
    } cases[] = {
        {"blank", {"id", " ", ""}, {"f3", "F2", "ID"}, {"ID", "F2", "f3"}},
        {"trailing blanks", {"name  ", "City\t"}, {"city", "NAME"}, {"NAME", "city"}},
        {"too long",
         {cut + "_first", cut + "_second"},
         {cut.left(62) + "_2", cut},
         {cut, cut.left(62) + "_2"}},
        {"clash", {"a ", "A", "a_2"}, {"a_2_2", "A_2", "a"}, {"a", "A_2", "a_2_2"}},
        {"no such column", {"a ", "A", "b"}, {"a", "c"}, {"a", "a", ""}},
    };
    for (const auto& c : cases) {
        QStringList paired;
        const QList<int> types(c.targetNames.size(), 3);
        for (const auto& cells : mapping::MatchByName(c.sourceNames, c.targetNames, types))
            paired << cells.name;
        EXPECT_EQ(paired.join(u'|').toStdString(), c.paired.join(u'|').toStdString()) << c.rule;
    }
}

// Ticked, every source and target load pairs same names; unticked, a load clears the target
// side and "Match Now" pairs them, replacing a pairing by hand. Letter case counts for nothing,
// in every script.
TEST_F(MappingPageTest, MatchingPairsSameNamesOnEachLoadOrOnMatchNow) {
    EXPECT_EQ(shell::FindNameIndex({"", "Straße"}, "STRASSE"), 1);
    openSource();
    EXPECT_EQ(column(2), Unpaired) << "no target table yet";
    loadTarget();
    EXPECT_EQ(paired(), Matched);
    emit combo("cboSourceTable")->activated(0);
    EXPECT_EQ(paired(), Matched);

    QTest::mouseClick(control<QCheckBox>("chkAutoMatch"), Qt::LeftButton);
    loadTarget();
    EXPECT_EQ(column(2), Unpaired);
    clickCell(4, 2);
    choose("cboSelection", "note");
    EXPECT_EQ(column(2).last(), "note");
    clickButton("cmdMatchNow");
    EXPECT_EQ(paired(), Matched);
    QStringList pairs;
    for (const auto& pair : window->mapping()->pairing())
        pairs << pair.sourceName + ">" + pair.targetName;
    EXPECT_EQ(pairs, QStringList({"ID>id", "name >name", "City>City"}));

    clickButton("cmdSourceClose");
    clickButton("cmdMatchNow");
    EXPECT_EQ(window->mapping()->rows(), 1) << "a grid of the header alone stays so";
}

// The editor opens over target names only; a scroll hides it, a list click or Enter commits
// (with the type, or "Create New Field"), a click elsewhere discards. Go waits for both tables.
TEST_F(MappingPageTest, TheEditorCommitsListClicksAndEnterAndPerformActionWaitsForBothTables) {
    QComboBox* action = combo("cboAction");
    action->setCurrentIndex(1);
    emit action->activated(1);
    openSource();
    EXPECT_FALSE(button("cmdActionGo")->isEnabled());
    control<QTabWidget>("tabTabs")->setCurrentIndex(2);
    clickCell(2, 2);
    ASSERT_TRUE(editor()->isVisible());
    EXPECT_EQ(editor()->count(), 0) << "no target table, no list";
    clickCell(1, 3);
    EXPECT_FALSE(editor()->isVisible());
    const int rowHeight = grid()->visualRect(grid()->model()->index(0, 2)).height();
    grid()->resize(grid()->width(), grid()->horizontalHeader()->height() + rowHeight * 2);
    clickCell(1, 2);
    ASSERT_TRUE(editor()->isVisible());
    grid()->verticalScrollBar()->setValue(1);
    EXPECT_FALSE(editor()->isVisible()) << "a scroll hides the editor";
    grid()->resize(grid()->width(), rowHeight * 10);

    QTest::mouseClick(control<QCheckBox>("chkAutoMatch"), Qt::LeftButton);
    loadTarget();
    clickCell(1, 2);
    EXPECT_EQ(items("cboSelection"), TargetFields);
    const struct {
        int row;
        bool byList;
        QString text, type;
    } commits[] = {
        {1, true, "City", "VarChar"},
        {2, false, "NAME", "VarChar"},  // typed in another case: kept as typed
        {3, false, "Street", "Create New Field"},
        {1, true, "", "Not Defined"},  // the empty entry
    };
    for (const auto& c : commits) {
        SCOPED_TRACE(c.text.toStdString());
        clickCell(c.row, 2);
        if (c.byList) {
            choose("cboSelection", c.text);
        } else {
            QTest::keyClick(editor()->lineEdit(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(editor()->lineEdit(), c.text + "\r");
        }
        EXPECT_FALSE(editor()->isVisible());
        EXPECT_EQ(window->mapping()->textMatrix(c.row, 2), c.text);
        EXPECT_EQ(window->mapping()->textMatrix(c.row, 3), c.type);
        EXPECT_TRUE(grid()->selectionModel()->selectedIndexes().size() == 5 &&
                    grid()->selectionModel()->isRowSelected(c.row - 1));
    }
    clickCell(2, 2);
    QTest::keyClicks(editor()->lineEdit(), "dropped");
    clickCell(4, 2);
    EXPECT_EQ(editor()->currentText(), "") << "the editor shows the clicked cell's text";
    EXPECT_EQ(column(2), QStringList({"", "NAME", "Street", ""}));

    EXPECT_TRUE(button("cmdActionGo")->isEnabled());
    EXPECT_EQ(items("cboTargetMatch"), TargetFields);
    EXPECT_EQ(combo("cboTargetMatch")->currentText(), "");
    choose("cboTargetDatabase", database);  // the table list asks for a table again
    emit action->activated(1);
    EXPECT_FALSE(button("cmdActionGo")->isEnabled());
    EXPECT_EQ(combo("cboTargetMatch")->count(), TargetFields.size());
}

}  // namespace
}  // namespace keldara::test

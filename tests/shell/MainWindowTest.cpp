#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include "shell/ui/StatusBar.h"
#include "support/WindowFixture.h"

using namespace keldara;
using keldara::test::WindowFixture;

namespace {

class MainWindowAfterLoad : public WindowFixture {};

// What the user meets at start: the prompts the handlers later compare against, the three
// actions with none chosen, and only the controls that can be used yet.
TEST_F(MainWindowAfterLoad, ShowsThePromptsAndEnablesOnlyWhatCanBeUsedYet) {
    EXPECT_EQ(control<QTabWidget>("tabTabs")->currentIndex(), 0);
    const std::pair<const char*, const char*> prompts[] = {
        {"cboSourceTable", "Select Source Data"},
        {"cboTargetTable", "Select Target Profile"},
        {"cboAction", "Please Select Action"},
        {"cboTargetDatabase", ""},
        {"cboTargetMatch", ""}};
    for (const auto& [name, text] : prompts) EXPECT_EQ(combo(name)->currentText(), text) << name;
    EXPECT_EQ(textBox("txtTargetPort")->text(), "3306");
    EXPECT_EQ(textBox("txtSourceFilePassword")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(combo("cboAction")->count(), 3);  // the footer's tests choose each by its text
    EXPECT_EQ(combo("cboAction")->currentIndex(), -1);
    for (const char* name :
         {"txtSourceFileName", "cmdSourceBrowse", "cmdSourceConnect", "txtSourceFilePassword",
          "txtTargetServer", "cboAction", "cboTargetMatch"})
        EXPECT_TRUE(control(name)->isEnabled()) << name;
    for (const char* name : {"cboSourceTable", "cmdSourceClose", "fraSource", "cmdTargetConnect",
                             "cmdTargetClose", "cboTargetDatabase", "cboTargetTable", "fraTarget",
                             "cmdActionGo", "cmdMatchNow", "cmdSampleMove_0", "cmdSampleMove_1"})
        EXPECT_FALSE(control(name)->isEnabled()) << name;
    for (const char* name : {"cmdNewTable", "picSampleButtons", "cboSelection"})
        EXPECT_FALSE(control(name)->isVisible()) << name;
    EXPECT_TRUE(control<QCheckBox>("chkAutoMatch")->isChecked());
    EXPECT_EQ(control<QTableWidget>("grdFieldMappings")->rowCount(), 0);
}

TEST_F(MainWindowAfterLoad, TypingChangesOnlyTheMatchFieldList) {
    for (const char* name :
         {"cboSourceTable", "cboTargetDatabase", "cboTargetTable", "cboAction"}) {
        QComboBox* list = combo(name);
        list->setEnabled(true);
        const QString before = list->currentText();
        list->setFocus();
        QTest::keyClicks(list, "abc");
        QTest::keyClick(list, Qt::Key_Backspace);
        QTest::keyClick(list->lineEdit(), Qt::Key_Down);
        QTest::keyClicks(list->lineEdit(), "xyz");
        EXPECT_EQ(list->currentText(), before) << name;
        EXPECT_EQ(list->currentIndex(), -1) << name;

        // Nor do keys pick an entry from the open drop-down list; Escape closes it.
        list->addItems({"first", "second"});
        list->setCurrentIndex(-1);
        QSignalSpy picked(list, &QComboBox::activated);
        list->showPopup();
        QAbstractItemView* view = list->view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window())) << name;
        for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Return, Qt::Key_Down, Qt::Key_Enter})
            QTest::keyClick(view, key);
        EXPECT_TRUE(view->isVisible()) << name;
        EXPECT_EQ(picked.count(), 0) << name;
        EXPECT_EQ(list->currentIndex(), -1) << name;
        QTest::keyClick(view, Qt::Key_Escape);
        EXPECT_FALSE(view->isVisible()) << name;
    }
    QComboBox* match = combo("cboTargetMatch");
    QTest::keyClicks(match->lineEdit(), "CustomerID");
    EXPECT_EQ(match->currentText(), "CustomerID");
}

TEST_F(MainWindowAfterLoad, PageChangesShowSampleButtonsOnlyOnTheMappingPage) {
    auto* tabs = control<QTabWidget>("tabTabs");
    QWidget* editor = control("cboSelection");
    for (int page : {2, 1, 2, 0, 2}) {
        editor->show();
        tabs->setCurrentIndex(page);
        EXPECT_EQ(control("picSampleButtons")->isVisible(), page == 2) << page;
        EXPECT_FALSE(editor->isVisible()) << page;
    }
}

// A one-element list (maximum 0) leaves a full bar; the bar keeps its value under new texts.
TEST_F(MainWindowAfterLoad, StatusTextAndProgressStayUntilReplaced) {
    shell::ProgressBar* bar = ws().PB;
    bar->setMaximumValue(0);
    bar->setCurrentValue(0);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->setMaximumValue(4);
    bar->setCurrentValue(4);
    window->SetStatusText("Settings Saved");
    EXPECT_EQ(bar->currentValue(), 4);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(ws().SB->panelText(1), "Settings Saved");
}

TEST_F(MainWindowAfterLoad, CloseBoxRunsTheUnloadStepsButExitDoesNot) {
    ws().state.gSourceTables = QStringList{"Orders"};
    bool exited = false;
    QObject::connect(window.get(), &shell::MainWindow::exitRequested, [&] { exited = true; });
    control<QAction>("mnuExit")->trigger();
    EXPECT_TRUE(exited);
    window->close();  // after Exit the window goes without its unload steps
    EXPECT_EQ(ws().state.gSourceTables, QStringList{"Orders"});

    auto second = std::make_unique<shell::MainWindow>(doubles.platform());
    second->show();
    second->workspace().state.gSourceTables = QStringList{"Orders"};
    second->workspace().state.gTargetFieldTypes = {0, 200};
    second->close();
    EXPECT_TRUE(second->workspace().state.gSourceTables.isEmpty());
    EXPECT_TRUE(second->workspace().state.gTargetFieldTypes.isEmpty());
}

}  // namespace

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>

#include "mapping/ui/MappingPage.h"
#include "shell/ui/StatusBar.h"
#include "support/WindowFixture.h"

using namespace keldara;
using keldara::test::WindowFixture;

namespace {

class MainWindowAfterLoad : public WindowFixture {};

TEST_F(MainWindowAfterLoad, ShowsCaptionPagesAndMenus) {
    EXPECT_EQ(window->windowTitle(), "Tamrix Keldara");
    auto* tabs = control<QTabWidget>("tabTabs");
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "Source Data");
    EXPECT_EQ(tabs->tabText(1), "Target Data");
    EXPECT_EQ(tabs->tabText(2), "Field Mappings");
    EXPECT_EQ(tabs->currentIndex(), 0);

    auto* strip = control<QTabBar>("tsMySQL");
    ASSERT_EQ(strip->count(), 2);
    EXPECT_EQ(strip->tabText(0), "Existing mySQL Table");
    EXPECT_EQ(strip->tabText(1), "Create New Table");

    const std::pair<const char*, const char*> menuItems[] = {
        {"mnuProfileLoad", "Load Profile"},
        {"mnuProfileSave", "Save Profile"},
        {"mnuProfileSaveAS", "Save Profile As"},
        {"mnuExit", "Exit"},
        {"mnuAbout", "About"}};
    for (const auto& [name, caption] : menuItems) {
        EXPECT_EQ(control<QAction>(name)->text(), caption) << name;
    }
    EXPECT_TRUE(control<QAction>("mnuSep2")->isSeparator());
    auto* fileMenu = control<QMenu>("mnuFile");
    const auto actions = fileMenu->actions();
    ASSERT_EQ(actions.size(), 10);
    EXPECT_EQ(actions.last()->objectName(), "mnuExit");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(actions[4 + i]->objectName(), QString("mnuMRUFiles_%1").arg(i));
    }
}

TEST_F(MainWindowAfterLoad, EveryLabelAndButtonCarriesItsCaption) {
    const std::pair<const char*, const char*> captions[] = {
        {"lblTitle2", "Tamrix Software"},
        {"lblLabel_13", "Version 1.1"},
        {"lblLabel_6", "Action"},
        {"lblLabel_7", "Select Target Match Field"},
        {"lblLabel_0", "Source Data File Path"},
        {"lblLabel_3", "Source File Password"},
        {"lblLabel_1", "Source Table/Sheet"},
        {"lblSourceInfo_0", "Record Count:"},
        {"lblSourceInfoData_0", "Info"},
        {"lblSourceInfo_1", "Fields Count:"},
        {"lblSourceInfoData_1", "Info"},
        {"lblLabel_17", "Target MySQL Server Name"},
        {"lblLabel_16", "UserName"},
        {"lblLabel_15", "Password"},
        {"lblLabel_18", "Port"},
        {"lblLabel_2", "Target Database"},
        {"lblMySQLTable", "Target Table"},
        {"lblTargetInfo_0", "Record Count:"},
        {"lblTargetInfoData_0", "Info"},
        {"lblTargetInfo_1", "Fields Count:"},
        {"lblTargetInfoData_1", "Info"},
        {"lblLabel_14", "Target to Source Field Mappings"},
        {"lblSample", "Current Record:"},
    };
    for (const auto& [name, caption] : captions) {
        EXPECT_EQ(control<QLabel>(name)->text(), caption) << name;
    }
    const std::pair<const char*, const char*> buttons[] = {
        {"cmdActionGo", "Perform Action"},
        {"cmdSourceBrowse", "..."},
        {"cmdSourceConnect", "Open"},
        {"cmdSourceClose", "Close"},
        {"cmdTargetConnect", "Connect"},
        {"cmdTargetClose", "Close"},
        {"cmdNewTable", "New Table Definition"},
        {"cmdMatchNow", "Match Now"},
        {"cmdSampleMove_0", "Prev Record"},
        {"cmdSampleMove_1", "Next Record"},
    };
    for (const auto& [name, caption] : buttons) {
        EXPECT_EQ(button(name)->text(), caption) << name;
    }
    EXPECT_EQ(button("cmdNewTable")->toolTip(), "Defint the New Table ");
    EXPECT_EQ(control<QCheckBox>("chkAutoMatch")->text(),
              "Automatically select Matching Field Names");
}

TEST_F(MainWindowAfterLoad, TextsAreEmptyButThePlaceholdersAndThePort) {
    const std::pair<const char*, const char*> combos[] = {
        {"cboSourceTable", "Select Source Data"},
        {"cboTargetTable", "Select Target Profile"},
        {"cboAction", "Please Select Action"},
        {"cboTargetDatabase", ""},
        {"cboTargetMatch", ""}};
    for (const auto& [name, text] : combos) EXPECT_EQ(combo(name)->currentText(), text) << name;
    for (const char* name : {"txtSourceFileName", "txtSourceFilePassword", "txtTargetServer",
                             "txtTargetUsername", "txtTargetPassword"}) {
        EXPECT_EQ(textBox(name)->text(), "") << name;
    }
    EXPECT_EQ(textBox("txtTargetPort")->text(), "3306");
    EXPECT_EQ(textBox("txtSourceFilePassword")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(textBox("txtTargetPassword")->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(control<QTextEdit>("txtResult")->toPlainText(),
              "Temporary View for Table Creation Code");
}

TEST_F(MainWindowAfterLoad, OffersTheThreeActionsWithNoneChosen) {
    QComboBox* action = combo("cboAction");
    ASSERT_EQ(action->count(), 3);
    EXPECT_EQ(action->itemText(0), "Merge Target Data to Source Table");
    EXPECT_EQ(action->itemText(1), "Insert Target Data to Source Table");
    EXPECT_EQ(action->itemText(2), "Create Source Table From Target Data");
    EXPECT_EQ(action->currentIndex(), -1);
}

TEST_F(MainWindowAfterLoad, EnablesOnlyWhatCanBeUsedYet) {
    for (const char* name : {"txtSourceFileName", "cmdSourceBrowse", "cmdSourceConnect",
                             "txtSourceFilePassword", "txtTargetServer", "txtTargetUsername",
                             "txtTargetPassword", "txtTargetPort", "cboAction", "cboTargetMatch"}) {
        EXPECT_TRUE(control(name)->isEnabled()) << name;
    }
    for (const char* name :
         {"cboSourceTable", "cmdSourceClose", "fraSource", "cmdTargetConnect", "cmdTargetClose",
          "cboTargetDatabase", "cboTargetTable", "cmdNewTable", "fraTarget", "cmdActionGo",
          "cmdMatchNow", "cmdSampleMove_0", "cmdSampleMove_1"}) {
        EXPECT_FALSE(control(name)->isEnabled()) << name;
    }
    EXPECT_FALSE(control("cmdNewTable")->isVisible());
    EXPECT_FALSE(control("picSampleButtons")->isVisible());
    EXPECT_FALSE(control("cboSelection")->isVisible());
    EXPECT_TRUE(control<QCheckBox>("chkAutoMatch")->isChecked());

    auto* grid = control<QTableWidget>("grdFieldMappings");
    EXPECT_EQ(window->mapping()->rows(), 1);
    EXPECT_EQ(grid->rowCount(), 0);
    const QStringList headers = {"Source Field Name", "Source Field Type", "Target Field Name",
                                 "Target Field Type", "Preview"};
    for (int c = 0; c < 5; ++c) EXPECT_EQ(grid->horizontalHeaderItem(c)->text(), headers[c]);
    EXPECT_GE(grid->verticalHeader()->minimumSectionSize(),
              control("cboSelection")->sizeHint().height());
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
    QWidget* buttons = control("picSampleButtons");
    for (int page : {2, 1, 2, 0, 2}) {
        editor->show();
        tabs->setCurrentIndex(page);
        EXPECT_EQ(buttons->isVisible(), page == 2) << page;
        EXPECT_FALSE(editor->isVisible()) << page;
    }
}

TEST_F(MainWindowAfterLoad, StatusTextAndProgressStayUntilReplaced) {
    window->SetStatusText("Fetching Database List");
    EXPECT_EQ(ws().SB->panelText(1), "Fetching Database List");
    shell::ProgressBar* bar = ws().PB;
    EXPECT_EQ(bar->currentValue(), 0);
    bar->setMaximumValue(0);
    bar->setCurrentValue(0);
    EXPECT_EQ(bar->value(), bar->maximum()) << "a one-element list leaves a full bar";
    bar->setMaximumValue(4);
    for (int i = 0; i <= 4; ++i) bar->setCurrentValue(i);
    EXPECT_EQ(bar->value(), bar->maximum());
    window->SetStatusText("Settings Saved");
    EXPECT_EQ(bar->currentValue(), 4);
    EXPECT_EQ(ws().SB->panelText(1), "Settings Saved");
}

TEST_F(MainWindowAfterLoad, ProgressBarLiesOverTheSecondStatusPanel) {
    const QRect bar = ws().PB->geometry();
    const QRect status = ws().SB->geometry();
    const int panelLeft = status.x() + ws().SB->panelLeft(2);
    EXPECT_NEAR(bar.x(), panelLeft + 25 / 15.0, 2);
    EXPECT_NEAR(bar.width(), ws().SB->panelWidth(2) - 3, 2);
    EXPECT_NEAR(bar.y(), status.y() + 3, 2);
    EXPECT_GT(bar.width(), 0);
}

TEST_F(MainWindowAfterLoad, CloseBoxRunsTheUnloadStepsButExitDoesNot) {
    ws().state.gSourceTables = QStringList{"Orders"};
    ws().state.gSourceFieldTypes = {0, 3};
    ws().state.gTargetFieldTypes = {0, 200};
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

#include "target/ui/TargetPanel.h"

#include <QTabBar>
#include <QTableView>
#include <QTextEdit>

#include "shell/ui/Controls.h"
#include "shell/ui/Twips.h"

namespace keldara::target {

using namespace shell;

TargetPanel::TargetPanel(QWidget* page, Workspace& workspace) : QObject(page), ws_(workspace) {
    fraMySQL_ = makeFrame(page, "fraMySQL", 75, 0, 5500, 2280);
    makeLabel(fraMySQL_, "lblLabel_17", "Target MySQL Server Name", 100, 150, 2000);
    txtTargetServer_ = makeTextBox(fraMySQL_, "txtTargetServer", 2150, 120, 3200);
    makeLabel(fraMySQL_, "lblLabel_16", "UserName", 100, 450, 2000);
    txtTargetUsername_ = makeTextBox(fraMySQL_, "txtTargetUsername", 2150, 420, 3200);
    makeLabel(fraMySQL_, "lblLabel_15", "Password", 100, 750, 2000);
    txtTargetPassword_ = makeTextBox(fraMySQL_, "txtTargetPassword", 2150, 720, 3200);
    makeLabel(fraMySQL_, "lblLabel_18", "Port", 100, 1050, 2000);
    txtTargetPort_ = makeTextBox(fraMySQL_, "txtTargetPort", 2150, 1020, 900);
    cmdTargetConnect_ = makeButton(fraMySQL_, "cmdTargetConnect", "Connect", 3150, 1020, 1050);
    cmdTargetConnect_->setEnabled(false);
    cmdTargetClose_ = makeButton(fraMySQL_, "cmdTargetClose", "Close", 4300, 1020, 1050);
    cmdTargetClose_->setEnabled(false);
    makeLabel(fraMySQL_, "lblLabel_2", "Target Database", 100, 1350, 2000);
    cboTargetDatabase_ = makeComboBox(fraMySQL_, "cboTargetDatabase", 2150, 1320, 3200, 300);
    cboTargetDatabase_->setEnabled(false);
    suppressKeys(cboTargetDatabase_);

    tsMySQL_ = new QTabBar(page);
    tsMySQL_->setObjectName("tsMySQL");
    tsMySQL_->addTab("Existing mySQL Table");
    tsMySQL_->addTab("Create New Table");
    tsMySQL_->setDrawBase(true);
    placeTw(tsMySQL_, 175, 1650, 5300, 300);  // over the table row of the connection frame

    lblMySQLTable_ = makeLabel(fraMySQL_, "lblMySQLTable", "Target Table", 100, 1980, 2000);
    cboTargetTable_ = makeComboBox(fraMySQL_, "cboTargetTable", 2150, 1950, 3200, 300);
    cboTargetTable_->setEnabled(false);
    suppressKeys(cboTargetTable_);
    cmdNewTable_ = makeButton(fraMySQL_, "cmdNewTable", "New Table Definition", 2150, 1950, 3200);
    cmdNewTable_->setToolTip("Defint the New Table ");
    cmdNewTable_->setEnabled(false);
    cmdNewTable_->hide();

    tsMySQL_->raise();

    fraTarget_ = makeFrame(page, "fraTarget", 5650, 0, 2150, 960);
    makeLabel(fraTarget_, "lblTargetInfo_0", "Record Count:", 100, 240, 1150);
    lblTargetInfoData_[0] = makeLabel(fraTarget_, "lblTargetInfoData_0", "Info", 1250, 240, 850);
    makeLabel(fraTarget_, "lblTargetInfo_1", "Fields Count:", 100, 600, 1150);
    lblTargetInfoData_[1] = makeLabel(fraTarget_, "lblTargetInfoData_1", "Info", 1250, 600, 850);
    fraTarget_->setEnabled(false);

    txtResult_ = new QTextEdit(page);
    txtResult_->setObjectName("txtResult");
    txtResult_->setPlainText("Temporary View for Table Creation Code");
    txtResult_->setLineWrapMode(QTextEdit::NoWrap);
    placeTw(txtResult_, 5650, 1020, 4250, 1260);

    grdTargetData_ = makeDataGrid(page, "grdTargetData");
    targetModel_ = new RecordsetModel(grdTargetData_);
    grdTargetData_->setModel(targetModel_);
    adoMySQLData_ = new dao::DataControl("adoMySQLData", ws_.window);
    connect(adoMySQLData_, &dao::DataControl::recordsetChanged, targetModel_,
            &RecordsetModel::setRecordset);
}

void TargetPanel::CloseMySQL() {
    // Connected when the MySQL connection can be made.
}

}  // namespace keldara::target

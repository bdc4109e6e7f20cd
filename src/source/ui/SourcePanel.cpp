#include "source/ui/SourcePanel.h"

#include <QTableView>

#include "shell/ui/Controls.h"

namespace keldara::source {

using namespace shell;

SourcePanel::SourcePanel(QWidget* page, Workspace& workspace) : QObject(page), ws_(workspace) {
    makeLabel(page, "lblLabel_0", "Source Data File Path", 75, 60, 1900);
    txtSourceFileName_ = makeTextBox(page, "txtSourceFileName", 2000, 30, 4300);
    cmdSourceBrowse_ = makeButton(page, "cmdSourceBrowse", "...", 6350, 30, 375);
    cmdSourceConnect_ = makeButton(page, "cmdSourceConnect", "Open", 6775, 30, 900);

    makeLabel(page, "lblLabel_3", "Source File Password", 75, 360, 1900);
    txtSourceFilePassword_ = makeTextBox(page, "txtSourceFilePassword", 2000, 330, 2400);
    txtSourceFilePassword_->setEchoMode(QLineEdit::Password);

    makeLabel(page, "lblLabel_1", "Source Table/Sheet", 75, 660, 1900);
    cboSourceTable_ = makeComboBox(page, "cboSourceTable", 2000, 630, 4300, 300);
    cboSourceTable_->setEnabled(false);
    suppressKeys(cboSourceTable_);
    cmdSourceClose_ = makeButton(page, "cmdSourceClose", "Close", 6775, 630, 900);
    cmdSourceClose_->setEnabled(false);

    fraSource_ = makeFrame(page, "fraSource", 7800, 0, 2150, 960);
    makeLabel(fraSource_, "lblSourceInfo_0", "Record Count:", 100, 240, 1150);
    lblSourceInfoData_[0] = makeLabel(fraSource_, "lblSourceInfoData_0", "Info", 1250, 240, 850);
    makeLabel(fraSource_, "lblSourceInfo_1", "Fields Count:", 100, 600, 1150);
    lblSourceInfoData_[1] = makeLabel(fraSource_, "lblSourceInfoData_1", "Info", 1250, 600, 850);
    fraSource_->setEnabled(false);

    grdSourceData_ = makeDataGrid(page, "grdSourceData");
    sourceModel_ = new RecordsetModel(grdSourceData_);
    grdSourceData_->setModel(sourceModel_);
    adoSourceData_ = new dao::DataControl("adoSourceData", ws_.window);
    connect(adoSourceData_, &dao::DataControl::recordsetChanged, sourceModel_,
            &RecordsetModel::setRecordset);
}

void SourcePanel::CloseSource() {
    // Connected when the source file can be opened.
}

}  // namespace keldara::source

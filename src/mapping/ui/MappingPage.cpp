#include "mapping/ui/MappingPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "shell/ui/Controls.h"
#include "shell/ui/Twips.h"
#include "source/ui/SourcePanel.h"

namespace keldara::mapping {

using namespace shell;

MappingPage::MappingPage(QWidget* page, Workspace& workspace) : QObject(page), ws_(workspace) {
    makeLabel(page, "lblLabel_14", "Target to Source Field Mappings", 120, 30, 3500);
    chkAutoMatch_ = new QCheckBox("Automatically select Matching Field Names", page);
    chkAutoMatch_->setObjectName("chkAutoMatch");
    chkAutoMatch_->setChecked(true);
    placeTw(chkAutoMatch_, 120, 300, 3900, 255);
    cmdMatchNow_ = makeButton(page, "cmdMatchNow", "Match Now", 4100, 270, 1200);
    cmdMatchNow_->setEnabled(false);

    grdFieldMappings_ = new QTableWidget(0, 5, page);
    grdFieldMappings_->setObjectName("grdFieldMappings");
    grdFieldMappings_->setHorizontalHeaderLabels({"Source Field Name", "Source Field Type",
                                                  "Target Field Name", "Target Field Type",
                                                  "Preview"});
    grdFieldMappings_->verticalHeader()->hide();
    grdFieldMappings_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdFieldMappings_->horizontalHeader()->setStretchLastSection(true);

    cboSelection_ = new QComboBox(grdFieldMappings_->viewport());
    cboSelection_->setObjectName("cboSelection");
    cboSelection_->hide();
    // The in-cell editor covers exactly one cell.
    const int rowHeight = cboSelection_->sizeHint().height();
    grdFieldMappings_->verticalHeader()->setMinimumSectionSize(rowHeight);
    grdFieldMappings_->verticalHeader()->setDefaultSectionSize(rowHeight);

    picSampleButtons_ = new QFrame(page);
    picSampleButtons_->setObjectName("picSampleButtons");
    picSampleButtons_->setFrameShape(QFrame::NoFrame);
    placeTw(picSampleButtons_, 7190, 0, 2805, 555);
    cmdSampleMove_[0] =
        makeButton(picSampleButtons_, "cmdSampleMove_0", "Prev Record", 0, 0, 1350, 285);
    cmdSampleMove_[1] =
        makeButton(picSampleButtons_, "cmdSampleMove_1", "Next Record", 1425, 0, 1350, 285);
    cmdSampleMove_[0]->setEnabled(false);
    cmdSampleMove_[1]->setEnabled(false);
    lblSample_ = makeLabel(picSampleButtons_, "lblSample", "Current Record:", 0, 300, 2805, 255);
    picSampleButtons_->hide();
    for (int index : {0, 1}) {
        connect(cmdSampleMove_[index], &QPushButton::clicked, this,
                [this, index] { ws_.source->cmdSampleMove_Click(index); });
    }
}

int MappingPage::rows() const {
    return grdFieldMappings_->rowCount() + 1;
}

void MappingPage::setRows(int rows) {
    grdFieldMappings_->setRowCount(std::max(0, rows - 1));
}

QString MappingPage::textMatrix(int row, int col) const {
    if (row == 0) return grdFieldMappings_->horizontalHeaderItem(col)->text();
    const QTableWidgetItem* item = grdFieldMappings_->item(row - 1, col);
    return item ? item->text() : QString();
}

void MappingPage::setTextMatrix(int row, int col, const QString& text) {
    if (row == 0) {
        grdFieldMappings_->horizontalHeaderItem(col)->setText(text);
        return;
    }
    if (QTableWidgetItem* item = grdFieldMappings_->item(row - 1, col)) {
        item->setText(text);
    } else {
        grdFieldMappings_->setItem(row - 1, col, new QTableWidgetItem(text));
    }
}

}  // namespace keldara::mapping

#include "transfer/ui/ActionFooter.h"

#include <QComboBox>
#include <QPushButton>

#include "shell/ui/Controls.h"

namespace keldara::transfer {

using namespace shell;

ActionFooter::ActionFooter(QWidget* footer, Workspace& workspace)
    : QObject(footer), ws_(workspace) {
    makeLabel(footer, "lblLabel_6", "Action", 75, 105, 600);
    cboAction_ = makeComboBox(footer, "cboAction", 700, 60, 3300, 315);
    suppressKeys(cboAction_);
    makeLabel(footer, "lblLabel_7", "Select Target Match Field", 4100, 105, 2150);
    cboTargetMatch_ = makeComboBox(footer, "cboTargetMatch", 6300, 60, 2050, 315);
    cmdActionGo_ = makeButton(footer, "cmdActionGo", "Perform Action", 8450, 60, 1500, 315);
    cmdActionGo_->setEnabled(false);
}

void ActionFooter::addActions() {
    const QString text = cboAction_->currentText();  // adding entries keeps the shown text
    cboAction_->addItem("Merge Target Data to Source Table");
    cboAction_->addItem("Insert Target Data to Source Table");
    cboAction_->addItem("Create Source Table From Target Data");
    cboAction_->setCurrentIndex(-1);
    cboAction_->setEditText(text);
}

}  // namespace keldara::transfer

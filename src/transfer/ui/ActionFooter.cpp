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
    connect(cboAction_, &QComboBox::activated, this, &ActionFooter::ActionControlsEnable);
}

void ActionFooter::loadDefaults() {
    cboAction_->addItem("Merge Target Data to Source Table");
    cboAction_->addItem("Insert Target Data to Source Table");
    cboAction_->addItem("Create Source Table From Target Data");
    cboAction_->setCurrentIndex(-1);
    cboAction_->setEditText(QStringLiteral("Please Select Action"));
}

bool ActionFooter::actionMayRun() const {
    const QString table = targetTableText_.toUpper();
    return cboAction_->currentIndex() > -1 && table != QStringLiteral("{SELECT TABLE}") &&
           table != QStringLiteral("{SELECT DATABASE}") && ws_.state.bSourceLoaded &&
           ws_.state.bTargetLoaded;
}

void ActionFooter::ActionControlsEnable() {
    if (!actionMayRun()) {
        cmdActionGo_->setEnabled(false);
        return;
    }
    cmdActionGo_->setEnabled(true);
    cboTargetMatch_->clear();
    cboTargetMatch_->addItems(ws_.state.gTargetFieldNames);
    cboTargetMatch_->setCurrentIndex(0);  // element 0, the empty entry
}

}  // namespace keldara::transfer

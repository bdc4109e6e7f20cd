#pragma once

#include <QObject>

#include "shell/ui/Workspace.h"

class QComboBox;
class QPushButton;

namespace keldara::transfer {

// The action footer: which action to run, the target match field, and "Perform Action".
class ActionFooter : public QObject {
    Q_OBJECT
  public:
    ActionFooter(QWidget* footer, shell::Workspace& workspace);

    // The prompt and the three actions, in the order the transfer relies on.
    void loadDefaults();

    // Enables "Perform Action" when an action is chosen, a target table is chosen, and both
    // tables are loaded; it then fills the match-field list with an empty entry followed by
    // the target fields. Otherwise it disables the button and the list keeps its entries.
    void ActionControlsEnable();
    // What the target table list shows; "{Select Table}" and "{Select Database}" mean that no
    // table is chosen.
    void setTargetTableText(const QString& text) { targetTableText_ = text; }

  private:
    bool actionMayRun() const;

    shell::Workspace& ws_;
    QComboBox* cboAction_;
    QComboBox* cboTargetMatch_;
    QPushButton* cmdActionGo_;
    QString targetTableText_;
};

}  // namespace keldara::transfer

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

    // The three actions, in the order the transfer relies on.
    void addActions();

  private:
    shell::Workspace& ws_;
    QComboBox* cboAction_;
    QComboBox* cboTargetMatch_;
    QPushButton* cmdActionGo_;
};

}  // namespace keldara::transfer

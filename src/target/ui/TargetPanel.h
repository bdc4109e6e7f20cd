#pragma once

#include <QObject>

#include "platform/dao/DataControl.h"
#include "shell/ui/RecordsetModel.h"
#include "shell/ui/Workspace.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;
class QTableView;
class QTextEdit;

namespace keldara::target {

// Page "Target Data": the MySQL server, its databases and tables, and the loaded rows.
class TargetPanel : public QObject {
    Q_OBJECT
public:
    TargetPanel(QWidget* page, shell::Workspace& workspace);

    // Closes the MySQL connection and returns the target controls to the disconnected layout.
    void CloseMySQL();

    QTableView* grdTargetData() const { return grdTargetData_; }
    QTextEdit* txtResult() const { return txtResult_; }
    dao::DataControl* adoMySQLData() const { return adoMySQLData_; }

private:
    shell::Workspace& ws_;
    QGroupBox* fraMySQL_;
    QLineEdit* txtTargetServer_;
    QLineEdit* txtTargetUsername_;
    QLineEdit* txtTargetPassword_;
    QLineEdit* txtTargetPort_;
    QPushButton* cmdTargetConnect_;
    QPushButton* cmdTargetClose_;
    QComboBox* cboTargetDatabase_;
    QLabel* lblMySQLTable_;
    QComboBox* cboTargetTable_;
    QPushButton* cmdNewTable_;
    QTabBar* tsMySQL_;
    QGroupBox* fraTarget_;
    QLabel* lblTargetInfoData_[2];
    QTableView* grdTargetData_;
    shell::RecordsetModel* targetModel_;
    QTextEdit* txtResult_;
    dao::DataControl* adoMySQLData_;
};

}  // namespace keldara::target

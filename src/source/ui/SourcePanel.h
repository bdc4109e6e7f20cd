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
class QTableView;

namespace keldara::source {

// Page "Source Data": the source file, its tables and the loaded rows.
class SourcePanel : public QObject {
    Q_OBJECT
public:
    SourcePanel(QWidget* page, shell::Workspace& workspace);

    // Closes the source file and returns the source controls to their closed state.
    void CloseSource();

    QTableView* grdSourceData() const { return grdSourceData_; }
    dao::DataControl* adoSourceData() const { return adoSourceData_; }

private:
    shell::Workspace& ws_;
    QLineEdit* txtSourceFileName_;
    QPushButton* cmdSourceBrowse_;
    QPushButton* cmdSourceConnect_;
    QLineEdit* txtSourceFilePassword_;
    QComboBox* cboSourceTable_;
    QPushButton* cmdSourceClose_;
    QGroupBox* fraSource_;
    QLabel* lblSourceInfoData_[2];
    QTableView* grdSourceData_;
    shell::RecordsetModel* sourceModel_;
    dao::DataControl* adoSourceData_;
};

}  // namespace keldara::source

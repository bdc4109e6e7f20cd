#pragma once

#include <QObject>

#include "shell/ui/Workspace.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QTableWidget;

namespace keldara::mapping {

// Page "Field Mappings": the grid that pairs source and target fields, its in-cell editor,
// automatic matching, and the sample-record buttons.
class MappingPage : public QObject {
    Q_OBJECT
  public:
    MappingPage(QWidget* page, shell::Workspace& workspace);

    // Row 0 is the header; each further row is one source field.
    int rows() const;
    void setRows(int rows);
    // The text of one cell, by grid row (0 is the header) and column.
    QString textMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString& text);

    QTableWidget* grdFieldMappings() const { return grdFieldMappings_; }
    QComboBox* cboSelection() const { return cboSelection_; }
    QFrame* picSampleButtons() const { return picSampleButtons_; }
    QCheckBox* chkAutoMatch() const { return chkAutoMatch_; }
    QPushButton* cmdMatchNow() const { return cmdMatchNow_; }
    QPushButton* cmdSampleMove(int index) const { return cmdSampleMove_[index]; }
    QLabel* lblSample() const { return lblSample_; }

  private:
    shell::Workspace& ws_;
    QTableWidget* grdFieldMappings_;
    QComboBox* cboSelection_;
    QCheckBox* chkAutoMatch_;
    QPushButton* cmdMatchNow_;
    QFrame* picSampleButtons_;
    QPushButton* cmdSampleMove_[2];
    QLabel* lblSample_;
};

}  // namespace keldara::mapping

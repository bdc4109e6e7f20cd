#pragma once

#include <QObject>

#include "shell/FieldPairing.h"
#include "shell/ui/Workspace.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QModelIndex;
class QPushButton;
class QTableWidget;

namespace keldara::mapping {

// Page "Field Mappings": the grid that pairs source and target fields, its in-cell editor,
// automatic matching, and the sample-record buttons. The grid's cells are the only store of
// the pairing.
class MappingPage : public QObject {
    Q_OBJECT
  public:
    MappingPage(QWidget* page, shell::Workspace& workspace);

    // The grid as the window shows it after loading: the header row only.
    void loadDefaults();

    // Row 0 is the header; each further row is one source field.
    int rows() const;
    void setRows(int rows);
    // The text of one cell, by grid row (0 is the header) and column.
    QString textMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString& text);

    // The rows paired with a target field, in source field order.
    shell::FieldPairing pairing() const;

    // Pairs every source field with the target field of the same name, ignoring letter
    // case, and empties the target columns of the rows without one.
    void MatchFields();
    // Commits the editor's text into the edited cell and the type beside it.
    void SelectionMade();
    void hideEditor();

    // What the window tells the page.
    void clearSourceFields();
    void addSourceField(const QString& name, const QString& typeName);
    void sourceTableLoaded();
    void clearTargetFields();
    void targetTableLoaded();
    void targetClosed();
    void showSampleRecord(const QString& label, bool prevEnabled, bool nextEnabled,
                          const QStringList& values);
    void disableSampleMoves();

    QTableWidget* grdFieldMappings() const { return grdFieldMappings_; }
    QFrame* picSampleButtons() const { return picSampleButtons_; }

  signals:
    // "Prev Record" (0) or "Next Record" (1) was pressed.
    void sampleMoveRequested(int index);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildGrid(QWidget* page);
    void buildSampleButtons(QWidget* page);
    void grdFieldMappings_Click(const QModelIndex& cell);
    void cmdMatchNow_Click();
    void selectWholeRow(int row);
    void matchIfTicked();

    shell::Workspace& ws_;
    QTableWidget* grdFieldMappings_;
    QComboBox* cboSelection_;
    QCheckBox* chkAutoMatch_;
    QPushButton* cmdMatchNow_;
    QFrame* picSampleButtons_;
    QPushButton* cmdSampleMove_[2];
    QLabel* lblSample_;
    // The cell under the mouse at the last click on the grid; a commit writes there.
    int EditRow = 0;
    int EditCol = 0;
};

}  // namespace keldara::mapping

#include "mapping/ui/MappingPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>

#include "mapping/FieldMatching.h"
#include "shell/ui/Controls.h"
#include "shell/ui/Twips.h"

namespace keldara::mapping {

using namespace shell;

namespace {
constexpr int SourceNameColumn = 0;
constexpr int TargetNameColumn = 2;
constexpr int PreviewColumn = 4;
}  // namespace

MappingPage::MappingPage(QWidget* page, Workspace& workspace) : QObject(page), ws_(workspace) {
    makeLabel(page, "lblLabel_14", "Target to Source Field Mappings", 120, 30, 3500);
    chkAutoMatch_ = new QCheckBox("Automatically select Matching Field Names", page);
    chkAutoMatch_->setObjectName("chkAutoMatch");
    chkAutoMatch_->setChecked(true);
    placeTw(chkAutoMatch_, 120, 300, 4050, 255);
    cmdMatchNow_ = makeButton(page, "cmdMatchNow", "Match Now", 4250, 270, 1200);
    cmdMatchNow_->setEnabled(false);
    buildGrid(page);
    buildSampleButtons(page);

    connect(chkAutoMatch_, &QCheckBox::clicked, this, &MappingPage::hideEditor);
    connect(cmdMatchNow_, &QPushButton::clicked, this, &MappingPage::cmdMatchNow_Click);
}

void MappingPage::buildGrid(QWidget* page) {
    grdFieldMappings_ = new QTableWidget(0, 5, page);
    grdFieldMappings_->setObjectName("grdFieldMappings");
    grdFieldMappings_->setHorizontalHeaderLabels({"Source Field Name", "Source Field Type",
                                                  "Target Field Name", "Target Field Type",
                                                  "Preview"});
    grdFieldMappings_->verticalHeader()->hide();
    grdFieldMappings_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdFieldMappings_->horizontalHeader()->setStretchLastSection(true);

    // The in-cell editor: typed text stays as typed, nothing completes it.
    cboSelection_ = makeComboBox(grdFieldMappings_->viewport(), "cboSelection", 0, 0, 1000);
    cboSelection_->setCompleter(nullptr);
    cboSelection_->hide();
    // The in-cell editor covers exactly one cell.
    const int rowHeight = cboSelection_->sizeHint().height();
    cboSelection_->resize(cboSelection_->width(), rowHeight);
    grdFieldMappings_->verticalHeader()->setMinimumSectionSize(rowHeight);
    grdFieldMappings_->verticalHeader()->setDefaultSectionSize(rowHeight);

    connect(grdFieldMappings_, &QTableWidget::clicked, this, &MappingPage::grdFieldMappings_Click);
    connect(grdFieldMappings_->horizontalHeader(), &QHeaderView::sectionPressed, this,
            &MappingPage::hideEditor);
    for (QScrollBar* bar :
         {grdFieldMappings_->verticalScrollBar(), grdFieldMappings_->horizontalScrollBar()}) {
        connect(bar, &QScrollBar::valueChanged, this, &MappingPage::hideEditor);
    }
    connect(cboSelection_, &QComboBox::activated, this, &MappingPage::SelectionMade);
    grdFieldMappings_->viewport()->installEventFilter(this);
    cboSelection_->installEventFilter(this);
    cboSelection_->lineEdit()->installEventFilter(this);
}

void MappingPage::buildSampleButtons(QWidget* page) {
    picSampleButtons_ = new QFrame(page);
    picSampleButtons_->setObjectName("picSampleButtons");
    picSampleButtons_->setFrameShape(QFrame::NoFrame);
    placeTw(picSampleButtons_, 7190, 0, 2805, 555);
    cmdSampleMove_[0] =
        makeButton(picSampleButtons_, "cmdSampleMove_0", "Prev Record", 0, 0, 1350, 285);
    cmdSampleMove_[1] =
        makeButton(picSampleButtons_, "cmdSampleMove_1", "Next Record", 1425, 0, 1350, 285);
    disableSampleMoves();
    lblSample_ = makeLabel(picSampleButtons_, "lblSample", "Current Record:", 0, 300, 2805, 255);
    picSampleButtons_->hide();
    for (int index : {0, 1}) {
        connect(cmdSampleMove_[index], &QPushButton::clicked, this,
                [this, index] { emit sampleMoveRequested(index); });
    }
}

void MappingPage::loadDefaults() {
    setRows(1);
}

// ---- The grid's cells ----

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

FieldPairing MappingPage::pairing() const {
    FieldPairing pairs;
    for (int row = 1; row < rows(); ++row) {
        const QString target = textMatrix(row, TargetNameColumn);
        if (!target.isEmpty())
            pairs.push_back({textMatrix(row, SourceNameColumn), target, row - 1});
    }
    return pairs;
}

// ---- The in-cell editor ----

void MappingPage::grdFieldMappings_Click(const QModelIndex& cell) {
    EditRow = cell.row() + 1;
    EditCol = cell.column();
    cboSelection_->clear();
    if (EditCol != TargetNameColumn) {
        hideEditor();
        return;
    }
    if (ws_.state.bTargetLoaded) cboSelection_->addItems(ws_.state.gTargetFieldNames);
    const QRect rect = grdFieldMappings_->visualRect(cell);
    cboSelection_->setGeometry(rect.left(), rect.top(), rect.width(), cboSelection_->height());
    cboSelection_->setEditText(textMatrix(EditRow, EditCol));
    QFont font = cboSelection_->font();
    font.setFamily(grdFieldMappings_->font().family());
    cboSelection_->setFont(font);
    // The keyboard focus stays where it is: the user clicks into the editor to use it.
    cboSelection_->show();
    selectWholeRow(EditRow);
}

void MappingPage::SelectionMade() {
    const QString text = cboSelection_->currentText();
    hideEditor();
    setTextMatrix(EditRow, EditCol, text);
    setTextMatrix(EditRow, EditCol + 1,
                  ChosenTargetType(ws_.state.gTargetFieldNames, ws_.state.gTargetFieldTypes, text));
    selectWholeRow(EditRow);
}

void MappingPage::hideEditor() {
    cboSelection_->hide();
}

void MappingPage::selectWholeRow(int row) {
    grdFieldMappings_->clearSelection();
    grdFieldMappings_->setCurrentCell(row - 1, 0, QItemSelectionModel::NoUpdate);
    grdFieldMappings_->setRangeSelected(
        QTableWidgetSelectionRange(row - 1, 0, row - 1, grdFieldMappings_->columnCount() - 1),
        true);
}

// Enter in the editor commits; losing the focus (except to its own list) or a click beside
// the cells drops what was typed.
bool MappingPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == grdFieldMappings_->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (!grdFieldMappings_->indexAt(mouse->position().toPoint()).isValid()) hideEditor();
        }
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            SelectionMade();
            return true;
        }
    } else if (event->type() == QEvent::FocusOut) {
        if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) hideEditor();
    }
    return false;
}

// ---- Matching by name ----

void MappingPage::MatchFields() {
    if (rows() < 2) return;
    QStringList sourceNames;
    for (int row = 1; row < rows(); ++row) sourceNames.append(textMatrix(row, SourceNameColumn));
    const std::vector<TargetCells> cells =
        MatchByName(sourceNames, ws_.state.gTargetFieldNames, ws_.state.gTargetFieldTypes);
    for (int row = 1; row < rows(); ++row) {
        setTextMatrix(row, TargetNameColumn, cells[row - 1].name);
        setTextMatrix(row, TargetNameColumn + 1, cells[row - 1].typeName);
    }
}

void MappingPage::cmdMatchNow_Click() {
    hideEditor();
    MatchFields();
}

void MappingPage::matchIfTicked() {
    if (chkAutoMatch_->isChecked()) MatchFields();
}

// ---- What the other rooms announce ----

void MappingPage::clearSourceFields() {
    hideEditor();
    setRows(1);
}

void MappingPage::addSourceField(const QString& name, const QString& typeName) {
    const int row = rows();
    setRows(row + 1);
    const QStringList cells{name, typeName, {}, {}, {}};
    for (int column = 0; column < cells.size(); ++column) setTextMatrix(row, column, cells[column]);
}

void MappingPage::sourceTableLoaded() {
    matchIfTicked();
}

void MappingPage::clearTargetFields() {
    for (int row = 1; row < rows(); ++row) {
        setTextMatrix(row, TargetNameColumn, QString());
        setTextMatrix(row, TargetNameColumn + 1, QString());
    }
}

void MappingPage::targetTableLoaded() {
    matchIfTicked();
    cmdMatchNow_->setEnabled(true);
}

void MappingPage::targetClosed() {
    cmdMatchNow_->setEnabled(false);
}

void MappingPage::showSampleRecord(const QString& label, bool prevEnabled, bool nextEnabled,
                                   const QStringList& values) {
    hideEditor();
    lblSample_->setText(label);
    cmdSampleMove_[0]->setEnabled(prevEnabled);
    cmdSampleMove_[1]->setEnabled(nextEnabled);
    const int shown = std::min(static_cast<int>(values.size()), rows() - 1);
    for (int i = 0; i < shown; ++i) setTextMatrix(i + 1, PreviewColumn, values[i]);
    grdFieldMappings_->viewport()->update();
}

void MappingPage::disableSampleMoves() {
    hideEditor();
    cmdSampleMove_[0]->setEnabled(false);
    cmdSampleMove_[1]->setEnabled(false);
}

}  // namespace keldara::mapping

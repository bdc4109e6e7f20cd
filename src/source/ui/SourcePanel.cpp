#include "source/ui/SourcePanel.h"

#include <QApplication>

#include "platform/dao/FieldTypeName.h"
#include "platform/dao/TypeCodes.h"
#include "shell/DialogHost.h"
#include "shell/ProcedureError.h"
#include "shell/ui/Controls.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/Twips.h"
#include "source/LoadMemory.h"
#include "source/SourceFiles.h"

namespace keldara::source {

using namespace shell;

namespace {

const QString SelectTablePrompt = QStringLiteral("{Select Table}");
const QString SelectSourcePrompt = QStringLiteral("Select Source Data");

const QString SourceFileFilter = QStringLiteral(
    "All Supported Databases (*.mdb;*.accdb;*.xls;*.xlsx;*.xlsm;*.ods;*.csv;*.dbf;*.txt;*.csv)|"
    "*.mdb;*.accdb;*.xls;*.xlsx;*.xlsm;*.ods;*.csv;*.dbf;*.txt;*.csv|"
    "Microsoft Access (*.mdb)|*.mdb|Microsoft Access 2007+ (*.accdb)|*.accdb|"
    "Microsoft Excel (*.xls)|*.xls|Microsoft Excel Workbook (*.xlsx)|*.xlsx|"
    "Microsoft Excel Macro-Enabled Workbook (*.xlsm)|*.xlsm|"
    "OpenDocument Spreadsheet (*.ods)|*.ods|Comma Delimited (*.csv)|*.csv|"
    "Tab Delimited (*.txt)|*.txt|"
    "Dbase Files (*.dbf)|*.dbf|All Files (*.*)|*.*");

// Shows a wait cursor until it goes out of scope.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

SourcePanel::SourcePanel(QWidget* page, Workspace& workspace) : QObject(page), ws_(workspace) {
    makeLabel(page, "lblLabel_0", "Source Data File Path", 75, 60, 1900);
    txtSourceFileName_ = makeTextBox(page, "txtSourceFileName", 2000, 30, 4300);
    cmdSourceBrowse_ = makeButton(page, "cmdSourceBrowse", "...", 6350, 30, 375);
    cmdSourceConnect_ = makeButton(page, "cmdSourceConnect", "Open", 6775, 30, 900);

    makeLabel(page, "lblLabel_3", "Source File Password", 75, 360, 1900);
    txtSourceFilePassword_ = makeTextBox(page, "txtSourceFilePassword", 2000, 330, 2400);
    txtSourceFilePassword_->setEchoMode(QLineEdit::Password);

    makeLabel(page, "lblLabel_1", "Source Table/Sheet", 75, 660, 1900);
    cboSourceTable_ = makeComboBox(page, "cboSourceTable", 2000, 630, 4300, 300);
    cboSourceTable_->setEnabled(false);
    suppressKeys(cboSourceTable_);
    cmdSourceClose_ = makeButton(page, "cmdSourceClose", "Close", 6775, 630, 900);
    cmdSourceClose_->setEnabled(false);

    const CountsFrame counts = makeCountsFrame(page, "Source", 7800);
    fraSource_ = counts.frame;
    lblSourceInfoData_[0] = counts.values[0];
    lblSourceInfoData_[1] = counts.values[1];

    grdSourceData_ = makeDataGrid(page, "grdSourceData");
    sourceModel_ = new RecordsetModel(grdSourceData_);
    grdSourceData_->setModel(sourceModel_);
    adoSourceData_ = new dao::DataControl("adoSourceData", ws_.window);
    connect(adoSourceData_, &dao::DataControl::recordsetChanged, sourceModel_,
            &RecordsetModel::setRecordset);

    connect(cmdSourceBrowse_, &QPushButton::clicked, this, &SourcePanel::cmdSourceBrowse_Click);
    connect(cmdSourceConnect_, &QPushButton::clicked, this, &SourcePanel::cmdSourceConnect_Click);
    connect(cmdSourceClose_, &QPushButton::clicked, this, &SourcePanel::cmdSourceClose_Click);
    connect(cboSourceTable_, &QComboBox::activated, this, &SourcePanel::cboSourceTable_Click);
}

void SourcePanel::loadDefaults() {
    cboSourceTable_->setEditText(SelectSourcePrompt);
}

// ---- Opening and closing the source file ----

void SourcePanel::cmdSourceBrowse_Click() {
    shell::DialogHost::CommonDialog settings;
    settings.DialogTitle = QStringLiteral("Select your Target File");
    settings.InitDir = QCoreApplication::applicationDirPath();
    settings.CancelError = true;
    settings.Filter = SourceFileFilter;
    settings.FilterIndex = 0;
    settings.Flags = platform::FileDialogRequest::FileMustExist;
    const QRect frame = ws_.window ? ws_.window->frameGeometry() : QRect();
    const int left = qRound(toTwips(frame.x()));
    const int top = 2 * qRound(toTwips(frame.y()));
    const QString result =
        shell::askForFile(ws_.platform.files, shell::FileDialogKind::Open, settings, left, top);
    if (result != shell::DialogHost::CancelResult) txtSourceFileName_->setText(result);
}

void SourcePanel::cmdSourceConnect_Click() {
    gSourcePasswordClause_ = SourcePasswordClause(txtSourceFilePassword_->text());
    LoadSourceTables(txtSourceFileName_->text());
}

void SourcePanel::cmdSourceClose_Click() {
    CloseSource();
}

void SourcePanel::SourceControlsEnable(bool bEnable) {
    cboSourceTable_->setEnabled(bEnable);
    cmdSourceClose_->setEnabled(bEnable);
    cmdSourceConnect_->setEnabled(!bEnable);
    cmdSourceBrowse_->setEnabled(!bEnable);
    txtSourceFileName_->setEnabled(!bEnable);
    if (!bEnable) {
        cboSourceTable_->clear();
        cboSourceTable_->setEditText(SelectSourcePrompt);
        grdSourceData_->setEnabled(false);
    }
}

void SourcePanel::CloseSource() {
    SourceControlsEnable(false);
    if (auto& connection = ws_.state.gSourceConnection) {
        try {
            connection->close();
        } catch (const std::exception&) {
            // Closing a connection that is not open changes nothing.
        }
        connection.reset();
    }
    sourceModel_->setRecordset(nullptr);
    grdSourceData_->setCaption({});
    ws_.state.bSourceLoaded = false;
    openedFile_ = {};
    emit closed();
}

// ---- Listing the tables ----

void SourcePanel::LoadSourceTables(const QString& path) {
    if (!ListSourceTables(path.trimmed())) return;
    cboSourceTable_->clear();
    cboSourceTable_->addItems(ws_.state.gSourceTables);
    // Adding to an empty list selects its first entry; no entry is chosen yet.
    cboSourceTable_->setCurrentIndex(-1);
    cboSourceTable_->setEditText(SelectTablePrompt);
    SourceControlsEnable(true);
    openedFile_ = {path.trimmed(), txtSourceFilePassword_->text()};
    emit opened();
    if (ws_.state.gSourceTables.size() == 1) {
        cboSourceTable_->setCurrentIndex(0);
        cboSourceTable_Click();
    }
}

bool SourcePanel::ListSourceTables(const QString& path) {
    WaitCursor wait;
    AppState& state = ws_.state;
    try {
        if (state.gSourceConnection && state.gSourceConnection->isOpen()) {
            state.gSourceConnection->close();
        }
        state.gSourceConnection = OpenSourceConnection(path, gSourcePasswordClause_);
        state.gSchemaRecordset = state.gSourceConnection->openTableCatalogue();
        state.gSourceTables = SourceTableNames(path, *state.gSchemaRecordset);
        state.gSchemaRecordset->close();
    } catch (const std::exception&) {
        return false;
    }
    QCoreApplication::processEvents();
    return true;
}

// ---- Loading a table ----

void SourcePanel::cboSourceTable_Click() {
    const QString table = cboSourceTable_->currentText();
    if (table == SelectTablePrompt) return;
    // The same trimmed path that listed the tables; the box may hold blanks around it.
    LoadDataSource(txtSourceFileName_->text().trimmed(), table);
}

void SourcePanel::LoadDataSource(const QString& sFile, const QString& sTable) {
    AppState& state = ws_.state;
    int line = 0;
    try {
        line = 110;
        state.bSourceLoaded = false;
        line = 120;
        sourceModel_->setRecordset(nullptr);
        line = 130;
        adoSourceData_->recordSource.clear();
        line = 140;
        emit tableLoadStarted();
        line = 145;
        if (!confirmLoadFits(sFile, sTable)) {
            cboSourceTable_->setEditText(SelectTablePrompt);
            return;
        }
        line = 150;
        adoSourceData_->connectionString = SourceConnectionString(sFile, gSourcePasswordClause_);
        line = 160;
        adoSourceData_->commandType = 1;
        line = 170;
        adoSourceData_->recordSource = QStringLiteral("SELECT * FROM [") + sTable + u']';
        line = 180;
        adoSourceData_->refresh();
        dao::Recordset& records = *adoSourceData_->recordset();
        line = 190;
        sourceModel_->setRecordset(records.fieldCount() > 0 ? &records : nullptr);
        line = 200;
        grdSourceData_->setCaption(SourceGridCaption(sFile));
        line = 210;
        grdSourceData_->setEnabled(true);
        line = 220;
        lblSourceInfoData_[0]->setText(QString::number(records.recordCount()));
        lblSourceInfoData_[1]->setText(QString::number(records.fieldCount()));
        line = 230;
        state.gSourceFieldNames = QStringList{QString()};
        state.gSourceFieldTypes = QList<int>{0};
        line = 240;
        ws_.PB->setMaximumValue(records.fieldCount());
        ws_.PB->setCurrentValue(0);
        for (int i = 0; i < records.fieldCount(); ++i) {
            const dao::FieldInfo& field = records.fieldInfo(i);
            line = 250;
            ws_.PB->setCurrentValue(ws_.PB->currentValue() + 1);
            line = 260;
            state.gSourceFieldNames.append(field.name);
            line = 270;
            state.gSourceFieldTypes.append(
                field.type == dao::adType::Date ? RefinedDateType(records, i) : field.type);
            line = 280;
            emit fieldLoaded(field.name, dao::FieldTypeName(state.gSourceFieldTypes.last()) +
                                             (records.fieldNote(i).isEmpty()
                                                  ? QString()
                                                  : QStringLiteral(" (") + records.fieldNote(i) +
                                                        QLatin1Char(')')));
        }
        line = 290;
        // An empty table has no first record; it loads all the same.
        if (records.recordCount() > 0) records.moveFirst();
        line = 300;
        // On the first record (or none) this also shows "Current Record:1 of " + count.
        ShowSampleRecord(-1);
        line = 310;
        state.bSourceLoaded = true;
        line = 320;
        emit tableLoaded();
    } catch (const std::exception& error) {
        showProcedureError(ws_.platform.messages, QStringLiteral("LoadDataSource"), line,
                           errorDescription(error));
    }
}

bool SourcePanel::confirmLoadFits(const QString& sFile, const QString& sTable) {
    // The table loaded before is let go first: its memory is there for the new one.
    adoSourceData_->clear();
    const std::optional<qint64> available = ws_.platform.memory.availableBytes();
    const qint64 needed = EstimatedLoadBytes(sFile);
    if (!available || needed <= *available) return true;
    platform::MessageRequest request;
    request.text = LargeTableQuestion(sTable, needed, *available);
    request.title = QStringLiteral("Keldara");
    request.buttons = platform::MessageButtons::OkCancel;
    request.icon = platform::MessageIcon::Warning;
    return ws_.platform.messages.show(request) == platform::MessageAnswer::Ok;
}

// ---- The sample record ----

void SourcePanel::cmdSampleMove_Click(int index) {
    const dao::Recordset* records = adoSourceData_->recordset();
    // After "Close" (or a failed load) the mapping grid has no rows for the records' fields,
    // and there is nothing to step through.
    if (!records || !records->isOpen() || !ws_.state.bSourceLoaded) {
        emit sampleUnavailable();
        return;
    }
    try {
        ShowSampleRecord(index);
    } catch (const std::exception& error) {
        showProcedureError(ws_.platform.messages, QStringLiteral("ShowSampleRecord"),
                           errorDescription(error));
    }
}

void SourcePanel::ShowSampleRecord(int index) {
    dao::Recordset* records = adoSourceData_->recordset();
    if (!records) return;
    if (index == 0 && !records->bof()) records->movePrevious();
    if (index == 1 && !records->eof()) records->moveNext();
    // A transfer leaves the records past their end; the nearest record is the one shown.
    if (records->recordCount() > 0) {
        if (records->bof()) records->moveFirst();
        if (records->eof()) records->moveLast();
    }
    const long count = records->recordCount();
    const long position = count > 0 ? records->absolutePosition() : 0;
    QStringList values;
    for (int i = 0; i < records->fieldCount(); ++i) {
        values.append(count > 0 ? records->value(i).displayText() : QString());
    }
    emit sampleRecordShown(SampleLabelText(position, count), position > 1, position != count,
                           values);
}

void SourcePanel::applyProfile(const shell::Profile& profile) {
    txtSourceFileName_->setText(profile.sourceFile);
    cboSourceTable_->setEditText(profile.sourceTable);
}

void SourcePanel::fillProfile(shell::Profile& profile) const {
    profile.sourceFile = txtSourceFileName_->text();
    profile.sourceTable = cboSourceTable_->currentText();
}

}  // namespace keldara::source

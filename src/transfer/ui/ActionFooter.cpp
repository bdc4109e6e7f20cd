#include "transfer/ui/ActionFooter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QPushButton>

#include "platform/dao/mysql/QuoteIdentifier.h"
#include "shell/ui/Controls.h"
#include "transfer/CreateTableScript.h"
#include "transfer/RejectsFile.h"
#include "transfer/RunChoices.h"
#include "transfer/SqlText.h"
#include "transfer/Transfer.h"
#include "transfer/ui/WindowProgress.h"

namespace keldara::transfer {

using namespace shell;

namespace {
const QString PerformAction = QStringLiteral("Perform Action");
}

ActionFooter::ActionFooter(QWidget* footer, Workspace& workspace)
    : QObject(footer), ws_(workspace) {
    makeLabel(footer, "lblLabel_6", "Action", 75, 105, 600);
    cboAction_ = makeComboBox(footer, "cboAction", 700, 60, 3300, 315);
    suppressKeys(cboAction_);
    makeLabel(footer, "lblLabel_7", "Select Target Match Field", 4100, 105, 2150);
    cboTargetMatch_ = makeComboBox(footer, "cboTargetMatch", 6300, 60, 2050, 315);
    cmdActionGo_ = makeButton(footer, "cmdActionGo", PerformAction, 8450, 60, 1500, 315);
    cmdActionGo_->setEnabled(false);
    // The run's options take a second row, under the action: beside it they would lie beyond
    // the window's right edge.
    chkEmptyTarget_ =
        makeCheckBox(footer, "chkEmptyTarget", "Empty the target table first", 700, 435, 2900);
    chkSkipRefused_ = makeCheckBox(footer, "chkSkipRefused",
                                   "Skip refused records and list them in a file", 3700, 435, 4300);
    connect(cboAction_, &QComboBox::activated, this, &ActionFooter::ActionControlsEnable);
    connect(cmdActionGo_, &QPushButton::clicked, this, &ActionFooter::cmdActionGo_Click);
    cmdActionGo_->installEventFilter(this);
}

bool ActionFooter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == cmdActionGo_) {
        if (event->type() == QEvent::MouseButtonPress) pressedByDoubleClick_ = false;
        if (event->type() == QEvent::MouseButtonDblClick) pressedByDoubleClick_ = true;
    }
    return QObject::eventFilter(watched, event);
}

void ActionFooter::loadDefaults() {
    cboAction_->addItem("Merge Target Data to Source Table");
    cboAction_->addItem("Insert Target Data to Source Table");
    cboAction_->addItem("Create Source Table From Target Data");
    cboAction_->addItem("Bulk Insert into Target Table");
    cboAction_->addItem("Update or Insert into Target Table");
    cboAction_->addItem("Bulk Merge into Target Table");
    cboAction_->addItem("Bulk Update or Insert into Target Table");
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

void ActionFooter::cmdActionGo_Click() {
    if (running_) {
        // The second click of a double-click on "Perform Action" lands on "Stop": only a click
        // of its own stops the run.
        if (!pressedByDoubleClick_) requestStop();
        return;
    }
    // The action list's entries in order; the third makes the script.
    static const QStringList actions{
        QStringLiteral("UPDATE"),     QStringLiteral("INSERT"), QString(),
        QStringLiteral("BULK"),       QStringLiteral("UPSERT"), QStringLiteral("BULK-MERGE"),
        QStringLiteral("BULK-UPSERT")};
    const int index = cboAction_->currentIndex();
    if (index == 2) {
        createScript({}, {});
    } else if (index >= 0 && index < actions.size()) {
        transfer(actions[index]);
    }
}

void ActionFooter::newTableDefinition() {
    if (!running_) createScript(NewTableIndex, NewTableIndexColumn);
}

// The list entry whose text is the one shown; typing does not move the list's index. Text that
// is no entry gives the empty entry, which no update matches by.
QString ActionFooter::chosenMatchField() const {
    const int index = cboTargetMatch_->findText(cboTargetMatch_->currentText(),
                                                Qt::MatchExactly | Qt::MatchCaseSensitive);
    return index > -1 ? cboTargetMatch_->itemText(index) : QString();
}

const dao::Recordset* ActionFooter::sourceRecords() const {
    return inputs_.sourceRecords ? inputs_.sourceRecords() : nullptr;
}

void ActionFooter::refuse(const QString& description) {
    ws_.SetStatusText(QStringLiteral("ERROR MergeToTarget: ") + description +
                      QStringLiteral(" Line: 100"));
}

void ActionFooter::tell(const QString& text, platform::MessageIcon icon) {
    platform::MessageRequest request;
    request.text = text;
    request.title = QStringLiteral("Keldara");
    request.buttons = platform::MessageButtons::Ok;
    request.icon = icon;
    ws_.platform.messages.show(request);
}

// What the status text cannot say of a run that ended: a run undone, refused records skipped
// (offering their file), a refusal before the first statement, a lost connection, records that
// matched no target row, and the records an update or insert updated and inserted.
void ActionFooter::reportRun(const TransferResult& result, const QString& matchName,
                             const QString& rejectsPath, bool upsert) {
    using Outcome = TransferResult::Outcome;
    if (result.connectionLost) {  // what is known of the table comes first
        QString text = lostConnectionText(result);
        text[0] = text[0].toUpper();
        tell(text + QLatin1Char('.'), platform::MessageIcon::Critical);
    } else if (result.undone) {
        tell(QStringLiteral("Nothing was kept: the run failed (%1), so the target table holds the "
                            "rows it held before.")
                 .arg(result.errorDescription),
             platform::MessageIcon::Warning);
    } else if (result.recordsRefused > 0) {
        offerRejectsFile(result, rejectsPath);
    } else if (result.outcome == Outcome::Failed && result.endedAtRecord == 0) {
        tell(QStringLiteral("Nothing was sent: ") + result.errorDescription,
             platform::MessageIcon::Warning);
    } else if (result.recordsUnmatched > 0) {
        tell(QStringLiteral("%1 of the %2 records sent matched no row of the target table by "
                            "\"%3\"; nothing was written for them.")
                 .arg(result.recordsUnmatched)
                 .arg(result.recordsDone)
                 .arg(matchName),
             platform::MessageIcon::Information);
    } else if (result.completed() && upsert) {
        tell(QStringLiteral("%1 updated, %2 inserted.")
                 .arg(result.recordsUpdated)
                 .arg(result.recordsInserted),
             platform::MessageIcon::Information);
    }
}

void ActionFooter::offerRejectsFile(const TransferResult& result, const QString& rejectsPath) {
    platform::MessageRequest request;
    request.text = QStringLiteral(
                       "%1 records were written and %2 refused; the refused records are "
                       "listed in \"%3\".%4\n\nOpen that file now?")
                       .arg(result.recordsWritten())
                       .arg(result.recordsRefused)
                       .arg(rejectsPath, result.completed() ? QString()
                                                            : QStringLiteral(" The run ended: ") +
                                                                  result.errorDescription);
    request.title = QStringLiteral("Keldara");
    request.buttons = platform::MessageButtons::YesNo;
    request.icon = platform::MessageIcon::Warning;
    if (ws_.platform.messages.show(request) != platform::MessageAnswer::Yes) return;
    if (!ws_.platform.processes.startDetached(QStringLiteral("xdg-open"), {rejectsPath})) {
        tell(QStringLiteral("The rejects file \"%1\" could not be opened; open it from its folder.")
                 .arg(rejectsPath),
             platform::MessageIcon::Warning);
    }
}

bool ActionFooter::confirmEmptying(dao::Connection& connection, const QString& table) {
    if (!chkEmptyTarget_->isChecked()) return true;
    const auto rows = connection.openRecordset(QStringLiteral("SELECT COUNT(*) FROM ") +
                                               dao::mysql::QuoteIdentifier(table));
    platform::MessageRequest request;
    request.text = QStringLiteral("Delete all %1 rows of the target table \"%2\" before the run?")
                       .arg(rows->valueAt(0, 0).standardText(), table);
    request.title = QStringLiteral("Keldara");
    request.buttons = platform::MessageButtons::YesNo;
    request.icon = platform::MessageIcon::Question;
    return ws_.platform.messages.show(request) == platform::MessageAnswer::Yes;
}

std::optional<QString> ActionFooter::chooseRejectsFile() {
    platform::FileDialogRequest request;
    request.title = QStringLiteral("List Refused Records In");
    request.filter = QStringLiteral("CSV Files (*.csv)|*.csv");
    return ws_.platform.files.showSave(request);
}

bool ActionFooter::refuseEmptyingBeforeMerge(const QString& action) {
    if (!chkEmptyTarget_->isChecked() ||
        (action != QLatin1String("UPDATE") && action != QLatin1String("BULK-MERGE"))) {
        return false;
    }
    const QString text = QStringLiteral(
        "\"Empty the target table first\" cannot go with a merge: a merge only updates "
        "rows the table already holds, and an emptied table holds none. Untick it or choose "
        "another action; nothing was deleted.");
    refuse(text);
    tell(text, platform::MessageIcon::Warning);
    return true;
}

void ActionFooter::transfer(const QString& action) {
    if (refuseEmptyingBeforeMerge(action)) return;
    const dao::Recordset* source = sourceRecords();
    dao::Connection* connection = ws_.state.gMySQLConnection.get();
    if (!source) return refuse(QStringLiteral("No source table is loaded."));
    if (!connection) return refuse(QStringLiteral("No MySQL connection is open."));
    // A run writes only into the table that is loaded and shown, never into a name typed or
    // set by a profile since.
    const QString table = ws_.state.gTargetTableName;
    if (!ws_.state.bTargetLoaded || table != targetTableText_) {
        const QString text = QStringLiteral(
                                 "The target table \"%1\" is not loaded; choose it "
                                 "in Target Data first.")
                                 .arg(targetTableText_);
        refuse(text);
        return tell(text, platform::MessageIcon::Warning);
    }
    const shell::FieldPairing pairing = inputs_.pairing ? inputs_.pairing() : shell::FieldPairing{};
    const QString matchName = chosenMatchField();
    std::optional<RejectsFile> rejects;
    RunChoices choices;
    const QString run = runIdentity(action, matchName, table);
    if (!offerResume(run, choices)) return;
    const bool resuming = choices.resumeAt > 0 || choices.inDoubtUntil > 0;
    if (chkSkipRefused_->isChecked()) {
        const std::optional<QString> path = chooseRejectsFile();
        if (!path) return;
        choices.rejects = &rejects.emplace(*path);
    }
    try {
        if (!resuming && !confirmEmptying(*connection, table)) return;
    } catch (const std::exception& e) {
        return refuse(QString::fromUtf8(e.what()));
    }
    choices.emptyTarget = chkEmptyTarget_->isChecked() && !resuming;
    choices.retryForSeconds = RetrySeconds;
    const TransferResult result = runStoppable(
        [&](TransferProgress& progress) {
            return Transfer(action, table, matchName, *source, pairing, *connection, progress,
                            choices);
        },
        connection);
    keepUnfinished(run, result);
    reportRun(result, matchName, rejects ? rejects->path() : QString(),
              action.endsWith(QLatin1String("UPSERT")));
}

QString ActionFooter::runIdentity(const QString& action, const QString& matchName,
                                  const QString& table) const {
    const auto nameOf = [](const std::function<QString()>& name) {
        return name ? name() : QString();
    };
    return QStringList{action, matchName, nameOf(inputs_.sourceName), nameOf(inputs_.targetName),
                       table}
        .join(QChar(0));
}

void ActionFooter::keepUnfinished(const QString& run, const TransferResult& result) {
    unfinished_.reset();
    if (result.completed() || result.undone || result.endedAtRecord <= 1) return;
    Unfinished unfinished{run, result.endedAtRecord - 1, 0};
    if (result.connectionLost) unfinished.inDoubtUntil = result.inFlightLast;
    unfinished_ = unfinished;
}

bool ActionFooter::offerResume(const QString& run, RunChoices& choices) {
    if (!unfinished_ || unfinished_->run != run) return true;
    platform::MessageRequest request;
    request.text = QStringLiteral(
                       "Resume at record %1? The run before stopped there. No starts again at "
                       "record 1.")
                       .arg(unfinished_->confirmed + 1);
    request.title = QStringLiteral("Keldara");
    request.buttons = platform::MessageButtons::YesNoCancel;
    request.icon = platform::MessageIcon::Question;
    const platform::MessageAnswer answer = ws_.platform.messages.show(request);
    if (answer == platform::MessageAnswer::Cancel) return false;
    if (answer == platform::MessageAnswer::Yes) {
        choices.resumeAt = unfinished_->confirmed;
        choices.inDoubtUntil = unfinished_->inDoubtUntil;
    }
    return true;
}

void ActionFooter::createScript(const QString& indexName, const QString& indexColumn) {
    const dao::Recordset* source = sourceRecords();
    if (!source) return refuse(QStringLiteral("No source table is loaded."));
    ScriptResult result;
    runStoppable([&](TransferProgress& progress) {
        result = CreateTableScript(ScriptTable, *source, progress, indexName, indexColumn);
        return result;
    });
    if (result.completed() && !result.script.isEmpty()) emit scriptCreated(result.script);
}

TransferResult ActionFooter::runStoppable(
    const std::function<TransferResult(TransferProgress&)>& body, const dao::Connection* target) {
    const bool goWasEnabled = cmdActionGo_->isEnabled();
    running_ = true;
    stopPressed_ = false;
    cmdActionGo_->setText(QStringLiteral("Stop"));
    cmdActionGo_->setEnabled(true);
    cboAction_->setEnabled(false);
    cboTargetMatch_->setEnabled(false);
    chkEmptyTarget_->setEnabled(false);
    chkSkipRefused_->setEnabled(false);
    emit runStarted();

    WindowProgress progress(ws_, stopPressed_, target);
    const TransferResult result = body(progress);
    ws_.SetStatusText(result.message);

    cmdActionGo_->setText(PerformAction);
    cmdActionGo_->setEnabled(goWasEnabled);
    cboAction_->setEnabled(true);
    cboTargetMatch_->setEnabled(true);
    chkEmptyTarget_->setEnabled(true);
    chkSkipRefused_->setEnabled(true);
    running_ = false;
    emit runFinished();
    if (!progress.notices().isEmpty())
        tell(progress.notices().join(QLatin1Char('\n')), platform::MessageIcon::Information);
    return result;
}

}  // namespace keldara::transfer

#pragma once

#include <QObject>
#include <functional>
#include <optional>

#include "shell/ui/Workspace.h"
#include "transfer/RejectsFile.h"
#include "transfer/RunChoices.h"
#include "transfer/TransferInputs.h"
#include "transfer/TransferProgress.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace keldara::transfer {

// The action footer: which action to run, the target match field, and "Perform Action",
// which reads "Stop" while a run goes on.
class ActionFooter : public QObject {
    Q_OBJECT
  public:
    ActionFooter(QWidget* footer, shell::Workspace& workspace);

    // The prompt and the seven actions, in the order the transfer relies on.
    void loadDefaults();
    // Where a run finds the source table and the pairing.
    void setTransferInputs(TransferInputs inputs) { inputs_ = std::move(inputs); }

    // Enables "Perform Action" when an action is chosen, a target table is chosen, and both
    // tables are loaded; it then fills the match-field list with an empty entry followed by
    // the target fields. Otherwise it disables the button and the list keeps its entries.
    void ActionControlsEnable();
    // What the target table list shows; "{Select Table}" and "{Select Database}" mean that no
    // table is chosen.
    void setTargetTableText(const QString& text) { targetTableText_ = text; }

    // "New Table Definition": the script of the source table with an index on its KEY column.
    void newTableDefinition();

    bool running() const { return running_; }
    // Ends a run after its current record, as "Stop" does.
    void requestStop() { stopPressed_ = true; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  signals:
    // A script run completed; the script is to be shown.
    void scriptCreated(const QString& script);
    // A run begins: nothing may close or reload the tables it reads until it has finished.
    void runStarted();
    void runFinished();

  private:
    static constexpr const char* ScriptTable = "Tester";
    static constexpr const char* NewTableIndex = "IKEY";
    static constexpr const char* NewTableIndexColumn = "KEY";
    // How long a run retries a lost server or an undone statement before it ends.
    static constexpr int RetrySeconds = 60;

    bool actionMayRun() const;
    void cmdActionGo_Click();
    void transfer(const QString& action);
    void createScript(const QString& indexName, const QString& indexColumn);
    QString chosenMatchField() const;
    const dao::Recordset* sourceRecords() const;
    void refuse(const QString& description);
    void tell(const QString& text, platform::MessageIcon icon);
    void reportRun(const TransferResult& result, const QString& matchName,
                   const QString& rejectsPath, bool upsert);
    // Asks to delete the target's rows when "Empty the target table first" is checked; false
    // when the user says no.
    bool confirmEmptying(dao::Connection& connection, const QString& table);
    // The rejects file the user chooses when skipping is checked; nothing for a cancel.
    std::optional<QString> chooseRejectsFile();
    void offerRejectsFile(const TransferResult& result, const QString& rejectsPath);
    // A run that stopped or failed partway, to be resumed when the same action is run again on
    // the same source and target.
    struct Unfinished {
        QString run;  // see runIdentity
        long confirmed = 0;
        long inDoubtUntil = 0;
    };
    // What defines a run: its action and match field, the source file and table, and the target
    // server, database and table.
    QString runIdentity(const QString& action, const QString& matchName,
                        const QString& table) const;
    // A merge finds nothing to update in a table emptied first: the combination is refused
    // before anything is asked or deleted. True when it was refused.
    bool refuseEmptyingBeforeMerge(const QString& action);
    void keepUnfinished(const QString& run, const TransferResult& result);
    // Offers "Resume at record N" for the run that stopped; false when the user cancels.
    bool offerResume(const QString& run, RunChoices& choices);
    // Runs `body` with the window's progress and "Stop" in place of "Perform Action".
    TransferResult runStoppable(const std::function<TransferResult(TransferProgress&)>& body,
                                const dao::Connection* target = nullptr);

    shell::Workspace& ws_;
    QComboBox* cboAction_;
    QComboBox* cboTargetMatch_;
    QPushButton* cmdActionGo_;
    QCheckBox* chkEmptyTarget_;
    QCheckBox* chkSkipRefused_;
    QString targetTableText_;
    TransferInputs inputs_;
    bool running_ = false;
    bool stopPressed_ = false;
    bool pressedByDoubleClick_ = false;  // the button's last press was a double-click's second
    std::optional<Unfinished> unfinished_;
};

}  // namespace keldara::transfer

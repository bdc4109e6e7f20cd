#pragma once

#include <QDialog>
#include <QHash>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TableSchema.h"
#include "transfer/migration/MigrationPlan.h"
#include "transfer/migration/MigrationReport.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace keldara::transfer {

// The open source file, whole: what the dialog moves.
struct MigrationSource {
    QString path;
    dao::DatabaseSchema schema;  // the structure of the tables its reader gives
    // The tables the reader refused, with its words: listed, reported, never moved.
    std::vector<std::pair<QString, QString>> refused;
    // A fresh reader of a table's records; called from the threads that load. Throws DaoError.
    std::function<std::unique_ptr<dao::Recordset>(const QString& table)> openTable;
    migration::LongestText longestText;
    QHash<QString, QString> targetNames;  // the default name of a table's copy, where not its own
};

// The connected MySQL server: where the dialog moves the source.
struct MigrationServer {
    QStringList databases;  // as the server lists them
    QString database;       // the one chosen under Target Data; empty when none is
    // The connection string of a new session on a database of the server (at server level for
    // an empty name); empty while no connection is open.
    std::function<QString(const QString& database)> connectionString;
};

// "Migrate Whole Source...": the tables of the open source, each with a tick and a target name,
// moved with their structure into a database of the connected server (made when missing). The
// migration runs on a thread of its own, so the window stays responsive; its progress comes
// back as queued calls: a bar in each table's row and one overall. "Stop" ends it after the
// batches being sent; the report is shown at the end and can be saved.
class MigrationDialog : public QDialog {
    Q_OBJECT
  public:
    MigrationDialog(MigrationSource source, MigrationServer server, platform::Platform platform,
                    QWidget* parent = nullptr);
    ~MigrationDialog() override;

    bool running() const { return worker_.joinable(); }

  public slots:
    // Closing while a migration runs asks first; a yes stops it and waits for its end.
    void reject() override;

  private:
    // What a run needs, gathered from the controls before it starts.
    struct Job {
        dao::DatabaseSchema schema;  // the ticked tables
        QList<int> rows;             // the row of each of them
        QHash<QString, QString> targetNames;
        QString database;
        QString serverConnection;    // at server level, to make the database
        QString databaseConnection;  // a loading session's
        int ifExists = 0;
        int jobs = 2;
    };
    class RowProgress;

    void buildControls();
    void buildTableList();
    void buildOptionBoxes();
    void buildProgressAndReport();
    void buildButtons();
    void layOutControls();
    void connectButtons();
    void listTables();
    void startMigration();
    std::optional<Job> jobOfControls();
    // On the worker thread: makes the database, plans the tables and moves them.
    void runMigration(const Job& job);
    void showPlannedNames(const QList<int>& rows, const QStringList& targets);
    void showTableStarted(int row, long rows);
    void showTableProgress(int row, long rowsDone);
    void showTableOutcome(int row, const migration::TableReport& table);
    void finish(const migration::MigrationReport& report);
    void fail(const QString& message);
    void setRunning(bool running);
    void say(const QString& text);
    void saveReport();
    // Hands `call` to the dialog's thread; called from the threads of a run.
    void post(std::function<void()> call);

    MigrationSource source_;
    MigrationServer server_;
    platform::Platform platform_;
    std::thread worker_;
    std::atomic<bool> stop_ = false;
    migration::MigrationReport report_;
    QHash<QString, int> rowOfTarget_;  // the dialog's thread's copy, for the report

    QLabel* lblSource_;
    QTableWidget* grdTables_;
    QComboBox* cboDatabase_;
    QComboBox* cboIfExists_;
    QSpinBox* spnJobs_;
    QProgressBar* barOverall_;
    QLabel* lblStatus_;
    QPlainTextEdit* txtReport_;
    QPushButton* cmdMigrate_;
    QPushButton* cmdStop_;
    QPushButton* cmdSaveReport_;
    QPushButton* cmdClose_;
};

}  // namespace keldara::transfer

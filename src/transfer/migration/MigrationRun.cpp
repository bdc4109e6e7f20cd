#include "transfer/migration/MigrationRun.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMutex>
#include <QThread>
#include <atomic>
#include <exception>
#include <optional>
#include <thread>

#include "platform/dao/DaoError.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "shell/ProcedureError.h"
#include "transfer/BulkInsert.h"
#include "transfer/TableFacts.h"
#include "transfer/migration/MigrationState.h"

namespace keldara::transfer::migration {

namespace {

QString quoted(const QString& name) {
    return dao::mysql::QuoteIdentifier(name);
}

constexpr int kFirstPauseMs = 250;
constexpr int kLongestPauseMs = 8000;

// One table's load as the transfer run tells it.
class TableProgress : public TransferProgress {
  public:
    TableProgress(MigrationProgress& progress, const QString& table)
        : progress_(progress), table_(table) {}
    void setStatusText(const QString& /*text*/) override {}
    void setProgressMaximum(long /*maximum*/) override {}
    void setProgressValue(long value) override { progress_.tableProgress(table_, value); }
    bool stopRequested() override { return progress_.stopRequested(); }

  private:
    MigrationProgress& progress_;
    const QString& table_;
};

// The work of a migration, shared by the threads that load tables.
class Migration {
  public:
    Migration(const MigrationPlan& plan, const MigrationEnds& ends, const MigrationOptions& options,
              MigrationProgress& progress, MigrationState& state)
        : plan_(plan), ends_(ends), options_(options), progress_(progress), state_(state) {
        reports_.resize(plan.tables.size());
    }

    // Loads the tables, `jobs` at a time, each thread on a session of its own.
    std::vector<TableReport> loadTables(const QStringList& existing) {
        existing_ = existing;
        const int tables = static_cast<int>(plan_.tables.size());
        const int jobs = std::clamp(options_.jobs, 1, std::max(1, tables));
        std::vector<std::thread> threads;
        for (int job = 1; job < jobs; ++job) threads.emplace_back([this] { work(); });
        work();
        for (std::thread& thread : threads) thread.join();
        return reports_;
    }

  private:
    void work() {
        std::unique_ptr<dao::Connection> session;
        for (std::size_t i = next_++; i < plan_.tables.size(); i = next_++) {
            TableReport& report = reports_[i];
            const TablePlan& table = plan_.tables[i];
            report.source = table.sourceName;
            report.target = table.targetName;
            report.renamed = table.renamed;
            report.warnings = table.warnings;
            if (progress_.stopRequested()) {
                report.stopped = true;
                continue;
            }
            try {
                moveRetrying(table, session, report);
            } catch (const std::exception& e) {
                report.error = shell::errorDescription(e);
                session.reset();  // a session an error left may be lost or in a transaction
            }
            progress_.tableDone(report);
        }
    }

    // A lost connection or a transaction the server undid moves the table again from the start
    // on a new session (opening one is tried again meanwhile, as a server that restarts refuses
    // it for a while), within the time for retrying; a table rows were being added to is
    // never begun again (moveTable refuses it).
    void moveRetrying(const TablePlan& table, std::unique_ptr<dao::Connection>& session,
                      TableReport& report) {
        std::optional<QDeadlineTimer> deadline;
        for (int pause = kFirstPauseMs;; pause = std::min(2 * pause, kLongestPauseMs)) {
            try {
                if (!session) session = ends_.connect();
                moveTable(table, *session, report);
                return;
            } catch (const dao::DaoError& error) {
                session.reset();
                const bool reopening = deadline && error.number() == dao::DaoError::OpenFailed;
                if (!error.transient() && !reopening) throw;
                if (!deadline) deadline = QDeadlineTimer(options_.retryForSeconds * 1000LL);
                if (deadline->hasExpired() || progress_.stopRequested()) throw;
                QThread::msleep(
                    static_cast<unsigned long>(std::min<qint64>(pause, deadline->remainingTime())));
            }
        }
    }

    void moveTable(const TablePlan& table, dao::Connection& session, TableReport& report) {
        if (state_.finished(table.targetName)) {
            report.earlier = true;
            return;
        }
        if (state_.appending(table.targetName)) {
            throw std::runtime_error(
                QStringLiteral("rows were being added to this table, which was there before, "
                               "when the run stopped: some of them may be in it, and adding "
                               "them again could add them twice; check it, then move it on its "
                               "own")
                    .toStdString());
        }
        // A table this run or the one it resumes made is not one that was there before.
        const bool exists = existing_.contains(table.targetName, Qt::CaseInsensitive) &&
                            !state_.begun(table.targetName);
        if (exists && options_.ifExists == IfExists::Skip) {
            report.skipped = true;
            return;
        }
        QElapsedTimer clock;
        clock.start();
        const long long rowsBefore = prepareTable(table, session, exists);
        const std::unique_ptr<dao::Recordset> records = openTable(table.sourceName);
        report.rowsRead = records->recordCount();
        report.keys = table.keys;
        report.indexes = table.indexes;
        progress_.tableStarted(table.targetName, records->recordCount());
        load(table, *records, session, report);
        report.seconds = static_cast<double>(clock.elapsed()) / 1000;
        if (report.stopped) return;
        checkRowCount(table, session, rowsBefore, report);
        continueCounter(table, session);
        state_.finish(table.targetName);
    }

    // Makes the table ready to take the records; returns the rows it holds before them.
    long long prepareTable(const TablePlan& table, dao::Connection& session, bool exists) {
        const bool append = exists && options_.ifExists == IfExists::Append;
        state_.begin(table.targetName, append);
        if (append) return rowCount(session, table.targetName);
        // A table begun by the run this one resumes is made again from empty.
        session.execute(QStringLiteral("DROP TABLE IF EXISTS ") + quoted(table.targetName));
        session.execute(table.createTable);
        return 0;
    }

    std::unique_ptr<dao::Recordset> openTable(const QString& name) {
        QMutexLocker lock(&sourceMutex_);
        return ends_.openTable(name);
    }

    void load(const TablePlan& table, const dao::Recordset& records, dao::Connection& session,
              TableReport& report) {
        shell::FieldPairing pairing;
        for (int i = 0; i < records.fieldCount() && i < table.columnNames.size(); ++i)
            pairing.push_back({records.fieldInfo(i).name, table.columnNames[i], i});
        RunChoices choices;
        choices.retryForSeconds = options_.retryForSeconds;
        TableProgress progress(progress_, table.targetName);
        const TransferResult result =
            BulkInsert(table.targetName, records, pairing, session, progress, choices);
        if (result.outcome == TransferResult::Outcome::Stopped) report.stopped = true;
        if (result.outcome == TransferResult::Outcome::Failed)
            throw std::runtime_error(result.errorDescription.toStdString());
    }

    // A table holds exactly the source's rows once loaded; a difference is an error.
    void checkRowCount(const TablePlan& table, dao::Connection& session, long long rowsBefore,
                       TableReport& report) {
        report.rowsWritten = rowCount(session, table.targetName) - rowsBefore;
        if (report.rowsWritten != report.rowsRead) {
            throw std::runtime_error(
                QStringLiteral("the table holds %1 rows of the source's %2 after the load")
                    .arg(report.rowsWritten)
                    .arg(report.rowsRead)
                    .toStdString());
        }
    }

    // The next number an AUTO_INCREMENT column gives is past the highest value loaded.
    void continueCounter(const TablePlan& table, dao::Connection& session) {
        if (table.autoIncrementColumn.isEmpty()) return;
        const long long highest =
            countOf(session, QStringLiteral("SELECT COALESCE(MAX(%1), 0) FROM %2")
                                 .arg(quoted(table.autoIncrementColumn), quoted(table.targetName)));
        session.execute(QStringLiteral("ALTER TABLE %1 AUTO_INCREMENT = %2")
                            .arg(quoted(table.targetName))
                            .arg(highest + 1));
    }

    const MigrationPlan& plan_;
    const MigrationEnds& ends_;
    const MigrationOptions& options_;
    MigrationProgress& progress_;
    MigrationState& state_;
    QStringList existing_;
    std::vector<TableReport> reports_;
    std::atomic<std::size_t> next_ = 0;
    QMutex sourceMutex_;
};

// Adds every relationship as a foreign key; one the server refuses is a warning.
int addForeignKeys(const MigrationPlan& plan, dao::Connection& session, QStringList& warnings) {
    int made = 0;
    for (const QString& statement : plan.foreignKeys) {
        try {
            session.execute(statement);
            ++made;
        } catch (const dao::DaoError& error) {
            warnings << QStringLiteral("%1: not made: %2").arg(statement, error.description());
        }
    }
    return made;
}

}  // namespace

QStringList ExistingTables(dao::Connection& connection, const MigrationPlan& plan) {
    const auto rows = connection.openRecordset(QStringLiteral(
        "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE()"));
    QStringList present;
    for (long row = 0; row < rows->recordCount(); ++row)
        present << rows->valueAt(row, 0).standardText();
    QStringList existing;
    for (const TablePlan& table : plan.tables) {
        if (present.contains(table.targetName, Qt::CaseInsensitive)) existing << table.targetName;
    }
    return existing;
}

MigrationReport Migrate(const MigrationPlan& plan, const MigrationEnds& ends,
                        const MigrationOptions& options, MigrationProgress& progress) {
    QElapsedTimer clock;
    clock.start();
    const std::unique_ptr<dao::Connection> session = ends.connect();
    MigrationReport report;
    report.database =
        session->openRecordset(QStringLiteral("SELECT DATABASE()"))->valueAt(0, 0).standardText();
    MigrationState state =
        options.statePath.isEmpty()
            ? MigrationState()
            : MigrationState(options.statePath, options.sourceName, report.database);
    QStringList existing = ExistingTables(*session, plan);
    existing.removeIf([&](const QString& table) { return state.begun(table); });
    if (options.ifExists == IfExists::Fail && !existing.isEmpty()) {
        throw MigrationRefused{
            QStringLiteral("these tables exist in \"%1\" already: %2; nothing was changed")
                .arg(report.database, existing.join(QStringLiteral(", ")))};
    }
    report.warnings = plan.warnings;
    Migration migration(plan, ends, options, progress, state);
    report.tables = migration.loadTables(existing);
    report.stopped = progress.stopRequested();
    if (!report.stopped) {
        report.relationships = addForeignKeys(plan, *session, report.warnings);
        if (!report.failed()) state.complete();
    }
    report.seconds = static_cast<double>(clock.elapsed()) / 1000;
    return report;
}

}  // namespace keldara::transfer::migration

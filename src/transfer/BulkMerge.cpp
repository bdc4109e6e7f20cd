#include "transfer/BulkMerge.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdint>
#include <optional>

#include "platform/dao/DaoError.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "shell/FieldPairing.h"
#include "transfer/BatchAhead.h"
#include "transfer/LoadDataLines.h"
#include "transfer/RunTransaction.h"
#include "transfer/SqlText.h"
#include "transfer/StatementSender.h"
#include "transfer/TableFacts.h"
#include "transfer/TransferRun.h"

namespace keldara::transfer {

namespace {

const QString kBatchTable = QStringLiteral("`keldara_batch`");

// The server's number for a table that is full: a MEMORY table at its session's size limit.
constexpr int kTableIsFull = 1114;
// The size a session allows its MEMORY batch table, enough for a batch of rows a few
// kilobytes wide (a MEMORY table keeps every VARCHAR at its full width).
const QString kMemoryTableBytes = QStringLiteral("67108864");

// The statements of a merge by a temporary table; the batch table has the columns keldara_row
// (the record's row) and the paired ones, on InnoDB or in memory.
struct JoinStatements {
    QString createBatchTable, createMemoryBatchTable, load, insertRows, repeatedMatches, countNew,
        update, rangedUpdate, keyRange, insert, clear;
};

// The join led by the batch makes the server gather the rows it found into a work table and
// update them after; led by the target, it changes each row as it reads it, about a third
// quicker. That reads the target's rows over the batch's key range, so it is done where the
// range holds at most twice as many keys as the batch has records (records in key order, the
// usual export).
void rangedUpdate(JoinStatements& s, const QString& target, const QString& key,
                  const QString& set) {
    s.keyRange = QStringLiteral(
                     "SELECT MIN(%1), MAX(%1), CAST(MAX(%1) AS DECIMAL(21)) - CAST(MIN(%1) AS "
                     "DECIMAL(21)) < 2 * COUNT(*) FROM %2")
                     .arg(key, kBatchTable);
    s.rangedUpdate =
        QStringLiteral("UPDATE %1 t STRAIGHT_JOIN %2 s ON t.%3 = s.%3 SET %4 WHERE t.%3 BETWEEN ")
            .arg(target, kBatchTable, key, set);
}

// `keyRanged`: the match column is a unique integer, by which the batch table is keyed, so
// that it is read in key order alongside the target's range, and a repeated or Null match
// value is a warning of the load. `withinRun`: every statement is inside the run's
// transaction, which TRUNCATE would end.
JoinStatements joinStatements(const QString& table, const QString& matchName,
                              const PairedFields& fields, bool keyRanged, bool withinRun) {
    const QString target = dao::mysql::QuoteIdentifier(table);
    QStringList columns, assignments, selected;
    const int match = shell::FindNameIndex(fields.names, matchName);
    for (qsizetype i = 0; i < fields.names.size(); ++i) {
        const QString column = dao::mysql::QuoteIdentifier(fields.names[i]);
        columns << column;
        selected << QStringLiteral("s.") + column;
        if (i != match) assignments << QStringLiteral("t.%1 = s.%1").arg(column);
    }
    const QString list = columns.join(QLatin1Char(','));
    const QString key = dao::mysql::QuoteIdentifier(fields.names[match]);
    const QString set = assignments.join(QLatin1Char(','));
    const QString unmatched =
        QStringLiteral("NOT EXISTS (SELECT 1 FROM %1 t WHERE t.%2 = s.%2)").arg(target, key);
    JoinStatements s;
    // One arg() call for all: a second would read a placeholder in a name put in by the first.
    const auto createBatchTable = [&](const QString& engine) {
        return QStringLiteral(
                   "CREATE TEMPORARY TABLE %1 (keldara_row BIGINT NOT NULL DEFAULT 0%2) "
                   "ENGINE=%3 SELECT %4 FROM %5 LIMIT 0")
            .arg(kBatchTable,
                 keyRanged ? QStringLiteral(", PRIMARY KEY (%1)").arg(key)
                           : QStringLiteral(" PRIMARY KEY"),
                 engine, list, target);
    };
    s.createBatchTable = createBatchTable(QStringLiteral("InnoDB"));
    s.createMemoryBatchTable = createBatchTable(QStringLiteral("MEMORY"));
    s.load = LoadDataStatement(kBatchTable, QStringLiteral("keldara_row,") + list);
    s.insertRows =
        RecordText::insert(kBatchTable, QStringList{QStringLiteral("keldara_row")} + fields.names)
            .marked();
    s.repeatedMatches =
        QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM %1 GROUP BY %2 HAVING COUNT(*) > 1) r")
            .arg(kBatchTable, key);
    s.countNew = QStringLiteral("SELECT COUNT(*) FROM %1 s WHERE %2").arg(kBatchTable, unmatched);
    s.update = QStringLiteral("UPDATE %1 t JOIN %2 s ON t.%3 = s.%3 SET %4")
                   .arg(target, kBatchTable, key, set);
    rangedUpdate(s, target, key, set);
    s.insert =
        QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4 s WHERE %5 ORDER BY s.keldara_row")
            .arg(target, list, selected.join(QLatin1Char(',')), kBatchTable, unmatched);
    // TRUNCATE is much the quicker, but it would end the run's transaction.
    s.clear = (withinRun ? QStringLiteral("DELETE FROM ") : QStringLiteral("TRUNCATE TABLE ")) +
              kBatchTable;
    return s;
}

// Records `first` to `end` - 1 as lines of the batch table or as its rows of values, or a record
// that neither holds (a field of bytes) on its own.
struct BatchLines {
    long first = 0;
    long end = 0;
    bool loadable = false;
    QByteArray lines;
    std::optional<dao::ValueRows> rows;  // in place of the lines
    // The lowest and highest match value, where the match column is keyed by integers and
    // every record's value is one.
    std::optional<std::pair<std::int64_t, std::int64_t>> keys;
};

// The record's row, which leads its line of the batch table.
void appendRowNumber(QByteArray& lines, long row) {
    char digits[24];
    char* end = std::to_chars(digits, digits + sizeof digits - 1, row).ptr;
    lines.append(digits, end - digits);
}

// A batch's lines and, when they were loaded ahead, the session holding them.
struct StagedBatch {
    BatchLines lines;
    dao::Connection* loadedOn = nullptr;
    dao::Connection::LoadedData loaded;
};

// Sends a merge's records a batch at a time through the batch table, falling back to a
// statement per record for a batch the join cannot take.
class JoinSender : public Sender {
  public:
    JoinSender(bool upsert, const QString& table, const QString& matchName,
               const PairedFields& fields, dao::Connection& connection, TransferRun& run,
               bool withinRun)
        : upsert_(upsert),
          fields_(fields),
          connection_(connection),
          run_(run),
          withinRun_(withinRun),
          oneByOne_(upsert ? WriteAction::Upsert : WriteAction::Update, table, matchName, fields,
                    connection, run),
          insertsRows_(connection.insertsValueRows()) {
        const int match = shell::FindNameIndex(fields.names, matchName);
        matchSource_ = fields.columns[static_cast<std::size_t>(match)];
        const QString matchColumn = fields.names[match];
        const MatchColumn matched = matchColumnOf(connection, table, matchColumn);
        matchUnique_ = matched.unique;
        keyRanged_ = matched.unique && matched.integer;
        // A cluster node counts a MEMORY table's rows into a transaction's write set.
        inMemory_ = keyRanged_ && !withinRun && !limits_.clusterNode;
        statements_ = joinStatements(table, matchName, fields, keyRanged_, withinRun);
        if (insertsRows_) {
            columnForms_ = columnFormsOf(connection, table, fields.names);
            columnForms_.insert(columnForms_.begin(), dao::ValueRows::Form::Integer);  // the row
        }
        createBatchTable(connection);
        openHelper();
    }

    ~JoinSender() override {
        ahead_.wait();
        for (dao::Connection* session : {&connection_, helper_.get()}) {
            if (session == nullptr) continue;
            try {
                session->execute(QStringLiteral("DROP TEMPORARY TABLE IF EXISTS ") + kBatchTable);
                if (session == &connection_ && heapRaised_)
                    session->execute(QStringLiteral("SET SESSION max_heap_table_size = DEFAULT"));
            } catch (const dao::DaoError&) {  // a lost connection drops it with the session
            }
        }
    }

    // After the connection was opened again (a new session without the batch table): a batch
    // was undone, or kept when its commit was lost, and a record sent alone may have been
    // written; an update sent again finds the same rows, so they all are sent again.
    Resumed resume(long first, long /*end*/, const dao::DaoError& /*error*/) override {
        ahead_.drop();
        createBatchTable(connection_);
        openHelper();
        return {first, {}};
    }

    // While the server takes this batch, a second thread writes the next one's lines and,
    // where a second session is open, loads them into that session's batch table, so that the
    // server reads the next batch while it updates the target with this one. The target is
    // written by one batch at a time, in order. A session is used by one of the threads at a
    // time.
    long send(long first, long count) override {
        StagedBatch batch = ahead_.take([&] { return staged(first, count, nullptr); });
        dao::Connection& session = batch.loadedOn != nullptr ? *batch.loadedOn : connection_;
        try {
            if (batch.lines.end < count) {
                ahead_.start([this, end = batch.lines.end, count, other = otherSession(session)] {
                    return staged(end, count, other);
                });
            }
            run_.reach(160);
            run_.sendingRows(batch.lines.first, batch.lines.end);
            if (!batch.lines.loadable || !loads_ || !joined(session, batch)) {
                ahead_.wait();
                sendOneByOne(batch.lines.first, batch.lines.end);
            }
        } catch (...) {
            ahead_.wait();  // before anyone opens either session again
            throw;
        }
        return batch.lines.end - batch.lines.first;
    }

  private:
    // The batch from `first` on, as rows where the server takes them in one insert and they
    // fit one of its packets (see BulkInsert), else as lines.
    BatchLines linesFrom(long first, long count) const {
        BatchLines batch = insertsRows_ ? rowsFrom(first, count) : BatchLines{};
        if (!batch.rows || !limits_.rowsFitOnePacket(batch.rows->bytes())) {
            batch = BatchLines{first, first, false, {}, std::nullopt, std::nullopt};
            batch.lines.reserve(limits_.loadBytes + limits_.loadBytes / 8);
            while (batch.end < count && batch.end - first < limits_.rows &&
                   batch.lines.size() < limits_.loadBytes) {
                const qsizetype before = batch.lines.size();
                appendRowNumber(batch.lines, batch.end);
                batch.lines += '\t';
                if (!AppendLoadLine(batch.lines, fields_, batch.end)) {
                    batch.lines.truncate(before);
                    break;
                }
                ++batch.end;
            }
        }
        if (batch.end == first) return {first, first + 1, false, {}, std::nullopt, std::nullopt};
        batch.loadable = true;
        if (keyRanged_) batch.keys = keysOf(first, batch.end);
        return batch;
    }

    // The batch from `first` on as rows of values, each led by its record's row; without rows
    // when its first record has a field of bytes.
    BatchLines rowsFrom(long first, long count) const {
        dao::ValueRows rows(static_cast<int>(fields_.columns.size()) + 1, columnForms_);
        rows.reserve(limits_.rows, limits_.rowBytes + limits_.rowBytes / 8);
        long end = first;
        fields_.source.readRecords(first, count, [&](const auto& columns, std::size_t index) {
            if (end - first >= limits_.rows || rows.bytes() >= limits_.rowBytes) return false;
            rows.appendInteger(end);
            if (!AppendRowValues(rows, fields_, columns, index)) return false;
            ++end;
            return true;
        });
        if (end == first) return {first, first, false, {}, std::nullopt, std::nullopt};
        return {first, end, false, {}, std::move(rows), std::nullopt};
    }

    std::optional<std::pair<std::int64_t, std::int64_t>> keysOf(long first, long end) const {
        std::int64_t lowest = INT64_MAX, highest = INT64_MIN;
        for (long row = first; row < end; ++row) {
            const dao::Value value = fields_.source.valueAt(row, matchSource_);
            if (value.kind() != dao::ValueKind::Integer) return std::nullopt;
            lowest = std::min(lowest, value.toInt());
            highest = std::max(highest, value.toInt());
        }
        return std::pair{lowest, highest};
    }

    // Loading ahead is only a head start: a batch it failed to load is loaded again in its
    // turn, which then reports what fails.
    StagedBatch staged(long first, long count, dao::Connection* session) {
        StagedBatch batch{linesFrom(first, count), nullptr, {}};
        if (session == nullptr || !batch.lines.loadable) return batch;
        try {
            session->execute(statements_.clear);
            batch.loaded = loadInto(*session, batch.lines);
            batch.loadedOn = session;
        } catch (const dao::DaoError&) {
            loadAheadFailed_ = true;
        }
        return batch;
    }

    // The session the next batch is loaded in ahead while `busy` takes this one, if any.
    dao::Connection* otherSession(const dao::Connection& busy) {
        if (!helper_ || loadAheadFailed_) return nullptr;
        return &busy == &connection_ ? helper_.get() : &connection_;
    }

    // A batch table keyed by an integer is loaded and read about a third quicker in memory
    // than on InnoDB; where the server will not make it there (a TEXT or BLOB column), it is
    // made on InnoDB, as it is from then on.
    void createBatchTable(dao::Connection& session) {
        session.execute(QStringLiteral("DROP TEMPORARY TABLE IF EXISTS ") + kBatchTable);
        if (inMemory_) {
            try {
                session.execute(QStringLiteral("SET SESSION max_heap_table_size = GREATEST(%1, "
                                               "@@SESSION.max_heap_table_size)")
                                    .arg(kMemoryTableBytes));
                if (&session == &connection_) heapRaised_ = true;
                session.execute(statements_.createMemoryBatchTable);
                return;
            } catch (const dao::DaoError& error) {
                if (error.transient()) throw;
                inMemory_ = false;
            }
        }
        session.execute(statements_.createBatchTable);
    }

    // Puts `batch` into the session's batch table. A batch of rows wider than a MEMORY table
    // of the session's size holds fills it before its end: the table is made again on InnoDB,
    // for this and every later batch, and the batch put into it.
    dao::Connection::LoadedData loadInto(dao::Connection& session, const BatchLines& batch) {
        try {
            return put(session, batch);
        } catch (const dao::DaoError& error) {
            if (error.nativeCode() != kTableIsFull) throw;
            inMemory_ = false;
            createBatchTable(session);
            return put(session, batch);
        }
    }

    // A batch's rows go in one insert, which a row the table refuses (a repeated key) stops:
    // told as a load of no rows, which sends the batch record by record. Its lines are loaded.
    dao::Connection::LoadedData put(dao::Connection& session, const BatchLines& batch) {
        if (!batch.rows) return session.loadLocalData(statements_.load, batch.lines);
        try {
            const auto inserted = session.insertValueRows(statements_.insertRows, *batch.rows);
            return {inserted.rows, inserted.warnings, {}};
        } catch (const dao::DaoError& error) {
            if (error.transient() || error.nativeCode() == kTableIsFull) throw;
            return {};
        }
    }

    // The second session, where the provider opens one and the run is not one transaction
    // (which only its own session can write in).
    void openHelper() {
        helper_.reset();
        loadAheadFailed_ = false;
        if (withinRun_) return;
        try {
            helper_ = connection_.openAlongside();
            if (helper_) createBatchTable(*helper_);
        } catch (const dao::DaoError&) {
            helper_.reset();
        }
    }

    // The batch written by the join and kept; false when it was undone.
    bool joined(dao::Connection& session, const StagedBatch& batch) {
        if (!withinRun_ && batch.loadedOn == nullptr) session.execute(statements_.clear);
        BatchTransaction transaction(session, withinRun_);
        try {
            // Every statement inside a run's transaction: TRUNCATE would end it.
            if (withinRun_) session.execute(statements_.clear);
            const dao::Connection::LoadedData loaded =
                batch.loadedOn != nullptr ? batch.loaded : loadBatch(session, batch.lines);
            const long size = batch.lines.end - batch.lines.first;
            if (loaded.rows != size || loaded.warnings != 0 ||
                (!keyRanged_ && countOf(session, statements_.repeatedMatches) != 0)) {
                transaction.undo();
                return false;
            }
            const long unmatched = joinedUnmatched(session, batch.lines);
            transaction.keep();
            run_.ledger().updated(size - unmatched);
            upsert_ ? run_.ledger().inserted(unmatched) : run_.ledger().unmatched(unmatched);
            return true;
        } catch (const dao::DaoError& error) {
            if (error.transient()) throw;
            transaction.undo();
            return false;
        }
    }

    // Updates the target by the batch's records (and inserts those that matched no row, for
    // an update or insert); returns how many matched no row. The update does not write the
    // match column: the insert finds the records that matched no row. Within the batch no two
    // records share a match value, so the insert adds one row for each unmatched record, and
    // where no two rows share one either, the rows the update found are the records that
    // matched.
    long joinedUnmatched(dao::Connection& session, const BatchLines& batch) {
        const long size = batch.end - batch.first;
        const long long found = session.executeCounted(updateStatement(session, batch));
        if (upsert_) return static_cast<long>(session.executeCounted(statements_.insert));
        if (matchUnique_ && found >= 0) return size - static_cast<long>(found);
        return static_cast<long>(countOf(session, statements_.countNew));
    }

    // The batch table holds the batch's records as they are (it loaded them without a
    // warning), so integer keys tell its key range without asking the server.
    QString updateStatement(dao::Connection& session, const BatchLines& batch) {
        if (!keyRanged_) return statements_.update;
        QString lowest, highest;
        bool close = false;
        if (batch.keys) {
            const auto [low, high] = *batch.keys;
            const std::uint64_t span =
                static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low);
            close = span < 2 * static_cast<std::uint64_t>(batch.end - batch.first);
            lowest = QString::number(low);
            highest = QString::number(high);
        } else {
            const auto range = session.openRecordset(statements_.keyRange);
            close = range->valueAt(0, 2).standardText() == QLatin1String("1");
            lowest = range->valueAt(0, 0).standardText();
            highest = range->valueAt(0, 1).standardText();
        }
        if (!close) return statements_.update;
        return statements_.rangedUpdate + lowest + QStringLiteral(" AND ") + highest;
    }

    // A server that refuses LOAD DATA LOCAL refuses it every time: its records are written
    // one by one from then on (the DaoError goes to joined's caller as an undone batch).
    dao::Connection::LoadedData loadBatch(dao::Connection& session, const BatchLines& batch) {
        try {
            return loadInto(session, batch);
        } catch (const dao::DaoError& error) {
            if (!error.transient()) loads_ = false;
            throw;
        }
    }

    void sendOneByOne(long first, long end) {
        for (long row = first; row < end; ++row) {
            run_.sendingRow(row);
            run_.reach(160);
            oneByOne_.write(row);
        }
    }

    const bool upsert_;
    const PairedFields& fields_;
    dao::Connection& connection_;
    TransferRun& run_;
    const bool withinRun_;
    StatementSender oneByOne_;
    const bool insertsRows_;  // batches go as rows of values, in one insert each
    std::vector<dao::ValueRows::Form> columnForms_;  // of the batch table, its row first
    bool matchUnique_ = false;            // no two rows of the target hold the same match value
    bool keyRanged_ = false;              // ... and it is an integer: updates may go by its range
    int matchSource_ = 0;                 // the source column of the match field
    std::atomic<bool> inMemory_ = false;  // batch tables are made in memory
    bool heapRaised_ = false;  // the run's session allows a larger MEMORY table than before
    JoinStatements statements_;
    bool loads_ = true;  // the server loads local data
    const BatchLimits limits_ = batchLimitsOf(connection_);
    std::unique_ptr<dao::Connection> helper_;  // the second session, if any
    // A load ahead failed: none is made until the run opens its connection again.
    std::atomic<bool> loadAheadFailed_ = false;
    BatchAhead<StagedBatch> ahead_;
};

}  // namespace

TransferResult BulkMerge(bool upsert, const QString& table, const QString& matchName,
                         const dao::Recordset& source, const shell::FieldPairing& pairing,
                         dao::Connection& connection, TransferProgress& progress,
                         const RunChoices& choices) {
    TransferRun run(progress, QStringLiteral("Copied Record :"), choices);
    return run.run([&] {
        const PairedFields fields = run.merging(source, pairing);
        run.reach(120);
        const WriteAction action = upsert ? WriteAction::Upsert : WriteAction::Update;
        StatementSender statements(action, table, matchName, fields, connection, run);
        run.reach(130);
        const long count = source.recordCount();
        progress.setProgressMaximum(count);
        if (choices.emptyTarget && !upsert) refuseUpdateOfEmptied();
        RunTransaction whole(connection, table, run);
        run.retryOn(connection);
        run.startAt(choices.resumeAt);
        if (!transactional(connection, table)) {
            run.forEachBatch(count, 140, statements);
        } else {
            JoinSender sender(upsert, table, matchName, fields, connection, run, whole.active());
            run.forEachBatch(count, 140, sender);
        }
        // A stop undoes a run kept in one transaction: the emptied table gets its rows back.
        if (!run.stopped()) whole.keep();
    });
}

}  // namespace keldara::transfer

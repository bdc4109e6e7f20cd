#include "transfer/BulkMerge.h"

#include <atomic>
#include <future>

#include "mapping/FieldMatching.h"
#include "platform/dao/DaoError.h"
#include "transfer/BulkInsert.h"
#include "transfer/PairedFields.h"
#include "transfer/RecordLoop.h"
#include "transfer/RecordStatements.h"
#include "transfer/SqlText.h"

namespace keldara::transfer {

namespace {

const QString kBatchTable = QStringLiteral("`keldara_batch`");

long long countOf(dao::Connection& connection, const QString& query) {
    return connection.openRecordset(query)->valueAt(0, 0).toInt();
}

// What the target's match column is: unique (a unique index of the table, its primary key
// among them, is on it alone, so that no two rows hold the same value of it), and an integer.
struct MatchColumn {
    bool unique = false;
    bool integer = false;
};

MatchColumn matchColumnOf(dao::Connection& connection, const QString& table,
                          const QString& column) {
    const QString ofColumn = QStringLiteral("TABLE_SCHEMA = DATABASE() AND TABLE_NAME = %1 AND")
                                 .arg(dao::Value::text(table).sqlLiteral());
    const auto facts = connection.openRecordset(
        QStringLiteral("SELECT EXISTS (SELECT 1 FROM information_schema.STATISTICS WHERE %1 "
                       "NON_UNIQUE = 0 GROUP BY INDEX_NAME HAVING COUNT(*) = 1 AND "
                       "MAX(COLUMN_NAME) = %2), EXISTS (SELECT 1 FROM "
                       "information_schema.COLUMNS WHERE %1 COLUMN_NAME = %2 AND DATA_TYPE IN "
                       "('tinyint', 'smallint', 'mediumint', 'int', 'bigint'))")
            .arg(ofColumn, dao::Value::text(column).sqlLiteral()));
    return {facts->valueAt(0, 0).toInt() != 0, facts->valueAt(0, 1).toInt() != 0};
}

// The statements of one run by a temporary table; the batch table has the columns
// keldara_row (the record's row) and the paired ones.
class JoinRun {
  public:
    JoinRun(bool upsert, const QString& table, const QString& matchName, const PairedFields& fields,
            dao::Connection& connection, RecordLoop& loop, const RunChoices& choices,
            RecordCounts& counts, bool withinRun)
        : upsert_(upsert),
          fields_(fields),
          connection_(connection),
          loop_(loop),
          choices_(choices),
          counts_(counts),
          withinRun_(withinRun),
          statements_(upsert ? WriteAction::Upsert : WriteAction::Update, table, matchName,
                      fields) {
        const QString target = QuoteIdentifier(table);
        QStringList columns;
        QStringList assignments;
        const int match = mapping::FindNameIndex(fields.names, matchName);
        for (qsizetype i = 0; i < fields.names.size(); ++i) {
            const QString column = QuoteIdentifier(fields.names[i]);
            columns << column;
            if (i != match) assignments << QStringLiteral("t.%1 = s.%1").arg(column);
        }
        const QString list = columns.join(QLatin1Char(','));
        const QString matchColumn = QuoteIdentifier(fields.names[match]);
        const MatchColumn matched = matchColumnOf(connection, table, fields.names[match]);
        matchUnique_ = matched.unique;
        keyRanged_ = matched.unique && matched.integer;
        // Keyed by the match column, the batch table is read in key order alongside the
        // target's range, and a repeated or Null match value is a warning of the load.
        const QString batchKey = keyRanged_ ? QStringLiteral(", PRIMARY KEY (%1)").arg(matchColumn)
                                            : QStringLiteral(" PRIMARY KEY");
        createBatchTable_ = QStringLiteral(
                                "CREATE TEMPORARY TABLE %1 (keldara_row BIGINT NOT NULL "
                                "DEFAULT 0%2) ENGINE=InnoDB SELECT %3 FROM %4 LIMIT 0")
                                .arg(kBatchTable, batchKey, list, target);
        createBatchTable(connection);
        load_ = QStringLiteral(
                    "LOAD DATA LOCAL INFILE 'keldara' INTO TABLE %1 CHARACTER SET utf8mb4 "
                    "FIELDS TERMINATED BY '\\t' ESCAPED BY '\\\\' LINES TERMINATED BY '\\n' "
                    "(keldara_row,%2)")
                    .arg(kBatchTable, list);
        repeatedMatches_ = QStringLiteral(
                               "SELECT COUNT(*) FROM (SELECT 1 FROM %1 GROUP BY %2 HAVING "
                               "COUNT(*) > 1) r")
                               .arg(kBatchTable, matchColumn);
        const QString unmatched =
            QStringLiteral("NOT EXISTS (SELECT 1 FROM %1 t WHERE t.%2 = s.%2)")
                .arg(target, matchColumn);
        countNew_ =
            QStringLiteral("SELECT COUNT(*) FROM %1 s WHERE %2").arg(kBatchTable, unmatched);
        update_ = QStringLiteral("UPDATE %1 t JOIN %2 s ON t.%3 = s.%3 SET %4")
                      .arg(target, kBatchTable, matchColumn, assignments.join(QLatin1Char(',')));
        // The join led by the batch makes the server gather the rows it found into a work table
        // and update them after; led by the target, it changes each row as it reads it, about a
        // third quicker. That reads the target's rows over the batch's key range, so it is done
        // where the range holds at most twice as many keys as the batch has records (records in
        // key order, the usual export).
        keyRange_ = QStringLiteral(
                        "SELECT MIN(%1), MAX(%1), CAST(MAX(%1) AS DECIMAL(21)) - CAST(MIN(%1) AS "
                        "DECIMAL(21)) < 2 * COUNT(*) FROM %2")
                        .arg(matchColumn, kBatchTable);
        rangedUpdate_ =
            QStringLiteral(
                "UPDATE %1 t STRAIGHT_JOIN %2 s ON t.%3 = s.%3 SET %4 WHERE t.%3 "
                "BETWEEN ")
                .arg(target, kBatchTable, matchColumn, assignments.join(QLatin1Char(',')));
        QStringList selected;
        for (const QString& column : columns) selected << QStringLiteral("s.") + column;
        insert_ = QStringLiteral(
                      "INSERT INTO %1 (%2) SELECT %3 FROM %4 s WHERE %5 ORDER BY "
                      "s.keldara_row")
                      .arg(target, list, selected.join(QLatin1Char(',')), kBatchTable, unmatched);
        // TRUNCATE is much the quicker, but it would end the run's transaction.
        clear_ = (withinRun ? QStringLiteral("DELETE FROM ") : QStringLiteral("TRUNCATE TABLE ")) +
                 kBatchTable;
        openHelper();
    }

    ~JoinRun() {
        waitForNext();
        for (dao::Connection* session : {&connection_, helper_.get()}) {
            if (session == nullptr) continue;
            try {
                session->execute(QStringLiteral("DROP TEMPORARY TABLE IF EXISTS ") + kBatchTable);
            } catch (const dao::DaoError&) {  // a lost connection drops it with the session
            }
        }
    }

    // After the connection was opened again (a new session without the batch table): a batch
    // was undone, or kept when its commit was lost, and a record sent alone may have been
    // written; an update sent again finds the same rows, so they all are sent again.
    RecordLoop::Resumed resume(long first) {
        waitForNext();
        next_ = {};
        createBatchTable(connection_);
        openHelper();
        return {first, {}};
    }

    // Writes the records from `first` on that fit one batch; returns how many. While the
    // server takes this batch, a second thread writes the next one's lines and, where a second
    // session is open, loads them into that session's batch table, so that the server reads
    // the next batch while it updates the target with this one. The target is written by one
    // batch at a time, in order. Only reading the records is shared between the threads, and
    // a session is used by one of them at a time.
    long sendBatch(long first, long count) {
        StagedBatch batch = next_.valid() ? next_.get() : staged(first, count, nullptr);
        dao::Connection& session = batch.loadedOn != nullptr ? *batch.loadedOn : connection_;
        try {
            if (batch.lines.end < count) {
                next_ = std::async(std::launch::async, [this, end = batch.lines.end, count,
                                                        other = otherSession(session)] {
                    return staged(end, count, other);
                });
            }
            loop_.reach(160);
            loop_.sendingRows(batch.lines.first, batch.lines.end);
            if (!batch.lines.loadable || !loads_ || !joined(session, batch)) {
                waitForNext();
                sendOneByOne(batch.lines.first, batch.lines.end);
            }
        } catch (...) {
            waitForNext();  // before anyone opens either session again
            throw;
        }
        return batch.lines.end - batch.lines.first;
    }

  private:
    // Records `first` to `end` - 1 as lines of the batch table, or a record that no line
    // holds (a field of bytes) on its own.
    struct BatchLines {
        long first = 0;
        long end = 0;
        bool loadable = false;
        QByteArray lines;
    };

    // A batch's lines and, when they were loaded ahead, the session holding them.
    struct StagedBatch {
        BatchLines lines;
        dao::Connection* loadedOn = nullptr;
        dao::Connection::LoadedData loaded;
    };

    BatchLines linesFrom(long first, long count) const {
        QString lines;
        long end = first;
        while (end < count && end - first < limits_.rows && lines.size() < limits_.loadChars) {
            const qsizetype before = lines.size();
            lines += QString::number(end) + QLatin1Char('\t');
            if (!AppendLoadLine(lines, fields_, end)) {
                lines.truncate(before);
                break;
            }
            ++end;
        }
        if (end == first) return {first, first + 1, false, {}};
        return {first, end, true, lines.toUtf8()};
    }

    // Loading ahead is only a head start: a batch it failed to load is loaded again in its
    // turn, which then reports what fails.
    StagedBatch staged(long first, long count, dao::Connection* session) {
        StagedBatch batch{linesFrom(first, count), nullptr, {}};
        if (session == nullptr || !batch.lines.loadable) return batch;
        try {
            session->execute(clear_);
            batch.loaded = session->loadLocalData(load_, batch.lines.lines);
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

    void waitForNext() {
        if (next_.valid()) next_.wait();
    }

    void createBatchTable(dao::Connection& session) {
        session.execute(QStringLiteral("DROP TEMPORARY TABLE IF EXISTS ") + kBatchTable);
        session.execute(createBatchTable_);
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
        if (!withinRun_ && batch.loadedOn == nullptr) session.execute(clear_);
        BatchTransaction transaction(session, withinRun_);
        try {
            // Every statement inside a run's transaction: TRUNCATE would end it.
            if (withinRun_) session.execute(clear_);
            const dao::Connection::LoadedData loaded =
                batch.loadedOn != nullptr ? batch.loaded : loadBatch(session, batch.lines.lines);
            const long size = batch.lines.end - batch.lines.first;
            if (loaded.rows != size || loaded.warnings != 0 ||
                (!keyRanged_ && countOf(session, repeatedMatches_) != 0)) {
                transaction.undo();
                return false;
            }
            // The update does not write the match column: the insert finds the records that
            // matched no row. Within the batch no two records share a match value, so the
            // insert adds one row for each unmatched record, and where no two rows share one
            // either, the rows the update found are the records that matched.
            const long long found = session.executeCounted(updateStatement(session));
            long unmatched = 0;
            if (upsert_)
                unmatched = static_cast<long>(session.executeCounted(insert_));
            else if (matchUnique_ && found >= 0)
                unmatched = size - static_cast<long>(found);
            else
                unmatched = static_cast<long>(countOf(session, countNew_));
            transaction.keep();
            counts_.updated += size - unmatched;
            (upsert_ ? counts_.inserted : counts_.unmatched) += unmatched;
            return true;
        } catch (const dao::DaoError& error) {
            if (error.transient()) throw;
            transaction.undo();
            return false;
        }
    }

    QString updateStatement(dao::Connection& session) {
        if (!keyRanged_) return update_;
        const auto range = session.openRecordset(keyRange_);
        if (range->valueAt(0, 2).standardText() != QLatin1String("1")) return update_;
        return rangedUpdate_ + range->valueAt(0, 0).standardText() + QStringLiteral(" AND ") +
               range->valueAt(0, 1).standardText();
    }

    // A server that refuses LOAD DATA LOCAL refuses it every time: its records are written
    // one by one from then on (the DaoError goes to joined's caller as an undone batch).
    dao::Connection::LoadedData loadBatch(dao::Connection& session, const QByteArray& lines) {
        try {
            return session.loadLocalData(load_, lines);
        } catch (const dao::DaoError& error) {
            if (!error.transient()) loads_ = false;
            throw;
        }
    }

    void sendOneByOne(long first, long end) {
        for (long row = first; row < end; ++row) {
            loop_.sendingRow(row);
            loop_.reach(160);
            statements_.write(row, connection_, choices_, counts_);
        }
    }

    const bool upsert_;
    const PairedFields& fields_;
    dao::Connection& connection_;
    RecordLoop& loop_;
    const RunChoices& choices_;
    RecordCounts& counts_;
    const bool withinRun_;
    bool matchUnique_ = false;  // no two rows of the target hold the same match value
    bool keyRanged_ = false;    // ... and it is an integer: updates may go by its range
    RecordStatements statements_;
    bool loads_ = true;  // the server loads local data
    const BatchLimits limits_ = batchLimitsOf(connection_);
    QString createBatchTable_, load_, repeatedMatches_, countNew_, update_, insert_, clear_,
        keyRange_, rangedUpdate_;
    std::unique_ptr<dao::Connection> helper_;  // the second session, if any
    // A load ahead failed: none is made until the run opens its connection again.
    std::atomic<bool> loadAheadFailed_ = false;
    std::future<StagedBatch> next_;
};

}  // namespace

TransferResult BulkMerge(bool upsert, const QString& table, const QString& matchName,
                         const dao::Recordset& source, const mapping::FieldPairing& pairing,
                         dao::Connection& connection, TransferProgress& progress,
                         const RunChoices& choices) {
    RecordLoop loop(progress, QStringLiteral("Copied Record :"));
    RecordCounts counts;
    bool undone = false;
    TransferResult result = loop.run([&] {
        counts = {};
        undone = false;
        choices.restartRun();
        loop.reach(100);
        loop.status(QStringLiteral("Merging"));
        loop.reach(110);
        const PairedFields fields(source, pairing);
        loop.reach(120);
        RecordStatements statements(upsert ? WriteAction::Upsert : WriteAction::Update, table,
                                    matchName, fields);
        loop.reach(130);
        const long count = source.recordCount();
        progress.setProgressMaximum(count);
        if (choices.emptyTarget && !upsert) refuseUpdateOfEmptied();
        RunTransaction whole(connection, table, choices.emptyTarget, undone);
        loop.restartsWhole(whole.active());
        // An update sent again finds the same rows: records in flight are sent again.
        loop.retryOn(connection, choices.retryForSeconds,
                     [](long first, long, const dao::DaoError&) -> RecordLoop::Resumed {
                         return {first, {}};
                     });
        loop.startAt(choices.resumeAt);
        if (!transactional(connection, table)) {
            loop.forEachRecord(count, 140, [&](long row) {
                loop.reach(160);
                statements.write(row, connection, choices, counts);
            });
            whole.keep();
            return;
        }
        JoinRun run(upsert, table, matchName, fields, connection, loop, choices, counts,
                    whole.active());
        loop.retryOn(connection, choices.retryForSeconds,
                     [&](long first, long, const dao::DaoError&) { return run.resume(first); });
        loop.forEachBatch(count, 140, [&](long first) { return run.sendBatch(first, count); });
        // A stop undoes a run kept in one transaction: the emptied table gets its rows back.
        if (!loop.stopped()) whole.keep();
    });
    counts.into(result);
    if (undone) undoneRun(result);
    return result;
}

}  // namespace keldara::transfer

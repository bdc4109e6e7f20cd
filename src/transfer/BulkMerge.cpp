#include "transfer/BulkMerge.h"

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

// Whether a unique index of `table` (its primary key among them) is on `column` alone, so
// that no two of its rows hold the same value of it.
bool uniqueColumn(dao::Connection& connection, const QString& table, const QString& column) {
    return countOf(
               connection,
               QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM information_schema.STATISTICS "
                              "WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = %1 AND "
                              "NON_UNIQUE = 0 GROUP BY INDEX_NAME HAVING COUNT(*) = 1 AND "
                              "MAX(COLUMN_NAME) = %2) u")
                   .arg(dao::Value::text(table).sqlLiteral(),
                        dao::Value::text(column).sqlLiteral())) > 0;
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
        matchUnique_ = uniqueColumn(connection, table, fields.names[match]);
        createBatchTable_ = QStringLiteral(
                                "CREATE TEMPORARY TABLE %1 (keldara_row BIGINT NOT NULL "
                                "DEFAULT 0 PRIMARY KEY) ENGINE=InnoDB SELECT %2 FROM %3 LIMIT 0")
                                .arg(kBatchTable, list, target);
        createBatchTable();
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
        QStringList selected;
        for (const QString& column : columns) selected << QStringLiteral("s.") + column;
        insert_ = QStringLiteral(
                      "INSERT INTO %1 (%2) SELECT %3 FROM %4 s WHERE %5 ORDER BY "
                      "s.keldara_row")
                      .arg(target, list, selected.join(QLatin1Char(',')), kBatchTable, unmatched);
        // TRUNCATE is much the quicker, but it would end the run's transaction.
        clear_ = (withinRun ? QStringLiteral("DELETE FROM ") : QStringLiteral("TRUNCATE TABLE ")) +
                 kBatchTable;
    }

    ~JoinRun() {
        waitForNext();
        try {
            connection_.execute(QStringLiteral("DROP TEMPORARY TABLE IF EXISTS ") + kBatchTable);
        } catch (const dao::DaoError&) {  // a lost connection drops it with the session
        }
    }

    // Every statement inside a transaction: TRUNCATE would end it.
    void createBatchTable() {
        connection_.execute(QStringLiteral("DROP TEMPORARY TABLE IF EXISTS ") + kBatchTable);
        connection_.execute(createBatchTable_);
    }

    // After the connection was opened again (a new session without the batch table): a batch
    // was undone, or kept when its commit was lost, and a record sent alone may have been
    // written; an update sent again finds the same rows, so they all are sent again.
    RecordLoop::Resumed resume(long first) {
        waitForNext();
        next_ = {};
        createBatchTable();
        return {first, {}};
    }

    // Writes the records from `first` on that fit one batch; returns how many. The next
    // batch's lines are written on a second thread while the server takes this one; only
    // reading the records is shared between the two threads.
    long sendBatch(long first, long count) {
        const BatchLines batch = next_.valid() ? next_.get() : linesFrom(first, count);
        if (batch.end < count) {
            next_ = std::async(std::launch::async,
                               [this, end = batch.end, count] { return linesFrom(end, count); });
        }
        loop_.reach(160);
        loop_.sendingRows(batch.first, batch.end);
        if (!batch.loadable || !loads_ || !joined(batch.first, batch.end, batch.lines)) {
            waitForNext();
            sendOneByOne(batch.first, batch.end);
        }
        return batch.end - batch.first;
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

    void waitForNext() {
        if (next_.valid()) next_.wait();
    }

    // The batch written by the join and kept; false when it was undone.
    bool joined(long first, long end, const QByteArray& lines) {
        if (!withinRun_) connection_.execute(clear_);
        BatchTransaction transaction(connection_, withinRun_);
        try {
            if (withinRun_) connection_.execute(clear_);
            const dao::Connection::LoadedData loaded = loadBatch(lines);
            const long size = end - first;
            if (loaded.rows != size || loaded.warnings != 0 ||
                countOf(connection_, repeatedMatches_) != 0) {
                transaction.undo();
                return false;
            }
            // The update does not write the match column: the insert finds the records that
            // matched no row. Within the batch no two records share a match value, so the
            // insert adds one row for each unmatched record, and where no two rows share one
            // either, the rows the update found are the records that matched.
            const long long found = connection_.executeCounted(update_);
            long unmatched = 0;
            if (upsert_)
                unmatched = static_cast<long>(connection_.executeCounted(insert_));
            else if (matchUnique_ && found >= 0)
                unmatched = size - static_cast<long>(found);
            else
                unmatched = static_cast<long>(countOf(connection_, countNew_));
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

    // A server that refuses LOAD DATA LOCAL refuses it every time: its records are written
    // one by one from then on (the DaoError goes to joined's caller as an undone batch).
    dao::Connection::LoadedData loadBatch(const QByteArray& lines) {
        try {
            return connection_.loadLocalData(load_, lines);
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
    RecordStatements statements_;
    bool loads_ = true;  // the server loads local data
    const BatchLimits limits_ = batchLimitsOf(connection_);
    QString createBatchTable_, load_, repeatedMatches_, countNew_, update_, insert_, clear_;
    std::future<BatchLines> next_;
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
        whole.keep();
    });
    counts.into(result);
    if (undone) undoneRun(result);
    return result;
}

}  // namespace keldara::transfer

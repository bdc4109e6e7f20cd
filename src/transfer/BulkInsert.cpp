#include "transfer/BulkInsert.h"

#include <algorithm>

#include "platform/dao/DaoError.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "transfer/BatchAhead.h"
#include "transfer/LandedRecords.h"
#include "transfer/LoadDataLines.h"
#include "transfer/RunTransaction.h"
#include "transfer/SqlText.h"
#include "transfer/StatementSender.h"
#include "transfer/TableFacts.h"
#include "transfer/TransferRun.h"

namespace keldara::transfer {

namespace {

// How a batch goes to the server: as a multi-row insert, as lines of tab-separated fields
// for LOAD DATA LOCAL, or as rows of values for one insert run for each row.
enum class BatchForm { Statement, Lines, Rows };

// One batch: records `first` to `end` - 1 in one of the forms.
struct Batch {
    long first = 0;
    long end = 0;
    BatchForm form = BatchForm::Statement;
    QString statement;
    QByteArray lines;
    dao::ValueRows rows;
    // What the batch holds, in the measure of its form's limit.
    qsizetype size() const {
        switch (form) {
            case BatchForm::Statement:
                return statement.size();
            case BatchForm::Lines:
                return lines.size();
            case BatchForm::Rows:
                return rows.bytes();
        }
        return 0;
    }
};

using Warnings = std::vector<dao::Connection::LoadedData::Warning>;

// Whether a load wrote every line of a batch of `size` but those it left out for repeating a
// unique key's value, each named by one warning.
bool onlyDuplicates(const dao::Connection::LoadedData& loaded, long size) {
    if (loaded.lineWarnings.empty()) return false;
    long long previous = 0;
    for (const auto& warning : loaded.lineWarnings) {
        if (!warning.duplicate || warning.line <= previous || warning.line > size) return false;
        previous = warning.line;
    }
    return loaded.rows + static_cast<long long>(loaded.lineWarnings.size()) == size;
}

// The rows of a batch starting at `first` that the warnings of its load name, other than
// repeated keys, in order and each once.
std::vector<long> rowsWarnedOf(long first, const Warnings& warnings) {
    std::vector<long> rows;
    for (const auto& warning : warnings) {
        if (!warning.duplicate) rows.push_back(first + static_cast<long>(warning.line) - 1);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

// Sends an insert's records a batch at a time: on a transactional table as rows of values for one
// insert where the server takes them in one round trip, else by LOAD DATA LOCAL; otherwise by
// a multi-row insert. A refused batch of rows goes again by LOAD DATA LOCAL, which tells the
// records refused; the rest fall back to a statement per record.
class BulkInsertSender : public Sender {
  public:
    BulkInsertSender(const QString& table, const PairedFields& fields, dao::Connection& connection,
                     TransferRun& run, bool withinRun)
        : table_(table),
          fields_(fields),
          connection_(connection),
          run_(run),
          withinRun_(withinRun),
          oneByOne_(WriteAction::Insert, table, {}, fields, connection, run),
          chain_(connection),
          head_(InsertHead(dao::mysql::QuoteIdentifier(table), fields.names)),
          transactional_(transactional(connection, table)),
          rowsAtStart_(transactional_ ? 0 : rowCount(connection, table)),
          load_(transactional_),
          form_(!transactional_                 ? BatchForm::Statement
                : connection.insertsValueRows() ? BatchForm::Rows
                                                : BatchForm::Lines),
          limits_(batchLimitsOf(connection)) {
        startRow_ = lookups_.begin(connection, table, fields, run);
        QStringList columns;
        for (const QString& name : fields.names) columns << dao::mysql::QuoteIdentifier(name);
        loadStatement_ =
            LoadDataStatement(dao::mysql::QuoteIdentifier(table), columns.join(QLatin1Char(',')));
        if (form_ == BatchForm::Rows) columnForms_ = columnFormsOf(connection, table, fields.names);
        rowsInsert_ = RecordText::insert(dao::mysql::QuoteIdentifier(table), fields.names).marked();
    }

    // The row the run starts at: after the records an earlier run wrote, when it resumes one.
    long startRow() const { return startRow_; }

    long send(long first, long count) override {
        const Batch batch = ahead_.take([&] { return written(first, count, form(), batchRows_); });
        batchRows_ = rowsAfter(batch);
        if (batch.end < count) {
            ahead_.start([this, end = batch.end, count, form = form(), rows = batchRows_] {
                return written(end, count, form, rows);
            });
        }
        run_.reach(160);
        run_.sendingRows(batch.first, batch.end);
        if (batch.form == BatchForm::Rows) {
            sendRows(batch, batch.end < count);
        } else if (batch.form == BatchForm::Lines && load_) {
            sendLoaded(batch, true, batch.end < count);
        } else {
            sendStatement(batch.first, batch.end,
                          batch.form == BatchForm::Statement
                              ? batch.statement
                              : whole(batch.first, batch.end, BatchForm::Statement).statement);
        }
        return batch.end - batch.first;
    }

    Resumed resume(long first, long end, const dao::DaoError& error) override {
        ahead_.drop();
        return lookups_.resume(first, end, error, run_);
    }

  private:
    // The form of the batches to write: lines no longer once the server refused to load them.
    BatchForm form() const {
        return form_ == BatchForm::Lines && !load_ ? BatchForm::Statement : form_;
    }

    qsizetype limitOf(BatchForm form) const {
        switch (form) {
            case BatchForm::Statement:
                return limits_.chars;
            case BatchForm::Lines:
                return limits_.loadBytes;
            case BatchForm::Rows:
                return limits_.rowBytes;
        }
        return limits_.chars;
    }

    // The most records of the batches after `batch`: more, once the run's first records are
    // sent, where a load's bytes hold more at the size of its lines (see BulkLargeBatchRows);
    // a streamed source is asked to keep two batches of them. A batch at most doubles: the
    // next one is written while the server loads this one, and writing a record takes a
    // fraction of loading it, so a batch twice as large is ready when the server is.
    long rowsAfter(const Batch& batch) const {
        const long rows = batch.end - batch.first;
        if (batch.form == BatchForm::Statement || rows == 0 ||
            batch.end - startRow_ < BulkGrowAfterRows)
            return batchRows_;
        const qsizetype fitting = limitOf(batch.form) / std::max<qsizetype>(batch.size() / rows, 1);
        const long most = std::max(std::min(limits_.mostRows, 2 * batchRows_), batchRows_);
        const long grown = std::clamp(static_cast<long>(fitting), batchRows_, most);
        fields_.source.keepAtLeast(2 * grown);
        return grown;
    }

    // The batch from `first` on in `form`: up to `count`, within the form's limit and `rows`
    // records unless `whole`. A record with bytes, which neither lines nor rows of values hold,
    // makes it a statement.
    Batch written(long first, long count, BatchForm form, long rows, bool whole = false) const {
        Batch batch{first, first, form, {}, {}, {}};
        const qsizetype limit = limitOf(form);
        switch (form) {
            case BatchForm::Statement:
                batch.statement = head_;
                batch.statement.reserve(limit + limit / 8);
                break;
            case BatchForm::Lines:
                batch.lines.reserve(limit + limit / 8);
                break;
            case BatchForm::Rows:
                batch.rows = dao::ValueRows(static_cast<int>(fields_.columns.size()), columnForms_);
                batch.rows.reserve(rows, limit + limit / 8);
                break;
        }
        const auto roomFor = [&] {
            return whole || (batch.end - first < rows && batch.size() < limit);
        };
        bool refused = false;  // a record with bytes
        if (form == BatchForm::Rows) {
            fields_.source.readRecords(first, count, [&](const auto& columns, std::size_t index) {
                if (!roomFor()) return false;
                refused = !AppendRowValues(batch.rows, fields_, columns, index);
                if (!refused) ++batch.end;
                return !refused;
            });
        }
        while (form != BatchForm::Rows && !refused && batch.end < count && roomFor()) {
            if (form == BatchForm::Statement) {
                if (batch.end > first) batch.statement += QLatin1Char(',');
                AppendValueRow(batch.statement, fields_.literals(batch.end));
            } else {
                refused = !AppendLoadLine(batch.lines, fields_, batch.end);
            }
            if (!refused) ++batch.end;
        }
        if (refused) return written(first, count, BatchForm::Statement, rows, whole);
        return batch;
    }

    // Records `first` to `end` - 1 as one batch, whatever its size.
    Batch whole(long first, long end, BatchForm form) const {
        return written(first, end, form, end - first, true);
    }

    // A batch of rows is kept when the server took every row without a warning; otherwise it
    // is undone and loaded instead, so that the records refused are found as a load finds
    // them (the insert stops at the first refused row, and tells not which it was). A batch
    // larger than a packet holds is loaded at once. A batch kept with `more` to come begins the
    // next one's transaction as it commits.
    void sendRows(const Batch& batch, bool more) {
        if (limits_.rowsFitOnePacket(batch.size()) && tookRows(batch, more)) return;
        ahead_.wait();
        sendLoaded(whole(batch.first, batch.end, BatchForm::Lines));
    }

    // A batch with `more` to come is kept beginning the next one's transaction.
    void keep(BatchTransaction& transaction, bool more) {
        if (more) {
            transaction.keepAndChain(chain_);
        } else {
            transaction.keep();
        }
    }

    bool tookRows(const Batch& batch, bool more) {
        BatchTransaction transaction(connection_, withinRun_, &chain_);
        const long size = batch.end - batch.first;
        try {
            const auto inserted = connection_.insertValueRows(rowsInsert_, batch.rows);
            if (inserted.rows == size && inserted.warnings == 0) {
                keep(transaction, more);
                run_.ledger().inserted(size);
                return true;
            }
        } catch (const dao::DaoError& error) {
            if (error.transient()) throw;
        }
        transaction.undo();
        return false;
    }

    // LOAD DATA LOCAL turns a refused record into a warning and goes on, so a batch is loaded
    // in a transaction that is kept only when every record arrived without a warning, or,
    // when refused records are skipped, when the only records refused were left out for
    // repeating a key: those are listed, and the rest stay in the table as record-by-record
    // inserts would have left them. A batch with other warnings is undone and sent again
    // around the records they name (once: `divide` false sends a batch that still warns
    // record by record). A batch kept with `more` to come begins the next one's transaction.
    void sendLoaded(const Batch& batch, bool divide = true, bool more = false) {
        BatchTransaction transaction(connection_, withinRun_, &chain_);
        dao::Connection::LoadedData loaded;
        try {
            loaded = connection_.loadLocalData(loadStatement_, batch.lines);
        } catch (const dao::DaoError& error) {  // the server does not load local data
            if (error.transient()) throw;
            transaction.undo();
            load_ = false;
            sendStatement(batch.first, batch.end,
                          whole(batch.first, batch.end, BatchForm::Statement).statement);
            return;
        }
        const long size = batch.end - batch.first;
        if (loaded.rows == size && loaded.warnings == 0) {
            keep(transaction, more);
            run_.ledger().inserted(size);
        } else if (run_.choices().rejects && onlyDuplicates(loaded, size)) {
            transaction.keep();
            keptWithoutDuplicates(batch, loaded.lineWarnings);
        } else {
            transaction.undo();
            ahead_.wait();
            if (run_.choices().rejects && divide && !loaded.lineWarnings.empty()) {
                sendAround(batch, rowsWarnedOf(batch.first, loaded.lineWarnings));
            } else {
                sendOneByOne(batch.first, batch.end);
            }
        }
    }

    void keptWithoutDuplicates(const Batch& batch, const Warnings& warnings) {
        for (const auto& warning : warnings) {
            const long row = batch.first + static_cast<long>(warning.line) - 1;
            run_.ledger().refused(dao::DaoError(dao::DaoError::BadQuery, warning.text), row,
                                  fields_);
        }
        run_.ledger().inserted(batch.end - batch.first - static_cast<long>(warnings.size()));
    }

    // Sends the records of `batch` in their order: each of the rows `warned` on its own (so
    // that the server refuses or takes it as its insert alone would), those between by load.
    void sendAround(const Batch& batch, const std::vector<long>& warned) {
        long from = batch.first;
        for (const long row : warned) {
            if (row < from || row >= batch.end) continue;
            sendPart(from, row);
            sendOneByOne(row, row + 1);
            from = row + 1;
        }
        sendPart(from, batch.end);
    }

    void sendPart(long first, long end) {
        if (first == end) return;
        run_.sendingRows(first, end);
        sendLoaded(whole(first, end, BatchForm::Lines), false);
    }

    void sendStatement(long first, long end, const QString& statement) {
        chain_.end();
        try {
            connection_.execute(statement);
            run_.ledger().inserted(end - first);
        } catch (const dao::DaoError& error) {
            if (error.transient()) throw;
            ahead_.wait();
            const long kept = rowsKeptOf(end - first);
            run_.ledger().inserted(kept);
            sendOneByOne(first + kept, end);
        }
    }

    // How many records of a refused statement of `size` records the table kept: none where it
    // undoes a statement, else the rows it gained beyond those the run is known to have
    // written.
    long rowsKeptOf(long size) {
        if (transactional_) return 0;
        const long long kept =
            rowCount(connection_, table_) - rowsAtStart_ - run_.ledger().insertedCount();
        return static_cast<long>(std::clamp<long long>(kept, 0, size));
    }

    void sendOneByOne(long first, long end) {
        chain_.end();
        for (long row = first; row < end; ++row) {
            run_.sendingRow(row);
            run_.reach(160);
            oneByOne_.write(row);
        }
    }

    const QString& table_;
    const PairedFields& fields_;
    dao::Connection& connection_;
    TransferRun& run_;
    const bool withinRun_;
    StatementSender oneByOne_;
    // Of this sender's statements only sendStatement's and sendOneByOne's go outside a
    // BatchTransaction; both end the chain first.
    BatchChain chain_;
    const QString head_;
    const bool transactional_;
    const long long rowsAtStart_;
    InsertLookups lookups_;
    long startRow_ = 0;
    bool load_;             // the server loads local data
    const BatchForm form_;  // the form of the batches while the server loads local data
    const BatchLimits limits_;
    long batchRows_ = limits_.rows;  // the most records of the next batch
    QString loadStatement_;
    QString rowsInsert_;  // the insert of one record's values, run for every row of a batch
    std::vector<dao::ValueRows::Form> columnForms_;  // of the batches of rows
    BatchAhead<Batch> ahead_;
};

}  // namespace

TransferResult BulkInsert(const QString& table, const dao::Recordset& source,
                          const shell::FieldPairing& pairing, dao::Connection& connection,
                          TransferProgress& progress, const RunChoices& choices) {
    TransferRun run(progress, QStringLiteral("Copied Record :"), choices);
    return run.run([&] {
        const PairedFields fields = run.merging(source, pairing);
        run.reach(130);
        const long count = source.recordCount();
        progress.setProgressMaximum(count);
        RunTransaction whole(connection, table, run);
        BulkInsertSender sender(table, fields, connection, run, whole.active());
        run.retryOn(connection);
        run.startAt(sender.startRow());
        run.forEachBatch(count, 140, sender);
        // A stop undoes a run kept in one transaction: the emptied table gets its rows back.
        if (!run.stopped()) whole.keep();
    });
}

}  // namespace keldara::transfer

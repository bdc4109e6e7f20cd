#include "transfer/BulkInsert.h"

#include <algorithm>
#include <future>
#include <optional>

#include "platform/dao/DaoError.h"
#include "transfer/LandedRecords.h"
#include "transfer/PairedFields.h"
#include "transfer/RecordLoop.h"
#include "transfer/RecordStatements.h"
#include "transfer/SqlText.h"

namespace keldara::transfer {

namespace {

long long rowCount(dao::Connection& connection, const QString& table) {
    return connection
        .openRecordset(QStringLiteral("SELECT COUNT(*) FROM ") + QuoteIdentifier(table))
        ->valueAt(0, 0)
        .toInt();
}

}  // namespace

BatchLimits batchLimitsOf(dao::Connection& connection) {
    BatchLimits limits;
    const auto variables =
        connection.openRecordset(QStringLiteral("SHOW VARIABLES LIKE 'wsrep\\_max\\_ws\\_%'"));
    for (long row = 0; row < variables->recordCount(); ++row) {
        const QString name = variables->valueAt(row, 0).standardText();
        const long long value = variables->valueAt(row, 1).standardText().toLongLong();
        if (value <= 0) continue;  // no limit
        if (name == QLatin1String("wsrep_max_ws_rows")) {
            limits.rows = static_cast<long>(std::min<long long>(limits.rows, value));
        } else if (name == QLatin1String("wsrep_max_ws_size")) {
            const qsizetype chars = static_cast<qsizetype>(std::max<long long>(value / 4, 1));
            limits.chars = std::min(limits.chars, chars);
            limits.loadChars = std::min(limits.loadChars, chars);
        }
    }
    return limits;
}

// Appends the LOAD DATA field of `value` (as transferValue gives it): \N for Null, otherwise
// the text its insert literal quotes (dao::Value::sqlLiteral: the standard text), with the
// characters LOAD DATA reads specially escaped. False for bytes, which no field holds.
bool AppendLoadField(QString& lines, const dao::Value& value) {
    if (value.isNull()) {
        lines += QLatin1String("\\N");
        return true;
    }
    if (value.kind() == dao::ValueKind::Bytes) return false;
    const QString text = value.standardText();
    const auto special = [](QChar c) {
        const char16_t u = c.unicode();
        return u == '\\' || u == '\t' || u == '\n' || u == '\r' || u == 0;
    };
    if (std::none_of(text.begin(), text.end(), special)) {
        lines += text;
        return true;
    }
    for (const QChar c : text) {
        if (special(c)) {
            lines += QLatin1Char('\\');
            switch (c.unicode()) {
                case '\t':
                    lines += QLatin1Char('t');
                    break;
                case '\n':
                    lines += QLatin1Char('n');
                    break;
                case '\r':
                    lines += QLatin1Char('r');
                    break;
                case 0:
                    lines += QLatin1Char('0');
                    break;
                default:
                    lines += c;
            }
        } else {
            lines += c;
        }
    }
    return true;
}

bool AppendLoadLine(QString& lines, const PairedFields& fields, long row) {
    for (std::size_t i = 0; i < fields.columns.size(); ++i) {
        const int column = fields.columns[i];
        if (i > 0) lines += QLatin1Char('\t');
        const dao::Value value =
            transferValue(fields.source.valueAt(row, column), fields.source.fieldInfo(column).type);
        if (!AppendLoadField(lines, value)) return false;
    }
    lines += QLatin1Char('\n');
    return true;
}

namespace {

// One batch: records `first` to `end` - 1, as a multi-row insert or, to be loaded, as lines
// of tab-separated fields.
struct Batch {
    long first = 0;
    long end = 0;
    QString statement;
    QByteArray lines;
    bool loaded() const { return !lines.isEmpty(); }
};

class BulkRun {
  public:
    BulkRun(const QString& table, const PairedFields& fields, dao::Connection& connection,
            RecordLoop& loop, const RunChoices& choices, RecordCounts& counts)
        : table_(table),
          fields_(fields),
          connection_(connection),
          loop_(loop),
          choices_(choices),
          counts_(counts),
          statements_(WriteAction::Insert, table, {}, fields),
          head_(InsertHead(QuoteIdentifier(table), fields.names)),
          transactional_(transactional(connection, table)),
          rowsAtStart_(transactional_ ? 0 : rowCount(connection, table)),
          rowsBefore_(rowsAtStart_),
          load_(transactional_),
          limits_(batchLimitsOf(connection)) {
        startRow_ = choices.resumeAt;
        if (looksUpLanded(choices)) {
            startRow_ += landedBeforeStart(
                landed_.emplace(connection, table, fields, choices.rejects != nullptr), choices,
                loop.progress());
        }
        QStringList columns;
        for (const QString& name : fields.names) columns << QuoteIdentifier(name);
        loadStatement_ = QStringLiteral(
                             "LOAD DATA LOCAL INFILE 'keldara' INTO TABLE %1 CHARACTER SET "
                             "utf8mb4 FIELDS TERMINATED BY '\\t' ESCAPED BY '\\\\' LINES "
                             "TERMINATED BY '\\n' (%2)")
                             .arg(QuoteIdentifier(table), columns.join(QLatin1Char(',')));
    }

    // The next batch is written while the server takes this one; only reading the records
    // is shared between the two threads.
    ~BulkRun() { waitForNext(); }

    // Sends the records from `first` on that fit one batch; returns how many.
    long sendBatch(long first, long count) {
        const Batch batch = next_.valid() ? next_.get() : written(first, count, load_);
        if (batch.end < count) {
            next_ = std::async(std::launch::async, [this, end = batch.end, count, load = load_] {
                return written(end, count, load);
            });
        }
        loop_.reach(160);
        loop_.sendingRows(batch.first, batch.end);
        const long refusedBefore = counts_.refused;
        if (batch.loaded() && load_) {
            sendLoaded(batch);
        } else {
            sendStatement(batch.first, batch.end,
                          batch.loaded() ? written(batch.first, batch.end, false, true).statement
                                         : batch.statement);
        }
        const long size = batch.end - batch.first;
        rowsBefore_ += size - (counts_.refused - refusedBefore);
        return size;
    }

    // The row the run starts at: after the records an earlier run wrote, when it resumes one.
    long startRow() const { return startRow_; }

    // After the connection was opened again: the records of `first` to `end` - 1 were in
    // flight. A lost statement or commit may have written them, as may a table that keeps
    // the first rows of a failed statement: they are looked up.
    RecordLoop::Resumed resume(long first, long end, const dao::DaoError& error) {
        waitForNext();
        next_ = {};
        long kept = 0;
        QString found;
        if (error.connectionLost()) {
            kept = landed_->landed(first, end, first - startRow_ - counts_.refused);
            found = landedText(kept, end - first, landed_->means());
        }
        rowsBefore_ = rowsAtStart_ + first - startRow_ + kept - counts_.refused;
        return {first + kept, found};
    }

  private:
    // The batch from `first` on: up to `count`, within the batch's limits unless `whole`.
    Batch written(long first, long count, bool load, bool whole = false) const {
        Batch batch{first, first, head_, {}};
        QString lines;
        QString& text = load ? lines : batch.statement;
        const qsizetype chars = load ? limits_.loadChars : limits_.chars;
        text.reserve(chars + chars / 8);
        while (batch.end < count &&
               (whole || (batch.end - first < limits_.rows && text.size() < chars))) {
            if (!load) {
                if (batch.end > first) batch.statement += QLatin1Char(',');
                AppendValueRow(batch.statement, fields_.literals(batch.end));
            } else if (!AppendLoadLine(lines, fields_, batch.end)) {
                return written(first, count, false);
            }
            ++batch.end;
        }
        batch.lines = lines.toUtf8();
        return batch;
    }

    void waitForNext() {
        if (next_.valid()) next_.wait();
    }

    // LOAD DATA LOCAL turns a refused record into a warning and goes on, so a batch is loaded
    // in a transaction that is kept only when every record arrived without a warning, or,
    // when refused records are skipped, when the only records refused were left out for
    // repeating a key: those are listed, and the rest stay in the table as record-by-record
    // inserts would have left them. A batch with other warnings is undone and sent again
    // around the records they name (once: `divide` false sends a batch that still warns
    // record by record).
    void sendLoaded(const Batch& batch, bool divide = true) {
        BatchTransaction transaction(connection_, choices_.emptyTarget);
        dao::Connection::LoadedData loaded;
        try {
            loaded = connection_.loadLocalData(loadStatement_, batch.lines);
        } catch (const dao::DaoError& error) {  // the server does not load local data
            if (error.transient()) throw;
            transaction.undo();
            load_ = false;
            sendStatement(batch.first, batch.end,
                          written(batch.first, batch.end, false, true).statement);
            return;
        }
        const long size = batch.end - batch.first;
        if (loaded.rows == size && loaded.warnings == 0) {
            transaction.keep();
            return;
        }
        if (choices_.rejects && onlyDuplicates(loaded, size)) {
            transaction.keep();
            for (const auto& warning : loaded.lineWarnings) {
                const long row = batch.first + static_cast<long>(warning.line) - 1;
                choices_.skip(dao::DaoError(dao::DaoError::BadQuery, warning.text), row, fields_);
                ++counts_.refused;
            }
            return;
        }
        transaction.undo();
        waitForNext();
        if (choices_.rejects && divide && !loaded.lineWarnings.empty()) {
            sendAround(batch, loaded.lineWarnings);
        } else {
            sendOneByOne(batch.first, batch.end);
        }
    }

    // Whether the load wrote every line but those it left out for repeating a unique key's
    // value, each named by one warning.
    static bool onlyDuplicates(const dao::Connection::LoadedData& loaded, long size) {
        if (loaded.lineWarnings.empty()) return false;
        long long previous = 0;
        for (const auto& warning : loaded.lineWarnings) {
            if (!warning.duplicate || warning.line <= previous || warning.line > size) return false;
            previous = warning.line;
        }
        return loaded.rows + static_cast<long long>(loaded.lineWarnings.size()) == size;
    }

    // Sends the records of `batch` in their order: each one a warning named on its own (so
    // that the server refuses or takes it as its insert alone would), those between by load.
    void sendAround(const Batch& batch,
                    const std::vector<dao::Connection::LoadedData::Warning>& warnings) {
        std::vector<long> named;
        for (const auto& warning : warnings) {
            if (!warning.duplicate)
                named.push_back(batch.first + static_cast<long>(warning.line) - 1);
        }
        std::sort(named.begin(), named.end());
        named.erase(std::unique(named.begin(), named.end()), named.end());
        long from = batch.first;
        for (const long row : named) {
            if (row < from || row >= batch.end) continue;
            sendPart(from, row);
            sendOneByOne(row, row + 1);
            from = row + 1;
        }
        sendPart(from, batch.end);
    }

    void sendPart(long first, long end) {
        if (first == end) return;
        loop_.sendingRows(first, end);
        sendLoaded(written(first, end, true, true), false);
    }

    void sendStatement(long first, long end, const QString& statement) {
        try {
            connection_.execute(statement);
        } catch (const dao::DaoError& error) {
            if (error.transient()) throw;
            waitForNext();
            sendOneByOne(first + rowsKept(end - first), end);
        }
    }

    // How many records of a refused batch of `size` are in the table.
    long rowsKept(long size) {
        if (transactional_) return 0;
        const long long kept = rowCount(connection_, table_) - rowsBefore_;
        return static_cast<long>(std::clamp<long long>(kept, 0, size));
    }

    void sendOneByOne(long first, long end) {
        for (long row = first; row < end; ++row) {
            loop_.sendingRow(row);
            loop_.reach(160);
            statements_.write(row, connection_, choices_, counts_);
        }
    }

    const QString& table_;
    const PairedFields& fields_;
    dao::Connection& connection_;
    RecordLoop& loop_;
    const RunChoices& choices_;
    RecordCounts& counts_;
    RecordStatements statements_;
    const QString head_;
    const bool transactional_;
    const long long rowsAtStart_;
    long long rowsBefore_;
    std::optional<LandedRecords> landed_;  // when a lost connection is retried
    long startRow_ = 0;
    bool load_;  // batches go by LOAD DATA LOCAL
    const BatchLimits limits_;
    QString loadStatement_;
    std::future<Batch> next_;
};

}  // namespace

TransferResult BulkInsert(const QString& table, const dao::Recordset& source,
                          const mapping::FieldPairing& pairing, dao::Connection& connection,
                          TransferProgress& progress, const RunChoices& choices) {
    RecordLoop loop(progress, QStringLiteral("Copied Record :"));
    RecordCounts counts;
    bool undone = false;
    long startRow = 0;
    TransferResult result = loop.run([&] {
        counts = {};
        undone = false;
        choices.restartRun();
        loop.reach(100);
        loop.status(QStringLiteral("Merging"));
        loop.reach(110);
        const PairedFields fields(source, pairing);
        loop.reach(130);
        const long count = source.recordCount();
        progress.setProgressMaximum(count);
        RunTransaction whole(connection, table, choices.emptyTarget, undone);
        loop.restartsWhole(whole.active());
        BulkRun run(table, fields, connection, loop, choices, counts);
        loop.retryOn(connection, choices.retryForSeconds,
                     [&](long first, long end, const dao::DaoError& error) {
                         return run.resume(first, end, error);
                     });
        startRow = run.startRow();
        loop.startAt(startRow);
        loop.forEachBatch(count, 140, [&](long first) { return run.sendBatch(first, count); });
        // A stop undoes a run kept in one transaction: the emptied table gets its rows back.
        if (!loop.stopped()) whole.keep();
    });
    counts.inserted = std::max(0L, result.recordsDone - startRow - counts.refused);
    counts.into(result);
    if (undone) undoneRun(result);
    return result;
}

}  // namespace keldara::transfer

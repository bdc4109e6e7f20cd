#include "transfer/BulkInsert.h"

#include <algorithm>
#include <future>

#include "platform/dao/DaoError.h"
#include "transfer/PairedFields.h"
#include "transfer/RecordLoop.h"
#include "transfer/SqlText.h"

namespace keldara::transfer {

namespace {

// Whether the server's engine for `table` undoes a whole statement that fails; false when
// the table is not found in this database's catalogue (a name with its database, a view).
bool transactional(dao::Connection& connection, const QString& table) {
    const auto answer = connection.openRecordset(
        QStringLiteral("SELECT e.TRANSACTIONS FROM information_schema.TABLES t JOIN "
                       "information_schema.ENGINES e ON e.ENGINE = t.ENGINE WHERE "
                       "t.TABLE_SCHEMA = DATABASE() AND t.TABLE_NAME = ") +
        dao::Value::text(table).sqlLiteral());
    return answer->recordCount() == 1 &&
           answer->valueAt(0, 0).standardText() == QLatin1String("YES");
}

long long rowCount(dao::Connection& connection, const QString& table) {
    return connection.openRecordset(QStringLiteral("SELECT COUNT(*) FROM ") + table)
        ->valueAt(0, 0)
        .toInt();
}

// The statement of one batch: records `first` to `end` - 1.
struct Batch {
    long first = 0;
    long end = 0;
    QString statement;
};

class BulkRun {
  public:
    BulkRun(const QString& table, const PairedFields& fields, dao::Connection& connection,
            RecordLoop& loop)
        : table_(table),
          fields_(fields),
          connection_(connection),
          loop_(loop),
          head_(InsertHead(table, fields.names)),
          transactional_(transactional(connection, table)),
          rowsBefore_(transactional_ ? 0 : rowCount(connection, table)) {}

    // The next batch is written while the server takes this one; only reading the records
    // is shared between the two threads.
    ~BulkRun() { waitForNext(); }

    // Sends the records from `first` on that fit one batch; returns how many.
    long sendBatch(long first, long count) {
        const Batch batch = next_.valid() ? next_.get() : written(first, count);
        if (batch.end < count) {
            next_ = std::async(std::launch::async,
                               [this, end = batch.end, count] { return written(end, count); });
        }
        loop_.reach(160);
        try {
            connection_.execute(batch.statement);
        } catch (const dao::DaoError&) {
            waitForNext();
            sendOneByOne(batch.first + rowsKept(batch.end - batch.first), batch.end);
        }
        rowsBefore_ += batch.end - batch.first;
        return batch.end - batch.first;
    }

  private:
    Batch written(long first, long count) const {
        Batch batch{first, first, head_};
        batch.statement.reserve(BulkBatchChars + BulkBatchChars / 8);
        while (batch.end < count && batch.end - first < BulkBatchRows &&
               batch.statement.size() < BulkBatchChars) {
            if (batch.end > first) batch.statement += QLatin1Char(',');
            AppendValueRow(batch.statement, fields_.literals(batch.end));
            ++batch.end;
        }
        return batch;
    }

    void waitForNext() {
        if (next_.valid()) next_.wait();
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
            loop_.reach(150);
            const QString statement = BuildSQLString(QStringLiteral("INSERT"), table_,
                                                     fields_.names, fields_.literals(row));
            loop_.reach(160);
            connection_.execute(statement);
        }
    }

    const QString& table_;
    const PairedFields& fields_;
    dao::Connection& connection_;
    RecordLoop& loop_;
    const QString head_;
    const bool transactional_;
    long long rowsBefore_;
    std::future<Batch> next_;
};

}  // namespace

TransferResult BulkInsert(const QString& table, const dao::Recordset& source,
                          const mapping::FieldPairing& pairing, dao::Connection& connection,
                          TransferProgress& progress) {
    RecordLoop loop(progress, QStringLiteral("Copied Record :"));
    return loop.run([&] {
        loop.reach(100);
        loop.status(QStringLiteral("Merging"));
        loop.reach(110);
        const PairedFields fields(source, pairing);
        loop.reach(130);
        BulkRun run(table, fields, connection, loop);
        progress.setProgressMaximum(source.recordCount());
        const long count = source.recordCount();
        loop.forEachBatch(count, 140, [&](long first) { return run.sendBatch(first, count); });
    });
}

}  // namespace keldara::transfer

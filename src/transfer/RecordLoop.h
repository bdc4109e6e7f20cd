#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <limits>
#include <optional>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"
#include "transfer/Reconnection.h"
#include "transfer/TransferProgress.h"

namespace keldara::transfer {

// The record walk that the transfer and the script generator share: progress per record,
// the status text after each, a stop asked for between records, and the first error ending
// the run with "ERROR MergeToTarget: " + description + " Line: " + the last numbered line.
class RecordLoop {
  public:
    RecordLoop(TransferProgress& progress, QString recordDoneText);

    // The numbered line the run has reached; the error status names it.
    void reach(int line) { line_ = line; }
    // Shows a status text; the result's message is the last one shown.
    void status(const QString& text);

    // Runs `body`, which calls forEachRecord once; an exception from either ends the run.
    TransferResult run(const std::function<void()>& body);

    // Calls `perRecord` with each row from 0 to `count` - 1, reaching `firstLine` first.
    void forEachRecord(long count, int firstLine, const std::function<void(long row)>& perRecord);

    // As forEachRecord, a batch of records at a time: `sendBatch` sends records from
    // `firstRow` on and returns how many it sent. Progress, status and the stop follow each
    // batch. A batch that fails names its failing record with sendingRow first.
    void forEachBatch(long count, int firstLine,
                      const std::function<long(long firstRow)>& sendBatch);
    // Within a batch: the record of `row` is the one being sent; those before it are sent.
    void sendingRow(long row);
    // The records of rows `first` to `end` - 1 are being sent in one statement.
    void sendingRows(long first, long end);

    // Where a run goes on once its connection is open again after a transient error: given
    // the records of rows `first` to `end` - 1 that were being sent and the error, the row of
    // the first record not known to be written (the run counts those it found written), and
    // how that was found out when it was looked up.
    struct Resumed {
        long row = 0;
        QString found;  // e.g. "2 of them were found written by the row count"
    };
    using Resume = std::function<Resumed(long first, long end, const dao::DaoError& error)>;
    // Retries a transient error for up to `seconds` (0: never) from the first error at a
    // record: errors at the same record share that time, however many tries it takes. The
    // connection is opened again and the records go on from where `resume` says. Before the
    // first record, and while restartsWhole holds, the run's body is run again from its start
    // instead.
    void retryOn(dao::Connection& connection, int seconds, Resume resume);
    // The records so far are in a transaction that a lost connection undoes: none of them is
    // confirmed (TransferProgress::recordsConfirmed) before the run's transaction is kept.
    void restartsWhole(bool whole) { restartsWhole_ = whole; }
    // forEachBatch ended at a stop asked for.
    bool stopped() const { return result_.outcome == TransferResult::Outcome::Stopped; }
    // The row forEachBatch starts at (a run resuming an earlier one).
    void startAt(long row) { startRow_ = row; }
    TransferProgress& progress() { return progress_; }
    // A line of how the run went on after an error, kept in the result's notes.
    void note(const QString& text);

  private:
    bool restartable(const dao::DaoError& error) const;
    void fail(const std::exception& e);
    long resumed(const dao::DaoError& error);
    void reconnect(const dao::DaoError& error, const QDeadlineTimer& deadline);
    QDeadlineTimer retryDeadline(long failingRow);
    void stopBefore(long row);

    TransferProgress& progress_;
    QString recordDoneText_;
    TransferResult result_;
    long currentRecord_ = 0;
    long inFlightLast_ = 0;
    int line_ = 0;
    std::optional<Reconnection> reconnection_;
    Resume resume_;
    bool restartsWhole_ = false;
    long startRow_ = 0;
    QStringList notes_;
    // The row of the record that failed last, and until when its errors are retried.
    long failingRow_ = std::numeric_limits<long>::min();
    QDeadlineTimer failingDeadline_;
};

}  // namespace keldara::transfer

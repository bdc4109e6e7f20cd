#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"
#include "transfer/PairedFields.h"
#include "transfer/RetryPolicy.h"
#include "transfer/RunChoices.h"
#include "transfer/RunLedger.h"
#include "transfer/Sender.h"
#include "transfer/TransferProgress.h"

namespace keldara::transfer {

// One run of the transfer or the script generator: a sender's batches from the first record to
// the last, with progress per batch, the status text after each, a stop asked for between
// batches, the retry policy around the sender and the ledger of what was written. The first
// error that is not retried ends the run with "ERROR MergeToTarget: " + description +
// " Line: " + the last numbered line.
class TransferRun {
  public:
    TransferRun(TransferProgress& progress, QString recordDoneText, const RunChoices& choices = {});

    // The numbered line the run has reached; the error status names it.
    void reach(int line) { line_ = line; }
    // Shows a status text; the result's message is the last one shown.
    void status(const QString& text);

    // The opening of a transfer: "Merging" shown, then the fields `pairing` pairs (which
    // refuses a pairing that cannot be written).
    PairedFields merging(const dao::Recordset& source, const shell::FieldPairing& pairing);

    // Runs `body`, which sends the records once (forEachBatch or forEachRecord); an exception
    // from either ends the run. A transient error the retry policy takes before the first
    // record, or while the run is held in one transaction, runs `body` again from its start,
    // the ledger having forgotten what it counted.
    TransferResult run(const std::function<void()>& body);

    // Sends the records from the start row (startAt) to `count` - 1 by `sender`, reaching
    // `firstLine` before each batch. A transient error the retry policy takes is met by
    // opening the connection again and going on where the sender's resume says.
    void forEachBatch(long count, int firstLine, Sender& sender);
    // As forEachBatch, one record a batch, written by `perRecord`.
    void forEachRecord(long count, int firstLine, const std::function<void(long row)>& perRecord);

    // Within a batch: the records of rows `first` to `end` - 1 are being sent in one statement
    // (or the record of `row` alone); those before them are sent.
    void sendingRows(long first, long end);
    void sendingRow(long row) { sendingRows(row, row + 1); }
    // Within a batch whose records are kept together: the record of `row` is being sent; the
    // batch's records before it are not kept yet.
    void sendingWithin(long row);

    // Transient errors on `connection` are retried for the choices' time (none when 0).
    void retryOn(dao::Connection& connection);
    // The records so far are in the run's one transaction, which a lost connection undoes: the
    // ledger confirms none, and an error starts the run again from its first record.
    void holdWhole(bool whole);
    // Whether the records so far are held in the run's one transaction (holdWhole).
    bool holdsWhole() const { return whole_; }
    // The run's one transaction was undone: the table holds what it held before the run, and
    // the result says that nothing was written.
    void markUndone() { undone_ = true; }
    // The row forEachBatch starts at (a run resuming an earlier one).
    void startAt(long row) { startRow_ = row; }
    // Between two records of one batch: whether a stop is asked for. The sender then ends the
    // batch after the record, and the run stops there.
    bool stopAskedWithinBatch() { return stopAsked_ = progress_.stopRequested(); }
    // forEachBatch ended at a stop asked for.
    bool stopped() const { return result_.outcome == TransferResult::Outcome::Stopped; }

    RunLedger& ledger() { return ledger_; }
    TransferProgress& progress() { return progress_; }
    const RunChoices& choices() const { return choices_; }
    // A line of how the run went on after an error, kept in the result's notes.
    void note(const QString& text);

  private:
    bool restartable(const dao::DaoError& error) const;
    void fail(const std::exception& e);
    long resumed(const dao::DaoError& error, Sender& sender);
    void batchDone(long row, long sent);
    void stopBefore(long row);

    TransferProgress& progress_;
    const RunChoices choices_;  // a copy: the ledger refers to it
    QString recordDoneText_;
    RunLedger ledger_;
    TransferResult result_;
    long currentRecord_ = 0;
    long firstInFlight_ = 0;
    long inFlightLast_ = 0;
    int line_ = 0;
    std::optional<RetryPolicy> retry_;
    bool whole_ = false;
    bool stopAsked_ = false;
    bool undone_ = false;
    long startRow_ = 0;
    QStringList notes_;
};

}  // namespace keldara::transfer

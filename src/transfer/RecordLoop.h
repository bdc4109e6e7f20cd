#pragma once

#include <QString>
#include <functional>

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

  private:
    TransferProgress& progress_;
    QString recordDoneText_;
    TransferResult result_;
    long currentRecord_ = 0;
    long inFlightLast_ = 0;
    int line_ = 0;
};

}  // namespace keldara::transfer

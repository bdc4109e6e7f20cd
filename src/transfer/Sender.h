#pragma once

#include <QString>

#include "platform/dao/DaoError.h"

namespace keldara::transfer {

// One way of sending a run's records to the server: a statement per record, a multi-row
// insert or LOAD DATA LOCAL, the join of a bulk merge. A sender reports what the server kept
// to the run's ledger (RunLedger) and tells the run which records are in flight
// (TransferRun::sendingRows).
class Sender {
  public:
    virtual ~Sender() = default;

    // Sends the records from row `first` on that fit one batch, none at or past `count`;
    // returns how many.
    virtual long send(long first, long count) = 0;

    // Where a run goes on once its connection is open again after a transient error: the row
    // of the first record not known to be written, and how that was found out when it was
    // looked up (e.g. "2 of them were found written by the row count").
    struct Resumed {
        long row = 0;
        QString found;
    };
    // `error` met records `first` to `end` - 1 in flight. By default they are sent again (an
    // update sent again finds the same rows).
    virtual Resumed resume(long first, long /*end*/, const dao::DaoError& /*error*/) {
        return {first, {}};
    }
};

}  // namespace keldara::transfer

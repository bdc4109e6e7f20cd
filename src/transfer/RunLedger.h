#pragma once

#include "platform/dao/DaoError.h"
#include "transfer/RunChoices.h"
#include "transfer/TransferProgress.h"

namespace keldara::transfer {

struct PairedFields;

// The account of what a run has written: the one place where a record is counted as written
// (inserted or updating a row), unmatched or refused, where a refused record is listed in the
// rejects file, and where the records known written are confirmed to the progress (which keeps
// the state file of a run that can be resumed). Senders report each record or batch here once
// the server has kept it; the run confirms after each batch.
class RunLedger {
  public:
    RunLedger(TransferProgress& progress, const RunChoices& choices);

    // A run starting again from its first record: its counts and the records it listed are
    // forgotten.
    void restart();

    void inserted(long records = 1) { counts_.inserted += records; }
    void updated(long records = 1) { counts_.updated += records; }
    // Of an update: records whose match value found no row.
    void unmatched(long records = 1) { counts_.unmatched += records; }
    // Record `row` was refused with `error`: listed and counted when refused records are
    // skipped (true); false for a run that ends at it, and for a lost connection or another
    // transient error, which is retried or ends the run.
    bool refused(const dao::DaoError& error, long row, const PairedFields& fields);

    // The records of this run known to be in the table.
    long insertedCount() const { return counts_.inserted; }
    long refusedCount() const { return counts_.refused; }

    // While the run's one transaction is open (an emptied table), a lost connection undoes
    // every record: none is confirmed until it is kept.
    void holdUntilKept(bool held) { held_ = held; }
    // The records before row `records` are written or refused and listed.
    void confirm(long records);
    // The target's row count as the run begins to send records.
    void tableCounted(long long rows) { progress_.tableCounted(rows); }

    // The counts into the run's result.
    void into(TransferResult& result) const;
    // The run ended with `result`: told to the progress.
    void ended(const TransferResult& result) { progress_.runEnded(result); }

  private:
    struct Counts {
        long updated = 0;
        long inserted = 0;
        long unmatched = 0;
        long refused = 0;
    };

    TransferProgress& progress_;
    const RunChoices& choices_;
    Counts counts_;
    bool held_ = false;
};

}  // namespace keldara::transfer

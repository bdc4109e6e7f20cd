#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "platform/dao/Connection.h"
#include "transfer/PairedFields.h"
#include "transfer/RunChoices.h"
#include "transfer/Sender.h"
#include "transfer/TransferRun.h"

namespace keldara::transfer {

// Finds out how many of an insert's records whose fate is unknown (their statement was under
// way when the connection was lost, or an earlier run was killed) reached the table. Only
// evidence of this run counts: the rows the table gained since the run began (its row count
// against the count at the start and the records known written; nothing else is to write the
// table meanwhile), and, where the paired fields cover the table's primary or unique key and
// the records hold a value in each of its columns, which of the records are there by the key.
// A row that held a record's key before the run is never taken for the record. Records are
// written in their order, so those that landed are the first ones; where the key and the row
// count do not agree on that, the run ends (DaoError) naming the records in doubt rather than
// guess. A table that cannot undo is checked first: one the server's stop left damaged ends
// the run with what is known. On a node of a Galera cluster every look waits until the node
// has applied what the cluster committed before it, such as the records a lost node wrote
// just before it went.
class LandedRecords {
  public:
    // `gapsPossible`: refused records are skipped, so a batch may be kept without some of
    // its records.
    LandedRecords(dao::Connection& connection, const QString& table, const PairedFields& fields,
                  bool gapsPossible);

    // Before the run's first record (after the table is emptied, when it is): the row count
    // the records are counted from, which it returns.
    long long start();
    // How many of records `first` to `end` - 1 are in the table, `confirmed` being the
    // records of the run known to be in the table.
    long landed(long first, long end, long confirmed);
    // Of records `first` to `end` - 1 that an earlier run may have written (in their order),
    // how many are in the table. `rowsAtStart` is the table's row count when that run began
    // and `writtenBefore` the records before `first` it wrote; with `rowsAtStart` unknown
    // (-1) they are found by the key one record at a time (halving the range). Throws
    // std::runtime_error (refuseRun) when neither can tell.
    long landedPrefix(long first, long end, long long rowsAtStart = -1, long writtenBefore = 0);
    // How the last answer was found: "by the key (`k`)" or "by the row count".
    QString means() const { return usedKey_ ? keyMeans_ : QStringLiteral("by the row count"); }

  private:
    void readCausally() const;
    void checkIntact(long first, long end) const;
    bool keyHasValues(long first, long end) const;
    std::optional<long long> keysFound(long first, long end) const;
    long landedOf(long first, long end, long long rowsAtStart, long written);
    long halvedByKey(long first, long end);
    long long countOf(const QString& query) const;

    dao::Connection& connection_;
    const PairedFields& fields_;
    QString table_;
    bool transactional_;
    bool clusterNode_ = false;
    std::vector<int> key_;  // the positions in the paired fields of the key's columns
    QString keyColumns_;
    QString keyMeans_;
    long long rowsAtStart_ = 0;
    bool usedKey_ = false;
    bool gapsPossible_;
};

// The lookups of an insert run whose records' fate may be unknown: before its first record,
// of the records an earlier run may have written; after a lost connection, of those in flight.
// None where the run neither retries, keeps its progress to be resumed, nor resumes records in
// doubt.
class InsertLookups {
  public:
    // Before the run's first record (after the table is emptied, when it is): the row the run
    // starts at, after the records of an earlier run found written; the table's row count is
    // told to the run's ledger.
    long begin(dao::Connection& connection, const QString& table, const PairedFields& fields,
               TransferRun& run);
    // After the connection was opened again following `error`, records `first` to `end` - 1
    // having been in flight: a lost statement or commit may have written them, as may a table
    // that keeps the first rows of a failed statement; those found written are counted in
    // `run`'s ledger.
    Sender::Resumed resume(long first, long end, const dao::DaoError& error, TransferRun& run);

  private:
    std::optional<LandedRecords> landed_;
};

// What a lookup found of `size` records in flight, `landed` of them in the table.
QString landedText(long landed, long size, const QString& means);

}  // namespace keldara::transfer

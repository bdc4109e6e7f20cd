#pragma once

#include <QString>
#include <vector>

#include "platform/dao/Connection.h"
#include "transfer/PairedFields.h"

namespace keldara::transfer {

// Finds out how many of an insert's records whose fate is unknown (their statement was under
// way when the connection was lost) reached the table: by the table's primary or unique key
// when the paired fields cover one and the records hold a value in each of its columns, else
// by the table's row count against the count expected from the records known written
// (nothing else is to write the table meanwhile). A table that cannot undo is checked first:
// one the server's stop left damaged ends the run (DaoError) with what is known. On a node of
// a Galera cluster every look waits until the node has applied what the cluster committed
// before it, such as the records a lost node wrote just before it went.
class LandedRecords {
  public:
    LandedRecords(dao::Connection& connection, const QString& table, const PairedFields& fields);

    // Before the run's first record (after the table is emptied, when it is): the row count
    // the records are counted from.
    void start();
    // How many of records `first` to `end` - 1 are in the table, taken as the first ones of
    // them, `confirmed` being the records of the run known to be in the table.
    long landed(long first, long end, long confirmed);
    // Of records `first` to `end` - 1 that an earlier run may have written (in their order),
    // how many are in the table, found by the key one record at a time (halving the range);
    // throws std::runtime_error (refuseRun) when no key can find them.
    long landedPrefix(long first, long end);
    // How the last answer was found: "by the key (`k`)" or "by the row count".
    QString means() const { return usedKey_ ? keyMeans_ : QStringLiteral("by the row count"); }

  private:
    void readCausally() const;
    void checkIntact(long first, long end) const;
    bool keyHasValues(long first, long end) const;
    long long countOf(const QString& query) const;

    dao::Connection& connection_;
    const PairedFields& fields_;
    QString table_;
    bool transactional_;
    bool clusterNode_ = false;
    std::vector<int> key_;  // the positions in the paired fields of the key's columns
    QString keyMeans_;
    long long rowsAtStart_ = 0;
    bool usedKey_ = false;
};

// What a lookup found of `size` records in flight, `landed` of them in the table.
QString landedText(long landed, long size, const QString& means);

}  // namespace keldara::transfer

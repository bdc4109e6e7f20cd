#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "platform/dao/Connection.h"
#include "transfer/LandedRecords.h"
#include "transfer/PairedFields.h"
#include "transfer/RunTransaction.h"
#include "transfer/Sender.h"
#include "transfer/SqlText.h"
#include "transfer/TableFacts.h"
#include "transfer/TransferRun.h"

namespace keldara::transfer {

// What a run does with each record.
enum class WriteAction {
    Insert,  // adds a row
    Update,  // updates the rows whose match column holds the record's match value
    Upsert,  // as Update; a record whose match value finds no row is inserted
};

// "INSERT", "UPDATE" and "UPSERT"; throws std::runtime_error (refuseRun) for any other text.
WriteAction writeActionNamed(const QString& action);

// Sends one statement per record and reports its outcome to the run's ledger. On a
// transactional table a prepared sender commits a group of records at a time (GroupRecords, or
// fewer where a cluster limits a transaction's rows), counting them only once committed: a lost
// connection undoes the group, which the run then sends again from its first record, as it
// would a lone record's statement. A refused record
// first has the records before it committed, so that a run that ends at it keeps them. The
// updates of a merge's group, which do not depend on each other's outcome, go to the server as
// text in one round trip (Connection::executeEach). A text sender (a dry run's statements) and a
// sender within the run's own transaction commit nothing. An update or insert first updates by
// the match field and inserts only when that found no row. The text of a statement but for its
// values is written once.
//
// A prepared sender has the server prepare each statement once (again on another connection,
// or on a new session after a lost connection or a deadlock) and runs it with the record's
// values bound in their own types. Where the server does not prepare it (an old server, a
// proxy, a provider without prepared statements) the record goes as literal text; once such a
// text statement has gone through, the run goes on in text and says so once
// (TransferProgress::notice). A text sender always sends the literal text.
class StatementSender : public Sender {
  public:
    enum class Form { Text, Prepared };

    StatementSender(WriteAction action, const QString& table, const QString& matchName,
                    const PairedFields& fields, dao::Connection& connection, TransferRun& run,
                    Form form = Form::Text);

    // The row the run starts at: for an insert, after the records of an earlier run found
    // written (InsertLookups::begin).
    long startRow();

    // Writes the record of `first`, or on a transactional table the group from `first`.
    long send(long first, long count) override;
    // An insert's records whose fate is unknown are looked up before they are sent again; an
    // update sent again finds the same rows.
    Resumed resume(long first, long end, const dao::DaoError& error) override;
    // Writes the record of `row`. A refused record the run skips is listed; otherwise (and for
    // a transient error) the error is thrown on.
    void write(long row);

    // The records of a group committed together: enough for a commit's flush to the disk to
    // cost little beside their statements, few enough for Stop to be heard at once.
    static constexpr long GroupRecords = 100;

  private:
    // What a record's statements did, for the ledger.
    enum class Outcome { Inserted, Updated, Unmatched };
    // The outcomes of a group's records until it is committed.
    struct Tally {
        long inserted = 0;
        long updated = 0;
        long unmatched = 0;
        void add(Outcome outcome);
        void into(RunLedger& ledger);
    };

    Outcome sentRecord(long row);
    bool grouped();
    long sendGroup(long first, long end);
    long sendUpdates(long first, long end);
    void refusedInGroup(const dao::DaoError& error, long row, long end,
                        std::optional<BatchTransaction>& transaction, Tally& tally);

    // One of a record's statements and, once the server has prepared it, the server's handle.
    struct Statement {
        explicit Statement(RecordText form) : text(std::move(form)), order(text.valueOrder()) {}
        RecordText text;
        std::vector<qsizetype> order;  // RecordText::valueOrder
        std::unique_ptr<dao::PreparedStatement> prepared;
        unsigned long preparedSession = 0;  // Connection::session() when it was prepared
    };

    long long sent(Statement& statement, const std::vector<dao::Value>& values);
    bool prepare(Statement& statement);
    long long sendPrepared(Statement& statement, const std::vector<dao::Value>& values);
    long long sendText(Statement& statement, const std::vector<dao::Value>& values);
    static QString textOf(Statement& statement, const std::vector<dao::Value>& values);

    WriteAction action_;
    QString table_;
    const PairedFields& fields_;
    dao::Connection& connection_;
    TransferRun& run_;
    bool literal_;
    const bool mayGroup_;
    std::optional<bool> grouped_;  // whether the table is transactional, once asked
    BatchLimits groupLimits_;      // the server's, once the table is found transactional
    QString notPrepared_;          // the server's words when it last did not prepare a statement
    Statement insert_;
    Statement update_;
    InsertLookups lookups_;
};

}  // namespace keldara::transfer

#pragma once

#include <QString>

#include "platform/dao/Connection.h"
#include "transfer/PairedFields.h"
#include "transfer/RecordSender.h"
#include "transfer/RejectsFile.h"
#include "transfer/SqlText.h"
#include "transfer/TransferProgress.h"

namespace keldara::transfer {

// What a run does with each record.
enum class WriteAction {
    Insert,  // adds a row
    Update,  // updates the rows whose match column holds the record's match value
    Upsert,  // as Update; a record whose match value finds no row is inserted
};

// "INSERT", "UPDATE" and "UPSERT"; throws std::runtime_error (refuseRun) for any other text.
WriteAction writeActionNamed(const QString& action);

// The counts of a run's records by outcome, kept as each record or batch is confirmed
// written, so that what is in the table is known at every step.
struct RecordCounts {
    long updated = 0;
    long inserted = 0;
    long unmatched = 0;  // of an update: records whose match value found no row
    long refused = 0;    // skipped and listed in the rejects file

    void into(TransferResult& result) const;
};

// The statements that write one record at a time, each committed on its own (or within the
// run's transaction). The text of a statement but for its values is written once; `sender`
// sends it as text or prepared.
class RecordStatements {
  public:
    RecordStatements(WriteAction action, const QString& table, const QString& matchName,
                     const PairedFields& fields, RecordSender sender = RecordSender::text());

    // Writes the record of `row` and counts its outcome. A refused record is listed and
    // counted when `choices` skip it; otherwise (and for a lost connection) the error is
    // thrown on.
    void write(long row, dao::Connection& connection, const RunChoices& choices,
               RecordCounts& counts);

  private:
    WriteAction action_;
    const PairedFields& fields_;
    RecordSender sender_;
    SentStatement insert_;
    SentStatement update_;
};

// "DELETE FROM T": every row of the target, undone with a transaction on transactional tables.
void EmptyTable(dao::Connection& connection, const QString& table);
// An update of an emptied table would match nothing: the run is refused (refuseRun) before
// anything is deleted.
[[noreturn]] void refuseUpdateOfEmptied();

// Whether the server's engine for `table` undoes a whole statement that fails; false when
// the table is not found in this database's catalogue (a name with its database, a view).
bool transactional(dao::Connection& connection, const QString& table);

// A batch's transaction on a transactional table: its own, or within the run's transaction
// (RunTransaction) a savepoint.
class BatchTransaction {
  public:
    BatchTransaction(dao::Connection& connection, bool withinRun);
    // A batch left by an error is undone, so that the connection is not left in it.
    ~BatchTransaction();
    void keep();
    void undo();

  private:
    dao::Connection& connection_;
    bool withinRun_;
    bool ended_ = false;
};

// Empties the target first when asked to. On a transactional table the emptying and the
// whole run go in one transaction, kept by keep(); a run that ends otherwise (a failure, a
// stop) is undone, and `undone` tells so.
class RunTransaction {
  public:
    RunTransaction(dao::Connection& connection, const QString& table, bool emptyTarget,
                   bool& undone);
    ~RunTransaction();
    bool active() const { return active_; }
    void keep();

  private:
    dao::Connection& connection_;
    bool& undone_;
    bool active_ = false;
};

// A run whose transaction was undone wrote nothing.
void undoneRun(TransferResult& result);

}  // namespace keldara::transfer

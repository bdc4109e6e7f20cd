#pragma once

#include <QString>

#include "platform/dao/Connection.h"
#include "transfer/TransferRun.h"

// How a run's writes are kept or undone on a table whose engine undoes them.
namespace keldara::transfer {

// "DELETE FROM T": every row of the target, undone with a transaction on transactional tables.
void EmptyTable(dao::Connection& connection, const QString& table);
// An update of an emptied table would match nothing: the run is refused (refuseRun) before
// anything is deleted.
[[noreturn]] void refuseUpdateOfEmptied();

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

// Empties the target first when the run's choices ask for it. On a transactional table the
// emptying and the whole run go in one transaction, kept by keep(); a run that ends otherwise
// (a failure, a stop) is undone, and its result tells so (TransferRun::markUndone).
class RunTransaction {
  public:
    RunTransaction(dao::Connection& connection, const QString& table, TransferRun& run);
    ~RunTransaction();
    bool active() const { return active_; }
    void keep();

  private:
    dao::Connection& connection_;
    TransferRun& run_;
    bool active_ = false;
};

}  // namespace keldara::transfer

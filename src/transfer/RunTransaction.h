#pragma once

#include <QString>
#include <optional>

#include "platform/dao/Connection.h"
#include "transfer/TransferRun.h"

// How a run's writes are kept or undone on a table whose engine undoes them.
namespace keldara::transfer {

// "DELETE FROM T": every row of the target, undone with a transaction on transactional tables.
void EmptyTable(dao::Connection& connection, const QString& table);
// An update of an emptied table would match nothing: the run is refused (refuseRun) before
// anything is deleted.
[[noreturn]] void refuseUpdateOfEmptied();

// The batches of one sender, one after another on a connection: a batch kept by
// BatchTransaction::keepAndChain is committed and the next one's transaction begun in the same
// round trip (COMMIT AND CHAIN). Anything else sent on the connection in between must end()
// the chain first, lest it run within that transaction; the chain ends with its owner.
class BatchChain {
  public:
    explicit BatchChain(dao::Connection& connection) : connection_(connection) {}
    ~BatchChain();
    BatchChain(const BatchChain&) = delete;
    BatchChain& operator=(const BatchChain&) = delete;

    // Whether the transaction the last keepAndChain began is still open on this session, for
    // the next batch to take as its own; the chain is no longer open either way.
    bool take();
    // Commits the (empty) transaction the last keepAndChain began, if it is still open.
    void end();

  private:
    friend class BatchTransaction;
    dao::Connection& connection_;
    std::optional<unsigned long> session_;  // the session the chained transaction is open on
};

// A batch's transaction on a transactional table: its own, or within the run's transaction
// (RunTransaction) a savepoint. Given a chain, it takes the transaction the chain left open
// rather than beginning one.
class BatchTransaction {
  public:
    BatchTransaction(dao::Connection& connection, bool withinRun, BatchChain* chain = nullptr);
    // A batch left by an error is undone, so that the connection is not left in it.
    ~BatchTransaction();
    void keep();
    // Keeps the batch and begins the next one's transaction (within the run's, a savepoint is
    // released as by keep()).
    void keepAndChain(BatchChain& chain);
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

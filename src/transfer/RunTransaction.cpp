#include "transfer/RunTransaction.h"

#include "platform/dao/DaoError.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "transfer/PairedFields.h"
#include "transfer/TableFacts.h"

namespace keldara::transfer {

void EmptyTable(dao::Connection& connection, const QString& table) {
    connection.execute(QStringLiteral("DELETE FROM ") + dao::mysql::QuoteIdentifier(table));
}

void refuseUpdateOfEmptied() {
    refuseRun(
        QStringLiteral("Emptying the target table first leaves no row to update: choose an "
                       "update or insert, or do not empty the table."));
}

BatchChain::~BatchChain() {
    try {
        end();
    } catch (const dao::DaoError&) {  // a lost connection: the server ends it itself
    }
}

bool BatchChain::take() {
    const bool open = session_ == connection_.session() && connection_.inTransaction();
    session_.reset();
    return open;
}

void BatchChain::end() {
    if (take()) connection_.execute(QStringLiteral("COMMIT"));
}

BatchTransaction::BatchTransaction(dao::Connection& connection, bool withinRun, BatchChain* chain)
    : connection_(connection), withinRun_(withinRun) {
    if (withinRun_) {
        connection_.execute(QStringLiteral("SAVEPOINT keldara_batch"));
    } else if (!chain || !chain->take()) {
        connection_.execute(QStringLiteral("START TRANSACTION"));
    }
}

BatchTransaction::~BatchTransaction() {
    if (ended_) return;
    try {
        undo();
    } catch (const dao::DaoError&) {  // a lost connection: the server undoes it itself
    }
}

void BatchTransaction::keep() {
    ended_ = true;
    connection_.execute(withinRun_ ? QStringLiteral("RELEASE SAVEPOINT keldara_batch")
                                   : QStringLiteral("COMMIT"));
}

void BatchTransaction::keepAndChain(BatchChain& chain) {
    if (withinRun_) return keep();
    ended_ = true;
    connection_.execute(QStringLiteral("COMMIT AND CHAIN"));
    chain.session_ = connection_.session();
}

void BatchTransaction::undo() {
    ended_ = true;
    connection_.execute(withinRun_ ? QStringLiteral("ROLLBACK TO SAVEPOINT keldara_batch")
                                   : QStringLiteral("ROLLBACK"));
}

RunTransaction::RunTransaction(dao::Connection& connection, const QString& table, TransferRun& run)
    : connection_(connection), run_(run) {
    if (!run.choices().emptyTarget) return;
    if (transactional(connection, table)) {
        connection_.execute(QStringLiteral("START TRANSACTION"));
        active_ = true;
        run.holdWhole(true);
    }
    EmptyTable(connection, table);
}

RunTransaction::~RunTransaction() {
    if (!active_) return;
    run_.markUndone();
    try {
        connection_.execute(QStringLiteral("ROLLBACK"));
    } catch (const dao::DaoError&) {  // a lost connection: the server undoes it itself
    }
}

// A commit whose answer is lost may or may not have been carried out: the run is then not
// reported undone.
void RunTransaction::keep() {
    if (!active_) return;
    active_ = false;
    connection_.execute(QStringLiteral("COMMIT"));
}

}  // namespace keldara::transfer

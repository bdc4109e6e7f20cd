#include "transfer/StatementSender.h"

#include "platform/dao/DaoError.h"
#include "platform/dao/mysql/QuoteIdentifier.h"

namespace keldara::transfer {

WriteAction writeActionNamed(const QString& action) {
    if (action == QLatin1String("INSERT")) return WriteAction::Insert;
    if (action == QLatin1String("UPDATE")) return WriteAction::Update;
    if (action == QLatin1String("UPSERT")) return WriteAction::Upsert;
    refuseRun(QStringLiteral("Unknown action \"%1\".").arg(action));
}

StatementSender::StatementSender(WriteAction action, const QString& table, const QString& matchName,
                                 const PairedFields& fields, dao::Connection& connection,
                                 TransferRun& run, Form form)
    : action_(action),
      table_(table),
      fields_(fields),
      connection_(connection),
      run_(run),
      literal_(form == Form::Text),
      insert_(action == WriteAction::Update
                  ? RecordText()
                  : RecordText::insert(dao::mysql::QuoteIdentifier(table), fields.names)),
      update_(action == WriteAction::Insert ? RecordText()
                                            : RecordText::update(dao::mysql::QuoteIdentifier(table),
                                                                 fields.names, matchName)) {
    if (action != WriteAction::Insert) fields.requireMergeMatch(matchName);
}

long StatementSender::startRow() {
    if (action_ != WriteAction::Insert) return run_.choices().resumeAt;
    return lookups_.begin(connection_, table_, fields_, run_);
}

Sender::Resumed StatementSender::resume(long first, long end, const dao::DaoError& error) {
    if (action_ != WriteAction::Insert) return Sender::resume(first, end, error);
    return lookups_.resume(first, end, error, run_);
}

long StatementSender::send(long first, long /*count*/) {
    run_.reach(160);
    write(first);
    return 1;
}

// INSERT ... ON DUPLICATE KEY UPDATE is not used: another unique key of the table could make
// it update a row that the match field does not find.
void StatementSender::write(long row) {
    const std::vector<dao::Value> values = fields_.values(row);
    RunLedger& ledger = run_.ledger();
    try {
        if (action_ != WriteAction::Insert) {
            if (sent(update_, values) != 0) return ledger.updated();
            if (action_ == WriteAction::Update) return ledger.unmatched();
        }
        sent(insert_, values);
        ledger.inserted();
    } catch (const dao::DaoError& error) {
        if (!ledger.refused(error, row, fields_)) throw;
    }
}

// Runs `statement` with the record's `values` (transferValue, in the order of the names) and
// gives the rows it affected: for an update the rows it found; -1 where the connection cannot
// tell. Throws the server's DaoError.
long long StatementSender::sent(Statement& statement, const std::vector<dao::Value>& values) {
    if (!literal_ && prepare(statement)) return sendPrepared(statement, values);
    const long long affected = sendText(statement, values);
    if (!literal_) {
        literal_ = true;
        run_.progress().notice(
            QStringLiteral("The server did not prepare the record statements (%1); each record "
                           "is sent as text.")
                .arg(notPrepared_));
    }
    return affected;
}

// Whether `statement` is prepared on the connection's session, preparing it when it is not (a
// session opened again, after a lost connection or a deadlock, has none). A lost
// connection (or a transaction the server undid) is thrown on, as the text statement's would be.
bool StatementSender::prepare(Statement& statement) {
    if (statement.prepared && statement.preparedSession == connection_.session()) return true;
    try {
        statement.prepared.reset();
        statement.prepared = connection_.prepare(statement.text.marked());
        statement.preparedSession = connection_.session();
        return true;
    } catch (const dao::DaoError& error) {
        if (error.transient()) throw;
        notPrepared_ = error.description();
        return false;
    }
}

long long StatementSender::sendPrepared(Statement& statement,
                                        const std::vector<dao::Value>& values) {
    std::vector<dao::Value> marks;
    marks.reserve(statement.order.size());
    for (const qsizetype value : statement.order) marks.push_back(values[value]);
    try {
        return statement.prepared->execute(marks);
    } catch (const dao::DaoError& error) {
        // A statement prepared on a lost connection is gone with it.
        if (error.connectionLost()) statement.prepared.reset();
        throw;
    }
}

long long StatementSender::sendText(Statement& statement, const std::vector<dao::Value>& values) {
    QStringList literals;
    literals.reserve(static_cast<qsizetype>(values.size()));
    for (const dao::Value& value : values) literals << value.sqlLiteral();
    return connection_.executeCounted(statement.text.text(literals));
}

}  // namespace keldara::transfer

#include "transfer/StatementSender.h"

#include <algorithm>

#include "platform/dao/DaoError.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "transfer/TableFacts.h"

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
      mayGroup_(form == Form::Prepared),
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

long StatementSender::send(long first, long count) {
    run_.reach(160);
    if (grouped()) {
        const long records = std::min(GroupRecords, groupLimits_.rows);
        return sendGroup(first, std::min(count, first + records));
    }
    write(first);
    return 1;
}

bool StatementSender::grouped() {
    if (grouped_) return *grouped_;
    grouped_ = mayGroup_ && !run_.holdsWhole() && transactional(connection_, table_);
    // A Galera cluster may hold a transaction to fewer rows, or to fewer bytes.
    if (*grouped_) groupLimits_ = batchLimitsOf(connection_);
    return *grouped_;
}

// The updates of a merge depend on nothing before them but the table: the group's statements go
// to the server in one round trip (or several, each text within what one statement may hold),
// which stops at the first one it refuses.
long StatementSender::sendUpdates(long first, long end) {
    run_.sendingRows(first, end);
    std::optional<BatchTransaction> transaction(std::in_place, connection_, false);
    Tally tally;
    for (long row = first; row < end;) {
        QStringList statements;
        qsizetype chars = 0;
        for (long r = row; r < end && (statements.isEmpty() || chars < groupLimits_.chars); ++r) {
            statements << textOf(update_, fields_.values(r));
            chars += statements.last().size();
        }
        const long sentEnd = row + static_cast<long>(statements.size());
        run_.sendingWithin(sentEnd - 1);
        const dao::Connection::EachCounted each = connection_.executeEach(statements);
        for (const long long found : each.affected)
            tally.add(found != 0 ? Outcome::Updated : Outcome::Unmatched);
        if (!each.failed) {
            row = sentEnd;
            continue;
        }
        const long refused = row + static_cast<long>(each.affected.size());
        run_.sendingWithin(refused);
        if (each.failed->transient()) throw *each.failed;
        refusedInGroup(*each.failed, refused, end, transaction, tally);
        row = refused + 1;
    }
    if (transaction) transaction->keep();
    tally.into(run_.ledger());
    return end - first;
}

long StatementSender::sendGroup(long first, long end) {
    if (action_ == WriteAction::Update) return sendUpdates(first, end);
    run_.sendingRows(first, end);
    std::optional<BatchTransaction> transaction(std::in_place, connection_, false);
    Tally tally;
    for (long row = first; row < end; ++row) {
        run_.sendingWithin(row);
        try {
            tally.add(sentRecord(row));
            if (row + 1 < end && run_.stopAskedWithinBatch()) end = row + 1;
        } catch (const dao::DaoError& error) {
            if (error.transient()) throw;
            refusedInGroup(error, row, end, transaction, tally);
        }
    }
    if (transaction) transaction->keep();
    tally.into(run_.ledger());
    return end - first;
}

// Record `row` of a group up to `end` was refused: the records before it are committed and
// counted first, then the refusal is listed, or thrown to end the run. The group goes on after
// it in a new transaction.
void StatementSender::refusedInGroup(const dao::DaoError& error, long row, long end,
                                     std::optional<BatchTransaction>& transaction, Tally& tally) {
    transaction->keep();
    transaction.reset();
    tally.into(run_.ledger());
    run_.sendingRow(row);
    if (!run_.ledger().refused(error, row, fields_)) throw error;
    if (row + 1 == end) return;
    run_.sendingRows(row + 1, end);
    transaction.emplace(connection_, false);
}

// INSERT ... ON DUPLICATE KEY UPDATE is not used: another unique key of the table could make
// it update a row that the match field does not find.
StatementSender::Outcome StatementSender::sentRecord(long row) {
    const std::vector<dao::Value> values = fields_.values(row);
    if (action_ != WriteAction::Insert) {
        if (sent(update_, values) != 0) return Outcome::Updated;
        if (action_ == WriteAction::Update) return Outcome::Unmatched;
    }
    sent(insert_, values);
    return Outcome::Inserted;
}

void StatementSender::write(long row) {
    try {
        Tally tally;
        tally.add(sentRecord(row));
        tally.into(run_.ledger());
    } catch (const dao::DaoError& error) {
        if (!run_.ledger().refused(error, row, fields_)) throw;
    }
}

void StatementSender::Tally::add(Outcome outcome) {
    switch (outcome) {
        case Outcome::Inserted:
            ++inserted;
            break;
        case Outcome::Updated:
            ++updated;
            break;
        case Outcome::Unmatched:
            ++unmatched;
            break;
    }
}

void StatementSender::Tally::into(RunLedger& ledger) {
    ledger.inserted(inserted);
    ledger.updated(updated);
    ledger.unmatched(unmatched);
    *this = {};
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
    return connection_.executeCounted(textOf(statement, values));
}

QString StatementSender::textOf(Statement& statement, const std::vector<dao::Value>& values) {
    QStringList literals;
    literals.reserve(static_cast<qsizetype>(values.size()));
    for (const dao::Value& value : values) literals << value.sqlLiteral();
    return statement.text.text(literals);
}

}  // namespace keldara::transfer

#include "transfer/RecordStatements.h"

#include "platform/dao/DaoError.h"

namespace keldara::transfer {

WriteAction writeActionNamed(const QString& action) {
    if (action == QLatin1String("INSERT")) return WriteAction::Insert;
    if (action == QLatin1String("UPDATE")) return WriteAction::Update;
    if (action == QLatin1String("UPSERT")) return WriteAction::Upsert;
    refuseRun(QStringLiteral("Unknown action \"%1\".").arg(action));
}

void RecordCounts::into(TransferResult& result) const {
    result.recordsUpdated = updated;
    result.recordsInserted = inserted;
    result.recordsUnmatched = unmatched;
    result.recordsRefused = refused;
}

RecordStatements::RecordStatements(WriteAction action, const QString& table,
                                   const QString& matchName, const PairedFields& fields,
                                   RecordSender sender)
    : action_(action),
      fields_(fields),
      sender_(std::move(sender)),
      insert_(action == WriteAction::Update
                  ? RecordText()
                  : RecordText::insert(QuoteIdentifier(table), fields.names)),
      update_(action == WriteAction::Insert
                  ? RecordText()
                  : RecordText::update(QuoteIdentifier(table), fields.names, matchName)) {
    if (action != WriteAction::Insert) fields.requireMergeMatch(matchName);
}

// An update or insert first updates by the match field and inserts only when that found no
// row. INSERT ... ON DUPLICATE KEY UPDATE is not used: another unique key of the table could
// make it update a row that the match field does not find.
void RecordStatements::write(long row, dao::Connection& connection, const RunChoices& choices,
                             RecordCounts& counts) {
    const std::vector<dao::Value> values = fields_.values(row);
    try {
        if (action_ != WriteAction::Insert) {
            if (sender_.send(connection, update_, values) != 0) {
                ++counts.updated;
                return;
            }
            if (action_ == WriteAction::Update) {
                ++counts.unmatched;
                return;
            }
        }
        sender_.send(connection, insert_, values);
        ++counts.inserted;
    } catch (const dao::DaoError& error) {
        if (!choices.skip(error, row, fields_)) throw;
        ++counts.refused;
    }
}

void EmptyTable(dao::Connection& connection, const QString& table) {
    connection.execute(QStringLiteral("DELETE FROM ") + QuoteIdentifier(table));
}

void refuseUpdateOfEmptied() {
    refuseRun(
        QStringLiteral("Emptying the target table first leaves no row to update: choose an "
                       "update or insert, or do not empty the table."));
}

bool transactional(dao::Connection& connection, const QString& table) {
    const auto answer = connection.openRecordset(
        QStringLiteral("SELECT e.TRANSACTIONS FROM information_schema.TABLES t JOIN "
                       "information_schema.ENGINES e ON e.ENGINE = t.ENGINE WHERE "
                       "t.TABLE_SCHEMA = DATABASE() AND t.TABLE_NAME = ") +
        dao::Value::text(table).sqlLiteral());
    return answer->recordCount() == 1 &&
           answer->valueAt(0, 0).standardText() == QLatin1String("YES");
}

BatchTransaction::BatchTransaction(dao::Connection& connection, bool withinRun)
    : connection_(connection), withinRun_(withinRun) {
    connection_.execute(withinRun_ ? QStringLiteral("SAVEPOINT keldara_batch")
                                   : QStringLiteral("START TRANSACTION"));
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

void BatchTransaction::undo() {
    ended_ = true;
    connection_.execute(withinRun_ ? QStringLiteral("ROLLBACK TO SAVEPOINT keldara_batch")
                                   : QStringLiteral("ROLLBACK"));
}

RunTransaction::RunTransaction(dao::Connection& connection, const QString& table, bool emptyTarget,
                               bool& undone)
    : connection_(connection), undone_(undone) {
    if (!emptyTarget) return;
    if (transactional(connection, table)) {
        connection_.execute(QStringLiteral("START TRANSACTION"));
        active_ = true;
    }
    EmptyTable(connection, table);
}

RunTransaction::~RunTransaction() {
    if (!active_) return;
    undone_ = true;
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

void undoneRun(TransferResult& result) {
    result.undone = true;
    result.recordsDone = 0;
    result.recordsUpdated = result.recordsInserted = result.recordsUnmatched = 0;
}

}  // namespace keldara::transfer

#include "transfer/RecordSender.h"

#include "platform/dao/DaoError.h"

namespace keldara::transfer {

long long RecordSender::send(dao::Connection& connection, SentStatement& statement,
                             const std::vector<dao::Value>& values) {
    if (!literal_ && prepare(connection, statement)) return sendPrepared(statement, values);
    const long long affected = sendText(connection, statement, values);
    if (!literal_) {
        literal_ = true;
        progress_->notice(QStringLiteral("The server did not prepare the record statements (%1); "
                                         "each record is sent as text.")
                              .arg(notPrepared_));
    }
    return affected;
}

// Whether `statement` is prepared on `connection`'s session, preparing it when it is not (a
// session opened again, after a lost connection or a deadlock, has none). A lost
// connection (or a transaction the server undid) is thrown on, as the text statement's would be.
bool RecordSender::prepare(dao::Connection& connection, SentStatement& statement) {
    if (statement.prepared && statement.preparedOn == &connection &&
        statement.preparedSession == connection.session())
        return true;
    try {
        statement.prepared.reset();
        statement.prepared = connection.prepare(statement.text.marked());
        statement.preparedOn = &connection;
        statement.preparedSession = connection.session();
        return true;
    } catch (const dao::DaoError& error) {
        if (error.transient()) throw;
        notPrepared_ = error.description();
        return false;
    }
}

long long RecordSender::sendPrepared(SentStatement& statement,
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

long long RecordSender::sendText(dao::Connection& connection, SentStatement& statement,
                                 const std::vector<dao::Value>& values) {
    QStringList literals;
    literals.reserve(static_cast<qsizetype>(values.size()));
    for (const dao::Value& value : values) literals << value.sqlLiteral();
    return connection.executeCounted(statement.text.text(literals));
}

}  // namespace keldara::transfer

#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "platform/dao/Connection.h"
#include "transfer/SqlText.h"
#include "transfer/TransferProgress.h"

namespace keldara::transfer {

// One of a record's statements and, once the server has prepared it, the server's handle.
struct SentStatement {
    explicit SentStatement(RecordText form) : text(std::move(form)), order(text.valueOrder()) {}

    RecordText text;
    std::vector<qsizetype> order;  // RecordText::valueOrder
    std::unique_ptr<dao::PreparedStatement> prepared;
    const dao::Connection* preparedOn = nullptr;
    unsigned long preparedSession = 0;  // Connection::session() when it was prepared
};

// Sends one record's statement. A prepared sender has the server prepare each statement once
// (again on another connection, or after the connection was lost) and runs it with the
// record's values bound in their own types. Where the server does not prepare it (an old
// server, a proxy, a provider without prepared statements) the record goes as literal text;
// once such a text statement has gone through, the run goes on in text and says so once.
// A text sender always sends the literal text.
class RecordSender {
  public:
    static RecordSender text() { return RecordSender(nullptr, true); }
    static RecordSender prepared(TransferProgress& progress) {
        return RecordSender(&progress, false);
    }

    // Runs `statement` with the record's `values` (transferValue, in the order of the names)
    // and gives the rows it affected: for an update the rows it found; -1 where the
    // connection cannot tell. Throws the server's DaoError.
    long long send(dao::Connection& connection, SentStatement& statement,
                   const std::vector<dao::Value>& values);

  private:
    RecordSender(TransferProgress* progress, bool literal)
        : progress_(progress), literal_(literal) {}

    bool prepare(dao::Connection& connection, SentStatement& statement);
    long long sendPrepared(SentStatement& statement, const std::vector<dao::Value>& values);
    static long long sendText(dao::Connection& connection, SentStatement& statement,
                              const std::vector<dao::Value>& values);

    TransferProgress* progress_;
    bool literal_;
    QString notPrepared_;  // the server's words when it last did not prepare a statement
};

}  // namespace keldara::transfer

#pragma once

#include <mysql.h>

#include <QString>
#include <memory>
#include <span>

#include "platform/dao/Connection.h"

namespace keldara::dao::mysql {

class BoundColumns;

// A server-side prepared statement (mysql_stmt_*) on an open connection, which must outlive it.
// Each value is bound in its own type: integers, doubles and Booleans as numbers, decimals as
// their exact text, dates and times as MYSQL_TIME, texts as UTF-8, bytes as a blob.
class MySqlStatement final : public PreparedStatement {
  public:
    MySqlStatement(MYSQL* connection, const QString& sql);
    ~MySqlStatement() override;
    MySqlStatement(const MySqlStatement&) = delete;
    MySqlStatement& operator=(const MySqlStatement&) = delete;

    long long execute(std::span<const Value> values) override;
    // Runs the statement once for each row of `rows` in one round trip (see
    // Connection::insertValueRows).
    Connection::InsertedRows executeValueRows(const ValueRows& rows);

  private:
    [[noreturn]] void throwError(int number) const;

    MYSQL_STMT* statement_;
    unsigned long parameters_ = 0;
    // The arrays rows of values are bound by, kept from one run to the next so that their
    // memory is taken once.
    std::unique_ptr<BoundColumns> boundRows_;
};

// Whether the server runs a statement for many rows of values in one round trip (a MariaDB
// server's bulk execution).
bool insertsValueRows(MYSQL* connection);

}  // namespace keldara::dao::mysql

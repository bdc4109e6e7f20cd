#pragma once

#include <mysql.h>

#include <memory>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/mysql/MySqlStatement.h"

namespace keldara::dao::mysql {

struct ServerAddress;
struct Endpoint;

// A connection to a MySQL or MariaDB server through MariaDB Connector/C, opened from the
// connection string of the MySQL ODBC driver (SERVER, UID, PWD, PORT, DATABASE). It talks
// utf8mb4 over TCP in a strict session (STRICT_ALL_TABLES), and reports failures with the server's
// own text and error number. LOAD DATA LOCAL reads only what loadLocalData hands it, never a
// file. With COPY=1 every session it opens copies a database as it is: a 0 written into an
// AUTO_INCREMENT column is kept (NO_AUTO_VALUE_ON_ZERO) and foreign keys are not checked.
class MySqlConnection final : public Connection {
  public:
    void open(const QString& connectionString) override;
    bool isOpen() const override { return handle_ != nullptr; }
    void close() override;
    void execute(const QString& sql) override;
    long long executeCounted(const QString& sql) override;
    // In one round trip, the session taking several statements for its length.
    EachCounted executeEach(const QStringList& statements) override;
    LoadedData loadLocalData(const QString& statement, const QByteArray& data) override;
    std::unique_ptr<PreparedStatement> prepare(const QString& sql) override;
    bool insertsValueRows() const override;
    InsertedRows insertValueRows(const QString& insert, const ValueRows& rows) override;
    // Opens a line to the next server of the connection string's list that answers (to the
    // same one when it lists one).
    void reconnect() override;
    // To the very server in use, not the next of the list.
    std::unique_ptr<Connection> openAlongside() override;
    QString serverName() const override;
    unsigned long session() const override { return session_; }
    bool inTransaction() const override;
    std::unique_ptr<Recordset> openTableCatalogue() override;
    std::unique_ptr<Recordset> openRecordset(const QString& sql) override;

  private:
    struct HandleCloser {
        void operator()(MYSQL* handle) const { mysql_close(handle); }
    };
    using Handle = std::unique_ptr<MYSQL, HandleCloser>;

    void connectFrom(const QString& connectionString, std::size_t first);
    Handle connectTo(const ServerAddress& address, const Endpoint& server);

    MYSQL* requireOpen() const;
    void sendQuery(const QString& sql);
    std::unique_ptr<Recordset> readResult();
    void discardFurtherResults();
    std::vector<LoadedData::Warning> lineWarnings(unsigned int count);
    [[noreturn]] void throwServerError(int number) const;
    DaoError serverError(int number) const;

    Handle handle_;
    QString connectionString_;  // what open() was given, for reconnect()
    std::size_t server_ = 0;    // the server in use, of the string's list
    QString serverName_;
    unsigned long session_ = 0;
    // What a LOAD DATA LOCAL statement reads while loadLocalData runs; the server is given
    // no other file, whatever it asks for.
    struct LocalData {
        const QByteArray* bytes = nullptr;
        qsizetype sent = 0;
    };
    LocalData localData_;
    // The statement of the last insertValueRows, kept for the next batch of the same insert:
    // preparing it for every batch cost a round trip and the server's work each time. Gone
    // with the session it was prepared in, and after a failed run of it.
    struct RowsStatement {
        QString insert;
        std::unique_ptr<MySqlStatement> statement;
    };
    RowsStatement rowsStatement_;
};

// What a caller can do about the server's or client's error `code` (mysql_errno).
DaoError::Category errorCategory(unsigned int code);

}  // namespace keldara::dao::mysql

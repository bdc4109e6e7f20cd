#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/dao/DaoError.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Value.h"
#include "platform/dao/ValueRows.h"

namespace keldara::dao {

// A statement the server has parsed once, run again and again with other values in place of
// its "?" marks, each value sent in its own type rather than as text. Throws DaoError.
class PreparedStatement {
  public:
    virtual ~PreparedStatement() = default;
    // Runs the statement with `values` (one per "?") and gives the rows it affected.
    virtual long long execute(std::span<const Value> values) = 0;
};

// An open line to one database: a source file (or folder of files) or a MySQL server.
// Every failing operation throws DaoError.
class Connection {
  public:
    virtual ~Connection() = default;

    virtual void open(const QString& connectionString) = 0;
    virtual bool isOpen() const = 0;  // ADO State = 1
    virtual void close() = 0;         // throws when not open
    // Runs one statement that returns no rows.
    virtual void execute(const QString& sql) = 0;
    // Runs one statement that returns no rows and gives the number of rows it affected (for
    // an UPDATE, the rows it found, changed or not); -1 when the provider cannot tell.
    virtual long long executeCounted(const QString& sql) {
        execute(sql);
        return -1;
    }
    // What executeEach gives: the rows each statement affected (as executeCounted gives them)
    // up to the first that failed, and that one's error.
    struct EachCounted {
        std::vector<long long> affected;
        std::optional<DaoError> failed;
    };
    // Runs `statements` (none returning rows) in order and stops at the first that fails,
    // where the provider can in one round trip to the server. The default runs them one by one.
    virtual EachCounted executeEach(const QStringList& statements);
    // Runs a LOAD DATA LOCAL INFILE statement with `data` as its file, whatever file it
    // names, and gives the rows it added and the warnings it raised. Throws DaoError where
    // the provider or the server cannot load local data.
    struct LoadedData {
        // One warning and the line (from 1) of the data that raised it.
        struct Warning {
            long long line = 0;
            QString text;
            // The line was not written: it would have repeated a unique key's value.
            bool duplicate = false;
        };
        long long rows = 0;
        unsigned int warnings = 0;
        // Every warning with its line, when the provider can tell them all (and there are no
        // more than a few hundred); empty otherwise.
        std::vector<Warning> lineWarnings;
    };
    virtual LoadedData loadLocalData(const QString& statement, const QByteArray& data);
    // What insertValueRows gives: the rows inserted and the warnings raised.
    struct InsertedRows {
        long long rows = 0;
        unsigned int warnings = 0;
    };
    // Whether insertValueRows sends its rows in one round trip (else it is not to be used).
    virtual bool insertsValueRows() const { return false; }
    // Runs `insert`, an INSERT with a "?" mark for each column of `rows`, once for each of its
    // rows, in one round trip; the server reads each text as it reads the same text in a
    // statement, and each value of another form as its standard text. It stops at the first
    // row refused (a statement-level error). Throws DaoError.
    virtual InsertedRows insertValueRows(const QString& insert, const ValueRows& rows);
    // Has the server parse a statement with "?" marks for values. Throws DaoError where the
    // provider or the server cannot prepare it.
    virtual std::unique_ptr<PreparedStatement> prepare(const QString& sql);
    // Drops the line and opens a new one from what open() was given (for a server, a new
    // session: its transaction, temporary tables and prepared statements are gone). Throws
    // DaoError when it cannot be opened, or where the provider cannot open one again.
    virtual void reconnect();
    // Which session the line is on: a number that changes whenever open() or reconnect() opens
    // a new one, so that what belonged to the old session (prepared statements) is known gone.
    virtual unsigned long session() const { return 0; }
    // Whether the session is within a transaction begun and not yet ended, as the server told
    // with its last answer; false where the provider has no transactions.
    virtual bool inTransaction() const { return false; }
    // A second session to the server this one is open to, opened as this one was, for work
    // done alongside it; null where the provider has none.
    virtual std::unique_ptr<Connection> openAlongside() { return nullptr; }
    // The server the line is open to ("host:port"); empty where there is none.
    virtual QString serverName() const { return {}; }
    // The user tables, one record each, with the column "TABLE_NAME" (OpenSchema 20 "Table").
    virtual std::unique_ptr<Recordset> openTableCatalogue() = 0;
    // Runs a row-returning statement into a static, read-only recordset.
    virtual std::unique_ptr<Recordset> openRecordset(const QString& sql) = 0;
    // The same records, values and errors as openRecordset, for reading once in increasing
    // order: a provider that can read its table record by record holds only the last
    // `keepRows` records read (Recordset's streamed form); the others load it whole.
    virtual std::unique_ptr<Recordset> openStreamedRecordset(const QString& sql, long keepRows) {
        (void)keepRows;
        return openRecordset(sql);
    }
};

// The catalogue recordset of the file providers: one record per table, column "TABLE_NAME".
std::unique_ptr<Recordset> tableCatalogue(const QStringList& names);

// A connection object for the provider that serves the connection string, not yet open.
// Throws DaoError when no provider serves it.
std::unique_ptr<Connection> createConnection(const QString& connectionString);

// Creates the right connection and opens it.
std::unique_ptr<Connection> openConnection(const QString& connectionString);

}  // namespace keldara::dao

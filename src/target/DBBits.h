#pragma once

#include <QString>

#include "shell/AppState.h"

// The MySQL connection functions: the connection string of the MySQL ODBC driver, connecting
// and closing gMySQLConnection, and the catalogue queries over it. The functions that talk to
// the server swallow every failure and report it only through their result.
namespace keldara::target {

// "DRIVER={MySQL ODBC 3.51 Driver};SERVER=..;UID=..;PWD=..;PORT=..;DATABASE=.." with the
// values as given, except that a value holding ";", "{" or "}" is put in braces so that it
// reaches the server intact and cannot add keys of its own.
QString ConnectionString(const QString& sServer, const QString& sUser, const QString& sPassword,
                         const QString& sDatabase, const QString& sPort);

// Opens gMySQLConnection at server level (no default database); closes it first when open.
bool MySQL_Connect_Server(shell::AppState& state, const QString& sServer, const QString& sUser,
                          const QString& sPassword, const QString& sPort);

// Opens gMySQLConnection with sDatabase as its default database, encrypted as sMySQLTlsKeys
// asks; closes it first when open. A failure's reason goes into sMySQLConnectError.
bool MySQL_Connect_Database(shell::AppState& state, const QString& sServer, const QString& sUser,
                            const QString& sPassword, const QString& sDatabase,
                            const QString& sPort);

// Closes gMySQLConnection without looking at its state: throws DaoError when it is not open.
void MySQL_Close(shell::AppState& state);

// The server's databases in the server's order, joined by ",", or "" on any failure.
QString LoadDatabases(shell::AppState& state);

// Reconnects with sDatabase as the default database and returns its tables joined by ",",
// or "" on any failure (a failed reconnect leaves gMySQLConnection closed).
QString LoadTables(shell::AppState& state, const QString& sServer, const QString& sUser,
                   const QString& sPassword, const QString& sDatabase, const QString& sPort);

// How gMySQLConnection is encrypted: "TLSv1.3, TLS_AES_256_GCM_SHA384" (the TLS version and
// cipher the server reports), or "" when it is not encrypted or not open.
QString ConnectionEncryption(shell::AppState& state);

// Whether gMySQLConnection exists and is open.
bool MySQLConnectionIsOpen(const shell::AppState& state);

}  // namespace keldara::target

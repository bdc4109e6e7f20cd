#include "target/DBBits.h"

#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Providers.h"
#include "platform/dao/mysql/QuoteIdentifier.h"

namespace keldara::target {

namespace {

// gMySQLConnection, created closed on first use.
dao::Connection& mySqlConnection(shell::AppState& state) {
    if (!state.gMySQLConnection) state.gMySQLConnection = dao::makeMySqlConnection();
    return *state.gMySQLConnection;
}

// Runs a catalogue query into gMySQLRecordset and joins the first column of its rows by ",".
// An empty result fails at the move to the first row.
QString firstColumnList(shell::AppState& state, const QString& sql) {
    state.gMySQLRecordset = state.gMySQLConnection->openRecordset(sql);
    dao::Recordset& rs = *state.gMySQLRecordset;
    QString list;
    rs.moveFirst();
    while (!rs.eof()) {
        if (!list.isEmpty()) list += QLatin1Char(',');
        list += rs.value(0).standardText();
        rs.moveNext();
    }
    rs.close();
    return list;
}

}  // namespace

QString ConnectionString(const QString& sServer, const QString& sUser, const QString& sPassword,
                         const QString& sDatabase, const QString& sPort) {
    using dao::braceQuoteIfNeeded;
    return QStringLiteral("DRIVER={MySQL ODBC 3.51 Driver};") + QStringLiteral("SERVER=") +
           braceQuoteIfNeeded(sServer) + QStringLiteral(";UID=") + braceQuoteIfNeeded(sUser) +
           QStringLiteral(";PWD=") + braceQuoteIfNeeded(sPassword) + QStringLiteral(";PORT=") +
           braceQuoteIfNeeded(sPort) + QStringLiteral(";DATABASE=") + braceQuoteIfNeeded(sDatabase);
}

bool MySQL_Connect_Server(shell::AppState& state, const QString& sServer, const QString& sUser,
                          const QString& sPassword, const QString& sPort) {
    return MySQL_Connect_Database(state, sServer, sUser, sPassword, QString(), sPort);
}

bool MySQL_Connect_Database(shell::AppState& state, const QString& sServer, const QString& sUser,
                            const QString& sPassword, const QString& sDatabase,
                            const QString& sPort) {
    try {
        dao::Connection& connection = mySqlConnection(state);
        if (connection.isOpen()) connection.close();
        state.sMySQLConnectError.clear();
        connection.open(ConnectionString(sServer, sUser, sPassword, sDatabase, sPort) +
                        state.sMySQLTlsKeys);
        return true;
    } catch (const dao::DaoError& error) {
        state.sMySQLConnectError = error.description();
        return false;
    } catch (...) {
        return false;
    }
}

void MySQL_Close(shell::AppState& state) {
    mySqlConnection(state).close();
}

QString ConnectionEncryption(shell::AppState& state) {
    try {
        if (!MySQLConnectionIsOpen(state)) return {};
        QStringList parts;
        for (const char* variable : {"Ssl_version", "Ssl_cipher"}) {
            const auto status = state.gMySQLConnection->openRecordset(
                QStringLiteral("SHOW SESSION STATUS LIKE '%1'").arg(QLatin1String(variable)));
            const QString value =
                status->recordCount() == 1 ? status->valueAt(0, 1).standardText() : QString();
            if (!value.isEmpty()) parts << value;
        }
        return parts.join(QStringLiteral(", "));
    } catch (...) {
        return {};
    }
}

bool MySQLConnectionIsOpen(const shell::AppState& state) {
    return state.gMySQLConnection && state.gMySQLConnection->isOpen();
}

QString LoadDatabases(shell::AppState& state) {
    try {
        if (!MySQLConnectionIsOpen(state)) return {};
        return firstColumnList(state, QStringLiteral("SHOW DATABASES"));
    } catch (...) {
        return {};
    }
}

QString LoadTables(shell::AppState& state, const QString& sServer, const QString& sUser,
                   const QString& sPassword, const QString& sDatabase, const QString& sPort) {
    try {
        if (MySQLConnectionIsOpen(state)) state.gMySQLConnection->close();
        if (!MySQL_Connect_Database(state, sServer, sUser, sPassword, sDatabase, sPort)) {
            return {};
        }
        return firstColumnList(
            state, QStringLiteral("SHOW TABLES FROM ") + dao::mysql::QuoteIdentifier(sDatabase));
    } catch (...) {
        return {};
    }
}

}  // namespace keldara::target

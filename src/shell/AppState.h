#pragma once

#include <QList>
#include <QStringList>
#include <memory>

#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"

namespace keldara::shell {

// The state the rooms of the main window share for the whole run.
// The field lists are parallel and indexed from 0; element 0 is the empty name and type 0,
// elements 1..n are the loaded table's fields in column order.
struct AppState {
    std::unique_ptr<dao::Connection> gSourceConnection;
    std::unique_ptr<dao::Recordset> gSchemaRecordset;
    QStringList gSourceTables;
    QStringList gSourceFieldNames;
    QList<int> gSourceFieldTypes;
    bool bSourceLoaded = false;

    std::unique_ptr<dao::Connection> gMySQLConnection;
    std::unique_ptr<dao::Recordset> gMySQLRecordset;
    QStringList gTargetFieldNames;
    QList<int> gTargetFieldTypes;
    bool bTargetLoaded = false;
    // The name of the loaded target table: the one table a run writes into.
    QString gTargetTableName;
    // The connection string keys of the target's TLS choice (empty: unencrypted), added to
    // every target connection string.
    QString sMySQLTlsKeys;
    // Why the last target connect failed; it names no password.
    QString sMySQLConnectError;
};

}  // namespace keldara::shell

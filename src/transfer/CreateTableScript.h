#pragma once

#include <QString>

#include "platform/dao/Recordset.h"
#include "transfer/TransferProgress.h"

namespace keldara::transfer {

struct ScriptResult : TransferResult {
    QString script;  // empty unless the run completed over at least one record
};

// A MySQL script, CR LF lines, that drops and creates `table` with one column per source
// field (types of MySQLColumnType, the utf8mb4 character set) and fills it with one insert
// per record. With an index name, the last column line is followed by an index on
// `indexColumn`. Shows "Creating MySQL Statement", then "Processed Record :" + n per record;
// an error or a stop discards the script with the status texts of MergeToTarget. A source
// without records gives no script. The recordset's position is not moved.
ScriptResult CreateTableScript(const QString& table, const dao::Recordset& source,
                               TransferProgress& progress, const QString& indexName = {},
                               const QString& indexColumn = {});

}  // namespace keldara::transfer

#pragma once

#include <QString>

#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"
#include "shell/FieldPairing.h"
#include "transfer/RunChoices.h"
#include "transfer/TransferProgress.h"

namespace keldara::transfer {

// Runs `action` into `table`: "INSERT", "UPDATE" or "UPSERT" a statement per record
// (MergeToTarget), "BULK" many records at a time (BulkInsert), "BULK-MERGE" or "BULK-UPSERT"
// by batches joined with the table (BulkMerge). `matchName` is the target field an update
// matches rows by.
TransferResult Transfer(const QString& action, const QString& table, const QString& matchName,
                        const dao::Recordset& source, const shell::FieldPairing& pairing,
                        dao::Connection& connection, TransferProgress& progress,
                        const RunChoices& choices = {});

}  // namespace keldara::transfer

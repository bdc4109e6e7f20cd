#pragma once

#include <QString>

#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"
#include "shell/FieldPairing.h"
#include "transfer/RejectsFile.h"
#include "transfer/RunChoices.h"
#include "transfer/TransferProgress.h"

namespace keldara::transfer {

// MergeToTarget's "UPDATE" (`upsert` false) or "UPSERT" (true), with the same results, status
// texts, counts and errors, a batch of up to BulkBatchRows records at a time on a
// transactional table: in one transaction per batch, the batch is loaded by LOAD DATA LOCAL
// into a temporary table of the paired columns (their types taken from the target), the
// target's rows are updated by a join on the match column and, for an update or insert, the
// records that matched no row are inserted in their order.
//
// A batch goes record by record instead, as MergeToTarget sends it, when the temporary table
// takes a record only with a warning (a refused value), when two of its records hold the same
// match value (each would update the rows of the one before), or when the join's statements
// are refused (another unique key): so a refused record is found and named, and, when
// skipped, the others of its batch are still written. A table that cannot undo a statement
// (MyISAM, Aria), or a server that does not load local data, is written record by record
// throughout, so that a failure keeps exactly the records before it.
TransferResult BulkMerge(bool upsert, const QString& table, const QString& matchName,
                         const dao::Recordset& source, const shell::FieldPairing& pairing,
                         dao::Connection& connection, TransferProgress& progress,
                         const RunChoices& choices = {});

}  // namespace keldara::transfer

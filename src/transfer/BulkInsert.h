#pragma once

#include <QString>

#include "mapping/FieldPairing.h"
#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"
#include "transfer/TransferProgress.h"

namespace keldara::transfer {

// Inserts every record of `source` into `table` as MergeToTarget's "INSERT" does (the same
// fields, values, status texts and errors), but many records to a statement: one multi-row
// insert per batch of up to BulkBatchRows records or about BulkBatchChars characters.
// Progress, status and a stop follow each batch. The next batch's statement is written on a
// second thread while the server takes the current one, reading `source` meanwhile.
//
// A refused batch is sent again record by record from its first record that is not in the
// table, so that the run ends as the per-record insert would: at the first refused record,
// with the error the server gives that record alone, the records before it in the table and
// none after. A transactional table (InnoDB) keeps no record of a refused batch; any other
// (MyISAM, Aria) keeps those before the refused one, told by its row count, counted before
// the run and after a refused batch (nothing else is to write the table meanwhile).
TransferResult BulkInsert(const QString& table, const dao::Recordset& source,
                          const mapping::FieldPairing& pairing, dao::Connection& connection,
                          TransferProgress& progress);

inline constexpr long BulkBatchRows = 2000;
inline constexpr qsizetype BulkBatchChars = 1 << 20;

}  // namespace keldara::transfer

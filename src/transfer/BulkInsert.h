#pragma once

#include <QString>

#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"
#include "shell/FieldPairing.h"
#include "transfer/RunChoices.h"
#include "transfer/TransferProgress.h"

namespace keldara::transfer {

// Inserts every record of `source` into `table` as MergeToTarget's "INSERT" does (the same
// fields, values, status texts and errors), many records at a time: batches of up to
// BulkBatchRows records. On a transactional table (InnoDB) a batch goes by LOAD DATA LOCAL,
// its lines holding the very text of the insert's literals, in a transaction kept only when
// every record arrived without a warning (LOAD DATA LOCAL turns a refusal into a warning);
// on other tables, or where the server refuses LOAD DATA LOCAL, by one multi-row insert of
// up to about BulkBatchChars characters. Progress, status and a stop follow each batch. The
// next batch is written on a second thread while the server takes the current one, reading
// `source` meanwhile.
//
// A refused batch is sent again record by record from its first record that is not in the
// table, so that the run ends as the per-record insert would: at the first refused record,
// with the error the server gives that record alone, the records before it in the table and
// none after. A transactional table keeps no record of a refused batch; any other (MyISAM,
// Aria) keeps those before the refused one, told by its row count, counted before the run and
// after a refused batch (nothing else is to write the table meanwhile).
//
// With `choices` skipping refused records, the records of a refused batch are sent one by
// one, each refused one listed, and the run goes on. With `choices` emptying the table, a
// transactional table is emptied and loaded in one transaction, batches kept by savepoints:
// a run that fails leaves the table as it was (TransferResult::undone).
TransferResult BulkInsert(const QString& table, const dao::Recordset& source,
                          const shell::FieldPairing& pairing, dao::Connection& connection,
                          TransferProgress& progress, const RunChoices& choices = {});

}  // namespace keldara::transfer

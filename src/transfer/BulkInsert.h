#pragma once

#include <QString>

#include "mapping/FieldPairing.h"
#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"
#include "transfer/PairedFields.h"
#include "transfer/RejectsFile.h"
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
                          const mapping::FieldPairing& pairing, dao::Connection& connection,
                          TransferProgress& progress, const RunChoices& choices = {});

inline constexpr long BulkBatchRows = 5000;
inline constexpr qsizetype BulkBatchChars = 1 << 20;
// The characters of a batch that LOAD DATA takes, which no packet size limits.
inline constexpr qsizetype BulkLoadChars = 4 << 20;

// The most records and characters one batch holds on a server: BulkBatchRows, BulkBatchChars
// and BulkLoadChars, kept within a Galera cluster's limits of one transaction's write set
// (wsrep_max_ws_rows, wsrep_max_ws_size; a character taken as up to four bytes) where the
// server has them.
struct BatchLimits {
    long rows = BulkBatchRows;
    qsizetype chars = BulkBatchChars;
    qsizetype loadChars = BulkLoadChars;
};
BatchLimits batchLimitsOf(dao::Connection& connection);

// Appends the LOAD DATA line of record `row` (tab-separated fields ending in a line feed):
// \N for Null, else the text its insert literal quotes with \, tab, line feed, carriage
// return and NUL escaped. False for a field of bytes, which no line holds.
bool AppendLoadLine(QString& lines, const PairedFields& fields, long row);

}  // namespace keldara::transfer

#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "platform/dao/Connection.h"

// What a run asks the server about its target table.
namespace keldara::transfer {

// The first value of the first row `query` gives, as a number.
long long countOf(dao::Connection& connection, const QString& query);
// The rows of `table` now.
long long rowCount(dao::Connection& connection, const QString& table);

// Whether the server's engine for `table` undoes a whole statement that fails; false when
// the table is not found in this database's catalogue (a name with its database, a view).
bool transactional(dao::Connection& connection, const QString& table);

inline constexpr long BulkBatchRows = 5000;
inline constexpr qsizetype BulkBatchChars = 1 << 20;
// The bytes (UTF-8) of a batch that LOAD DATA takes, which no packet size limits.
inline constexpr qsizetype BulkLoadBytes = 4 << 20;
// A bulk insert's batches hold BulkBatchRows records for the run's first BulkGrowAfterRows,
// so that the server has the first soon and a short run is sent as before; then as many as
// a load's bytes hold at the size of the records so far, doubling from one batch to the next
// up to BulkLargeBatchRows: a long run commits less often (each commit a flush to disk). Larger
// batches take fresh memory, and a source kept for them more: in a run of 100,000 records that
// cost more than the commits it saved.
inline constexpr long BulkGrowAfterRows = 20 * BulkBatchRows;
inline constexpr long BulkLargeBatchRows = 40000;

// The records a source read as a stream keeps for a bulk run: a refused batch is read again
// from its first record while the next batch is being written, so two batches' worth (a
// bulk insert asks the source to keep more when its batches grow).
inline constexpr long StreamedBulkRows = 2 * BulkBatchRows;

// The most records, characters and bytes one batch holds on a server: BulkBatchRows,
// BulkBatchChars and BulkLoadBytes, kept within a Galera cluster's limits of one transaction's
// write set (wsrep_max_ws_rows, wsrep_max_ws_size; a character taken as up to four bytes)
// where the server has them; and whether the server is a node of such a cluster.
struct BatchLimits {
    long rows = BulkBatchRows;
    qsizetype chars = BulkBatchChars;
    qsizetype loadBytes = BulkLoadBytes;
    bool clusterNode = false;
    long mostRows = BulkLargeBatchRows;  // the most a batch that grows may hold
    // The bytes of texts after which a batch of rows for one insert takes no more records: a
    // quarter of the server's largest packet, which must hold the whole batch, within loadBytes.
    qsizetype rowBytes = BulkLoadBytes;
    // Whether rows of `bytes` (dao::ValueRows::bytes) fit one packet. A batch passes rowBytes
    // only by its last record, so one of more than twice rowBytes holds a record larger than it.
    bool rowsFitOnePacket(qsizetype bytes) const { return bytes <= 2 * rowBytes; }
};
BatchLimits batchLimitsOf(dao::Connection& connection);

// The form beyond text each of the columns `names` of `table` takes a value in as it takes its
// standard text (the column forms of ValueRows): integers in integer columns, doubles in floating
// columns, dates and dates with times in date and date-and-time columns; texts elsewhere and
// for a column not found.
std::vector<dao::ValueRows::Form> columnFormsOf(dao::Connection& connection, const QString& table,
                                                const QStringList& names);

// What the target's match column of a merge is: unique (a unique index of the table, its
// primary key among them, is on it alone, so that no two rows hold the same value of it), and
// an integer.
struct MatchColumn {
    bool unique = false;
    bool integer = false;
};
MatchColumn matchColumnOf(dao::Connection& connection, const QString& table, const QString& column);

}  // namespace keldara::transfer

#include "transfer/LandedRecords.h"

#include <algorithm>
#include <map>
#include <optional>

#include "platform/dao/DaoError.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "shell/FieldPairing.h"
#include "transfer/SqlText.h"
#include "transfer/TableFacts.h"

namespace keldara::transfer {

namespace {

constexpr long kPart = 1000;  // the records one lookup names

// The unique keys of `table`, primary first, each as its column names in order.
std::vector<QStringList> uniqueKeys(dao::Connection& connection, const QString& table) {
    const auto rows = connection.openRecordset(
        QStringLiteral("SELECT INDEX_NAME, COLUMN_NAME FROM information_schema.STATISTICS "
                       "WHERE TABLE_SCHEMA = DATABASE() AND NON_UNIQUE = 0 AND TABLE_NAME = ") +
        dao::Value::text(table).sqlLiteral() +
        QStringLiteral(" ORDER BY INDEX_NAME <> 'PRIMARY', INDEX_NAME, SEQ_IN_INDEX"));
    std::vector<QStringList> keys;
    QString current;
    for (long row = 0; row < rows->recordCount(); ++row) {
        const QString index = rows->valueAt(row, 0).standardText();
        if (keys.empty() || index != current) keys.emplace_back();
        current = index;
        keys.back() << rows->valueAt(row, 1).standardText();
    }
    return keys;
}

}  // namespace

LandedRecords::LandedRecords(dao::Connection& connection, const QString& table,
                             const PairedFields& fields, bool gapsPossible)
    : connection_(connection),
      fields_(fields),
      table_(dao::mysql::QuoteIdentifier(table)),
      transactional_(transactional(connection, table)),
      gapsPossible_(gapsPossible) {
    const auto wsrep = connection.openRecordset(QStringLiteral("SHOW VARIABLES LIKE 'wsrep_on'"));
    clusterNode_ = wsrep->recordCount() == 1 && wsrep->valueAt(0, 1).standardText().compare(
                                                    QLatin1String("ON"), Qt::CaseInsensitive) == 0;
    for (const QStringList& key : uniqueKeys(connection, table)) {
        std::vector<int> positions;
        for (const QString& column : key)
            positions.push_back(shell::FindNameIndex(fields.names, column));
        if (std::find(positions.begin(), positions.end(), -1) != positions.end()) continue;
        key_ = positions;
        QStringList quoted;
        for (const QString& column : key) quoted << dao::mysql::QuoteIdentifier(column);
        keyColumns_ = quoted.join(QLatin1Char(','));
        keyMeans_ = QStringLiteral("by the key (%1)").arg(keyColumns_);
        return;
    }
}

// A node answers from what it has applied, and may not yet have applied what another node
// committed; with wsrep_sync_wait a read waits for it. The session is a new one after each
// reconnection, so it is set before every look.
void LandedRecords::readCausally() const {
    if (clusterNode_) connection_.execute(QStringLiteral("SET SESSION wsrep_sync_wait = 1"));
}

long long LandedRecords::start() {
    readCausally();
    rowsAtStart_ = countOf(QStringLiteral("SELECT COUNT(*) FROM ") + table_);
    return rowsAtStart_;
}

long LandedRecords::landed(long first, long end, long confirmed) {
    readCausally();
    checkIntact(first, end);
    return landedOf(first, end, rowsAtStart_, confirmed);
}

// The rows gained since the run began tell how many of the records landed; the key tells
// whether they are the first ones. A record whose key was in the table before the run is found
// by the key but gained no row. Where refused records are skipped, a batch may have been kept
// without some of its records, so every record found must then be one that gained a row.
long LandedRecords::landedOf(long first, long end, long long rowsAtStart, long written) {
    const long size = end - first;
    const long long rows = countOf(QStringLiteral("SELECT COUNT(*) FROM ") + table_);
    const long gained =
        static_cast<long>(std::clamp<long long>(rows - rowsAtStart - written, 0, size));
    // In their order, for a source read as a stream.
    const std::optional<long long> firstFound = keysFound(first, first + gained);
    // Past the rows gained, only the one batch that may have been kept without some of its
    // records can hold records of the run: the look goes no further, so that a source read as
    // a stream still holds the record the run goes on from.
    const long laterEnd = std::min<long>(end, first + gained + BulkBatchRows);
    const std::optional<long long> laterFound =
        gapsPossible_ || gained == 0 ? keysFound(first + gained, laterEnd) : 0;
    usedKey_ = firstFound && laterFound;
    if (!usedKey_) return gained;
    if (gained == 0) {
        usedKey_ = *laterFound == 0;
        return 0;
    }
    if (*firstFound == gained && *laterFound == 0) return gained;
    throw dao::DaoError(
        dao::DaoError::BadQuery,
        QStringLiteral("Records %1 to %2 may or may not have been written: the table gained %3 "
                       "rows while they were in flight, and its key (%4) finds %5 of them, "
                       "some perhaps rows that were there before the run. Check the target "
                       "table and start the run anew from the first record not written.")
            .arg(QString::number(first + 1), QString::number(end), QString::number(gained),
                 keyColumns_, QString::number(*firstFound + *laterFound)));
}

// The records are looked at a part at a time, in their order, so that a source read as a
// stream (which keeps only the records near the furthest one read) still holds each part's.
long LandedRecords::landedPrefix(long first, long end, long long rowsAtStart, long writtenBefore) {
    readCausally();
    checkIntact(first, end);
    if (rowsAtStart >= 0) return landedOf(first, end, rowsAtStart, writtenBefore);
    return halvedByKey(first, end);
}

// Without the row count an earlier run began from (a state file of an older Keldara): the
// first record whose key is not in the table, by halving.
long LandedRecords::halvedByKey(long first, long end) {
    for (long part = first; part < end; part += kPart) {
        const long partEnd = std::min(end, part + kPart);
        if (!keyHasValues(part, partEnd)) {
            refuseRun(QStringLiteral("Records %1 to %2 may or may not have been written by the "
                                     "run that is resumed, and the paired fields hold no key to "
                                     "find them by; check the target table and start the run "
                                     "anew.")
                          .arg(first + 1)
                          .arg(end));
        }
        usedKey_ = true;
        long low = part;
        long high = partEnd;
        while (low < high) {
            const long middle = low + (high - low) / 2;
            (keysFound(middle, middle + 1) == 1LL ? low = middle + 1 : high = middle);
        }
        if (low < partEnd) return low - first;
    }
    return end - first;
}

// A table that cannot undo (MyISAM) whose server stopped while it was written may hold rows
// its index does not know of, or a row written in part: neither its key nor its row count
// then tells which records are in it. The server's check finds such damage; the run ends
// saying so rather than going on from a wrong answer.
void LandedRecords::checkIntact(long first, long end) const {
    if (transactional_) return;
    const auto check = connection_.openRecordset(QStringLiteral("CHECK TABLE ") + table_);
    QStringList damage;
    for (long row = 0; row < check->recordCount(); ++row) {
        const QString type = check->valueAt(row, 2).standardText();
        const QString text = check->valueAt(row, 3).standardText();
        const bool fine =
            text == QLatin1String("OK") || text == QLatin1String("Table is already up to date");
        if (type == QLatin1String("error") || (type == QLatin1String("status") && !fine))
            damage << text;
    }
    if (damage.isEmpty()) return;
    throw dao::DaoError(
        dao::DaoError::BadQuery,
        QStringLiteral("The table %1 was left damaged when the server stopped (CHECK TABLE: "
                       "\"%2\"): whether records %3 to %4 were written cannot be found out. "
                       "Repair it (REPAIR TABLE %1) before the run is resumed.")
            .arg(table_, damage.join(QStringLiteral("; ")), QString::number(first + 1),
                 QString::number(end)));
}

// How many of records `first` to `end` - 1 have their key in the table, asked a part at a
// time in their order; nothing where the table has no key the paired fields cover, or a
// record holds no value in one of its columns.
std::optional<long long> LandedRecords::keysFound(long first, long end) const {
    if (key_.empty()) return std::nullopt;
    QStringList columns;
    for (const int position : key_) columns << dao::mysql::QuoteIdentifier(fields_.names[position]);
    const QString head = QStringLiteral("SELECT COUNT(*) FROM %1 WHERE (%2) IN (")
                             .arg(table_, columns.join(QLatin1Char(',')));
    long long found = 0;
    for (long part = first; part < end; part += kPart) {
        if (!keyHasValues(part, std::min(end, part + kPart))) return std::nullopt;
        QString query = head;
        for (long row = part; row < std::min(end, part + kPart); ++row) {
            const QStringList literals = fields_.literals(row);
            QStringList values;
            for (const int position : key_) values << literals[position];
            if (row > part) query += QLatin1Char(',');
            query += QLatin1Char('(') + values.join(QLatin1Char(',')) + QLatin1Char(')');
        }
        found += countOf(query + QLatin1Char(')'));
    }
    return found;
}

bool LandedRecords::keyHasValues(long first, long end) const {
    if (key_.empty()) return false;
    for (long row = first; row < end; ++row) {
        const QStringList literals = fields_.literals(row);
        for (const int position : key_) {
            if (literals[position] == QLatin1String("NULL")) return false;
        }
    }
    return true;
}

namespace {

bool looksUpLanded(const RunChoices& choices) {
    return choices.retryForSeconds > 0 || choices.resumable ||
           choices.inDoubtUntil > choices.resumeAt;
}

}  // namespace

long InsertLookups::begin(dao::Connection& connection, const QString& table,
                          const PairedFields& fields, TransferRun& run) {
    const RunChoices& choices = run.choices();
    const long start = choices.resumeAt;
    if (!looksUpLanded(choices)) return start;
    LandedRecords& landed = landed_.emplace(connection, table, fields, choices.rejects != nullptr);
    const long found = choices.inDoubtUntil > start
                           ? landed.landedPrefix(start, choices.inDoubtUntil, choices.rowsAtStart,
                                                 start - choices.refusedBefore)
                           : 0;
    run.ledger().tableCounted(landed.start());
    return start + found;
}

Sender::Resumed InsertLookups::resume(long first, long end, const dao::DaoError& error,
                                      TransferRun& run) {
    if (!landed_ || !error.connectionLost()) return {first, {}};
    const long kept = landed_->landed(first, end, run.ledger().insertedCount());
    run.ledger().inserted(kept);
    return {first + kept, landedText(kept, end - first, landed_->means())};
}

QString landedText(long landed, long size, const QString& means) {
    if (size == 1) {
        return landed == 1 ? QStringLiteral("it was found written %1").arg(means)
                           : QStringLiteral("it was found not written %1").arg(means);
    }
    return QStringLiteral("%1 of them were found written %2").arg(landed).arg(means);
}

long long LandedRecords::countOf(const QString& query) const {
    return transfer::countOf(connection_, query);
}

}  // namespace keldara::transfer

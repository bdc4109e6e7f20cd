#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace keldara::test {

// One cell of mdb-export's CSV: nothing for NULL.
using ExportCell = std::optional<QString>;

struct ExportedTable {
    QStringList header;
    std::vector<std::vector<ExportCell>> rows;
};

// The marker mdb-export is told to print for NULL; no fixture holds it as data.
inline constexpr const char* kExportNull = "\x01NULL\x01";

// Runs Debian's mdb-export on one table, with dates as "YYYY-MM-DD HH:MM:SS", binary data as
// hexadecimal digits, NULL as kExportNull. `jet3Charset` is passed as MDB_JET3_CHARSET.
ExportedTable mdbExport(const QString& file, const QString& table,
                        const QByteArray& jet3Charset = {});

// The user tables as mdb-tables lists them, one per line.
QStringList mdbTables(const QString& file);

// Splits mdb-export's CSV (quote '"', doubled inside, line breaks allowed inside quotes).
std::vector<std::vector<ExportCell>> parseExportCsv(const QString& csv);

}  // namespace keldara::test

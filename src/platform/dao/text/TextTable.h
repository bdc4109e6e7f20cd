#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "platform/dao/Recordset.h"

namespace keldara::dao::text {

struct TextTableOptions {
    bool headerRow = true;  // the first record names the fields
    // The field delimiter; when absent, "," for .csv files, and for other files a tab when
    // the first line holds one, else ",".
    std::optional<char> delimiter;
    // The file is read at most this many bytes at a time (a file under 32 MB in blocks of a
    // sixteenth of it, or 512 KB); a block larger than the file reads it whole.
    qint64 blockBytes = qint64{2} << 20;
};

// Reads a whole delimited text file into a recordset. Field types come from the values:
// 3 when every value is an integer within 32 bits, 20 within 64 bits, 5 for numbers a
// double holds exactly, 7 for ISO dates and date-times, else 202 (203 when a value is
// longer than 255 characters). Empty fields are Null. Throws DaoError naming the file.
std::unique_ptr<Recordset> readTextTable(const QString& path, const TextTableOptions& options);

// The same table as readTextTable, streamed: the first pass on opening, over the file a block
// at a time, finds the fields and the record count; the values are read as they are asked
// for, and only the last `keepRows` read are held (Recordset's streamed form).
std::unique_ptr<Recordset> streamTextTable(const QString& path, const TextTableOptions& options,
                                           long keepRows);

// The delimiter used for a file of this name whose text (UTF-8) begins with `firstLine`.
char chooseDelimiter(const QString& fileName, QByteArrayView text);

}  // namespace keldara::dao::text

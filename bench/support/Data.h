#pragma once

// Data files the benchmarks generate.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace keldara::bench {

// A pattern for QTemporaryDir: a folder named after `name` under $KELDARA_BENCH_DATA, or
// under the system's temporary folder when that is unset.
QString dataFolderPattern(const QString& name);

// Writes `content` to `path`; throws std::runtime_error when it cannot.
void writeFile(const QString& path, const QByteArray& content);

// A CSV file of `records` orders with a header line and ten columns as exported tables have
// them: integers, texts (some quoted, with delimiters, doubled quotes and accents), decimals
// that doubles hold exactly, dates, date-times, codes with leading zeros, and empty fields.
void writeOrdersCsv(const QString& path, int records);

// About `bytes` of CSV, written a megabyte at a time: a header line "id,name,amount,day,note",
// then an integer key, a quoted text with a delimiter and other scripts, a number with two
// decimals, a date and a longer text. LOAD DATA reads it as the text provider does.
void writeLongCsv(const QString& path, qint64 bytes);

// The mariadb client's arguments for the server KELDARA_MYSQL_* name, with LOAD DATA LOCAL on
// and `database` the default one.
QStringList clientArguments(const QString& database);

// The text provider's connection string for the folder of `csvPath`.
QString textConnectionString(const QString& csvPath);

}  // namespace keldara::bench

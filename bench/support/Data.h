#pragma once

// Data files the benchmarks generate.
#include <QByteArray>
#include <QString>

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

// The text provider's connection string for the folder of `csvPath`.
QString textConnectionString(const QString& csvPath);

}  // namespace keldara::bench

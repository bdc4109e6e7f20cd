#pragma once

#include <QString>
#include <QtGlobal>

// Whether a source table loaded whole would fit in memory, told before it is loaded.
namespace keldara::source {

// The memory a table of the source file takes once loaded, estimated on the high side from
// what the readers were measured to take (bench/NOTES.md): for text and dBase files from the
// cells they hold, for the ZIP workbooks from the size of their parts unpacked, otherwise
// from the file's size. 0 when the file cannot be read (the load itself then says why).
qint64 EstimatedLoadBytes(const QString& path);

// The question asked before loading a table that needs `needed` bytes when only
// `available` are left.
QString LargeTableQuestion(const QString& table, qint64 needed, qint64 available);

}  // namespace keldara::source

#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace keldara::test {

// Writes damaged copies of a file (truncated at many lengths, and overwritten with junk
// bytes at many offsets) to `damagedPath`, one at a time, and calls `read` after each.
// `read` must return normally or throw keldara::dao::DaoError; any other outcome is the
// caller's test failure (a crash or a hang ends the test run). Returns the copies tried.
int forEachDamagedCopy(const QString& originalPath, const QString& damagedPath, int copies,
                       const std::function<void(const QString& what)>& read);

// The bytes of a file; empty when it cannot be read.
QByteArray readAll(const QString& path);

}  // namespace keldara::test

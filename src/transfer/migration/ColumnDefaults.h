#pragma once

#include <QString>
#include <optional>

namespace keldara::transfer::migration {

// What follows DEFAULT in a MySQL column of `type` (as ColumnTypesOf writes it) for a source's
// default expression (Access's: `0`, `"n/a"`, `=No`, `Now()`, `#1/31/2000#`, ...); nothing
// when it has no MySQL form that gives the same value.
std::optional<QString> MySqlDefault(const QString& expression, const QString& type);

}  // namespace keldara::transfer::migration

#pragma once

#include <QString>
#include <optional>

namespace keldara::dao {

// The table named by "SELECT * FROM [name]" (brackets optional; a name in brackets may
// hold blanks and punctuation). Nothing when the statement is not of that form.
std::optional<QString> tableOfSelectAll(const QString& sql);

}  // namespace keldara::dao

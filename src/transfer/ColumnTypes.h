#pragma once

#include <QString>
#include <vector>

#include "platform/dao/Field.h"

// The MySQL column type declared for a source field in the create-table script.
namespace keldara::transfer {

// The type text for an ADO type code; "varchar(255)" for a code without its own entry.
QString MySQLTypeName(int typeCode);

// The column type for a field: the type text, with the field's defined size added to "char"
// and "varchar", and its own precision and scale to "decimal" of a numeric field.
QString MySQLColumnType(const dao::FieldInfo& field);

// The column types of a table of these fields, MySQLColumnType's unless the row they make
// would pass MySQL's row size limit (65,535 bytes; utf8mb4 takes 4 bytes a character): then
// every character column is declared "text" ("mediumText" beyond what "text" holds), which
// the limit counts at a few bytes.
std::vector<QString> TableColumnTypes(const std::vector<dao::FieldInfo>& fields);

}  // namespace keldara::transfer

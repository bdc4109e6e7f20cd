#pragma once

#include <QString>

#include "platform/dao/Field.h"

// The MySQL column type declared for a source field in the create-table script.
namespace keldara::transfer {

// The type text for an ADO type code; "varchar(255)" for a code without its own entry.
QString MySQLTypeName(int typeCode);

// The column type for a field: the type text, with the field's defined size added to "char"
// and "varchar", and its own precision and scale to "decimal" of a numeric field.
QString MySQLColumnType(const dao::FieldInfo& field);

}  // namespace keldara::transfer

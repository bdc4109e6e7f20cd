#include "platform/dao/TableSchema.h"

namespace keldara::dao {

TableSchema SchemaOfFields(const QString& table, const std::vector<FieldInfo>& fields) {
    TableSchema schema;
    schema.name = table;
    for (const FieldInfo& field : fields) {
        ColumnSchema column;
        column.name = field.name;
        column.type = field.type;
        column.definedSize = field.definedSize;
        column.precision = field.precision;
        column.numericScale = field.numericScale;
        schema.columns.push_back(column);
    }
    return schema;
}

}  // namespace keldara::dao

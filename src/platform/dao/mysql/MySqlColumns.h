#pragma once

#include <mysql.h>

#include <cstdint>

#include "platform/dao/Field.h"
#include "platform/dao/Value.h"

namespace keldara::dao::mysql {

// How the text that the server sends for a column's values becomes a Value.
enum class ValueForm : std::uint8_t {
    Integer,          // signed integer types, YEAR
    UnsignedInteger,  // unsigned integer types: beyond int64 as exact decimal text
    Decimal,          // DECIMAL: exact text
    Floating,         // FLOAT, DOUBLE
    Date,             // DATE
    Time,             // TIME: a time of day, or text when negative or 24 hours and beyond
    DateTime,         // DATETIME, TIMESTAMP
    Bits,             // BIT(M): the bits as an unsigned integer
    Text,             // character data, UTF-8 on the wire
    Bytes,            // binary data
};

struct ColumnShape {
    FieldInfo info;
    ValueForm form = ValueForm::Text;
};

// The ADO type code, defined size and value form of a result column, as a MySQL ODBC
// driver reports them.
ColumnShape describeColumn(const MYSQL_FIELD& field);

// The value of one non-NULL cell from its text-protocol bytes. Nothing is lost: a text that
// does not fit the column's form (a zero date, a TIME of 24 hours and more) stays text.
Value readValue(ValueForm form, const char* data, unsigned long length);

}  // namespace keldara::dao::mysql

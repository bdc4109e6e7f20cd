#pragma once

#include <QString>

#include "platform/dao/Value.h"

namespace keldara::dao {

// What a recordset knows of one of its columns.
struct FieldInfo {
    QString name;
    int type = 0;          // ADO DataTypeEnum code
    long definedSize = 0;  // declared length of character fields, storage size otherwise
    int precision = 0;
    int numericScale = 0;
};

// One field of the current record.
struct Field : FieldInfo {
    Value value;
};

}  // namespace keldara::dao

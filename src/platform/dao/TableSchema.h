#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "platform/dao/Field.h"

namespace keldara::dao {

// The structure of a source database as its file declares it, whatever the format: what a
// script needs to create its tables elsewhere. Names are as the source spells them.

struct ColumnSchema {
    QString name;
    int type = 0;           // ADO DataTypeEnum code, as the column's recordset field reports it
    long definedSize = 0;   // a text column's declared length; storage size otherwise
    int precision = 0;      // decimals only
    int numericScale = 0;   // decimals only
    bool required = false;  // NOT NULL
    bool autoNumber = false;
    std::optional<QString> defaultValue;  // the source's own expression, e.g. `0` or `"n/a"`
    std::optional<QString> description;
    // Date-times: the digits of the seconds' fraction the source keeps (milliseconds unless
    // the source says more).
    int fractionDigits = 3;
};

struct IndexColumn {
    QString name;
    bool ascending = true;
};

struct IndexSchema {
    QString name;
    std::vector<IndexColumn> columns;  // in key order
    bool primary = false;
    bool unique = false;
    bool ignoreNulls = false;  // rows whose key is Null are left out of the index
};

// A relationship between two tables: each of the referencing columns refers to the
// referenced column at the same place.
struct RelationshipSchema {
    QString name;
    QString table;
    QStringList columns;
    QString referencedTable;
    QStringList referencedColumns;
    bool enforced = true;  // an unenforced relationship is only documentation
    bool cascadeUpdate = false;
    bool cascadeDelete = false;
    bool oneToOne = false;
};

struct TableSchema {
    QString name;
    std::vector<ColumnSchema> columns;  // in the table's order
    // The indexes a user asked for; those a source keeps only to serve a relationship are
    // left out (the relationship says them).
    std::vector<IndexSchema> indexes;
    std::optional<QString> description;
};

// A table's schema from the fields a reader gives (sheets, text, dBase): the columns as the
// reader types them, nothing required, no keys.
TableSchema SchemaOfFields(const QString& table, const std::vector<FieldInfo>& fields);

struct DatabaseSchema {
    std::vector<TableSchema> tables;
    std::vector<RelationshipSchema> relationships;
};

}  // namespace keldara::dao

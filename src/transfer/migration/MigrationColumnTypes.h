#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "platform/dao/TableSchema.h"

namespace keldara::transfer::migration {

// The MySQL type of a target column, and the most characters (bytes for binary types) a value
// of it holds as far as the source says: its declared length, or the longest value of a long
// text; -1 when unknown.
struct ColumnType {
    QString type;
    long long longest = -1;
};

// The longest value of a column of the table, in characters; -1 when unknown.
using LongestOfColumn = std::function<long long(const QString& column)>;

// The column types of a table: ColumnTypes' rules for its fields (TableColumnTypes, so a row
// keeps within MySQL's limit), except where the source says more: a GUID as CHAR(38) (the
// readers give it as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"), a date-time kept to more than
// milliseconds as DATETIME(6), a long text as MEDIUMTEXT when its longest value surely fits,
// LONGTEXT otherwise. Short character columns that would not let a row fit an InnoDB page
// become TEXT (largest first), and `widened` says how many did. Upper case.
std::vector<ColumnType> ColumnTypesOf(const dao::TableSchema& table, const LongestOfColumn& longest,
                                      int& widened);

// The position of the column a source's index or relationship names: the one of that name,
// else one of that name but for letter case (as Access compares names); -1 when none.
int ColumnNamed(const dao::TableSchema& table, const QString& name);

// What a type is, as key and default rules need to know it.
bool isCharacterType(const QString& type);  // CHAR(n), VARCHAR(n)
bool isLongType(const QString& type);       // TEXT and BLOB kinds: indexed by a prefix only
bool isBinaryType(const QString& type);     // BLOB kinds, BINARY, VARBINARY
bool isTextType(const QString& type);       // character and TEXT kinds
bool isIntegerType(const QString& type);    // TINYINT ... BIGINT, TINYINT(1) included
bool isBooleanType(const QString& type);    // TINYINT(1)
bool isDateTimeType(const QString& type);   // DATETIME(n)
// The n of CHAR(n), VARCHAR(n), DATETIME(n), DECIMAL(n,...); 0 when there is none.
int typeLength(const QString& type);

}  // namespace keldara::transfer::migration

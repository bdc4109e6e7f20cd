#pragma once

#include <QByteArray>
#include <QString>

#include "platform/dao/Connection.h"
#include "platform/dao/Value.h"
#include "transfer/PairedFields.h"

// The text LOAD DATA LOCAL reads: tab-separated fields in UTF-8, a line a record.
namespace keldara::transfer {

// Appends the LOAD DATA field of `value` (as transferValue gives it): \N for Null, otherwise
// the text its insert literal quotes (dao::Value::sqlLiteral: the standard text), with the
// characters LOAD DATA reads specially (\, tab, line feed, carriage return, NUL) escaped.
// False for bytes, which no field holds.
bool AppendLoadField(QByteArray& lines, const dao::Value& value);

// Appends the LOAD DATA line of record `row` (tab-separated fields ending in a line feed).
// False for a field of bytes, which no line holds.
bool AppendLoadLine(QByteArray& lines, const PairedFields& fields, long row);

// Appends the record at `index` of the source's `columns` (as Recordset::readRecords gives them)
// to `rows`: a text as its UTF-8, other values as ValueRows::append takes them. False for a
// field of bytes, which no cell holds; `rows` then ends with the whole rows before the record.
bool AppendRowValues(dao::ValueRows& rows, const PairedFields& fields,
                     const std::vector<dao::Column>& columns, std::size_t index);

// "LOAD DATA LOCAL INFILE ... INTO TABLE `table` ... (columns)" for lines as AppendLoadLine
// writes them; `columns` are the column list's quoted names, joined by commas.
QString LoadDataStatement(const QString& quotedTable, const QString& columns);

}  // namespace keldara::transfer

#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "platform/dao/Recordset.h"
#include "platform/dao/sheet/SheetCells.h"

namespace keldara::dao::sheet {

// The table a sheet stands for: the first row of the range its cells occupy (empty texts
// and errors occupy theirs) gives the field names, the rows below it the records. A column
// holding values of one kind gets that type (number 5, date 7, Boolean 11, text 202/203); a
// column of mixed kinds is read as text so that no value is lost. Error cells and empty texts
// are Null. A field whose cells carry a CellNote has the note's text.
std::unique_ptr<Recordset> sheetRecordset(std::vector<SheetCell> cells);
// The same for a sheet of a workbook, read once when its cells are stored in order, as
// writers store them (otherwise read again and sorted).
std::unique_ptr<Recordset> sheetRecordset(const SheetBook& book, std::size_t sheet);

// The same table streamed: a first reading of the cells finds the range, the names and the
// types; a second one, on a thread of its own, gives the records as they are asked for
// (Recordset's streamed form, holding `keepRows`). A sheet whose cells are not stored in
// order is loaded as sheetRecordset loads it. A FormatError while the records are read is
// handed to `rethrow`, called inside the catch block, to throw the error the caller tells.
std::unique_ptr<Recordset> streamSheetRecordset(std::shared_ptr<const SheetBook> book,
                                                std::size_t sheet, long keepRows,
                                                const std::function<void()>& rethrow);

// The text a value stands for in a text column or a field name: numbers in their shortest
// exact form, dates as YYYY-MM-DD[ HH:MM:SS], Booleans as TRUE or FALSE.
QString cellText(const Value& value);

// The catalogue name of a worksheet as Jet forms it: the name and "$", in apostrophes (an
// apostrophe inside doubled) when the name holds anything but letters, digits and "_" or
// starts with a digit.
QString sheetTableName(const QString& sheetName);

}  // namespace keldara::dao::sheet

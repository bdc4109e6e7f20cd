#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/dao/Value.h"
#include "platform/dao/sheet/NumberFormat.h"

// What every spreadsheet reader (.xls, .xlsx/.xlsm, .ods) hands to the sheet tables: the
// cells of each sheet, their kinds of value and the date systems numbers are read in.
namespace keldara::dao::sheet {

// Why a cell's value is not quite the one the file means; the field of such a cell says so.
enum class CellNote : std::uint8_t {
    None,
    DateAsText,      // a date or time beyond the years 1 to 9999 or not valid, read as text
    FormatCutShort,  // a number whose format is damaged in the file, read in the General format
};

// The text a field's note gives for cells of that kind.
QString cellNoteText(CellNote note);

// One cell that holds something: a number, date, text (the empty text too) or Boolean value,
// or an error code (a Null value with isError set). Blank cells are not kept. A text may lie
// in the workbook's own memory (a QString over raw data): to keep it longer than the
// workbook, detach it.
struct SheetCell {
    std::uint32_t row = 0;
    std::uint16_t column = 0;
    bool isError = false;
    CellNote note = CellNote::None;
    Value value;
};

// Receives the cells of a sheet in the order the file holds them.
using CellSink = std::function<void(SheetCell&&)>;

// The largest sheet a workbook may hold (Excel 2007 and later).
inline constexpr std::uint32_t kMaxSheetRows = 1048576;
inline constexpr std::uint32_t kMaxSheetColumns = 16384;

// A workbook whose sheets are read one at a time, as often as asked.
class SheetBook {
  public:
    virtual ~SheetBook() = default;

    struct NamedSheet {
        std::size_t index;
        QString name;  // as the book spells it
    };

    // The sheets' names in workbook order, hidden ones included.
    virtual std::vector<QString> sheetNames() const = 0;
    // The first sheet named `name` but for letter case; none when the book has no such sheet.
    // Throws FormatError.
    virtual std::optional<NamedSheet> findSheet(const QString& name) const;
    // The cells of a sheet as the file holds them: usually in row and column order, but a
    // position may come twice (the later one counts) or out of order. Throws FormatError.
    virtual void visitCells(std::size_t sheet, const CellSink& sink) const = 0;

    // The cells of a sheet in row and column order, one per position.
    std::vector<SheetCell> readCells(std::size_t sheet) const;
};

// The date, date-time or time of day that a serial number in a date format stands for in
// the workbook's date system; nothing when it is no valid date (negative, 29 February 1900
// of the 1900 system, beyond the year 9999).
std::optional<Value> serialToDateValue(double serial, bool date1904, bool timeOnlyFormat);

// A number as a cell of that format shows it: a date or time when the format is one and the
// number a valid serial, else the number.
Value numberCellValue(double number, FormatClass format, bool date1904);

// The date, date-time or time an ISO 8601 text stands for ("2024-02-29",
// "2024-02-29T13:45:00.5", "13:45:00", a zone suffix ignored): a date when it has no time of
// day or midnight; nothing when it is no valid date or time.
std::optional<Value> isoDateValue(std::string_view text);

// A number written in decimal or scientific notation, parsed to the nearest double; nothing
// when the text is no such number or beyond the range of doubles.
std::optional<double> parseNumber(std::string_view text);

}  // namespace keldara::dao::sheet

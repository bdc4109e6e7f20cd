#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

#include "platform/dao/Value.h"

namespace keldara::dao {

// Rows of values for one statement run once for each row (Connection::insertValueRows),
// `columns` cells a row, row after row. A cell is null, a text (UTF-8), or, in a column that
// takes it in its own form as it takes its standard text, an integer, a double, a date or a
// date and time.
struct ValueRows {
    enum class Form : std::uint8_t { Null, Text, Integer, Double, Date, DateTime };
    struct Cell {
        qsizetype end = 0;  // where the texts up to this cell end in `text`
        Form form = Form::Null;
        union {
            std::int64_t integer = 0;
            double number;
            std::size_t time;  // of `times`
        };
    };

    int columns = 0;
    QByteArray text;  // the cells' texts, one after another
    std::vector<Cell> cells;
    std::vector<DateTime> times;
    // The form beyond text each column takes its values in: Integer, Double or DateTime (for
    // dates too); Text where a column takes only texts as its values' own. Empty: all texts.
    std::vector<Form> columnForms;

    long rows() const { return columns > 0 ? static_cast<long>(cells.size()) / columns : 0; }
    // Room for `rows` rows of cells and their dates, and `textBytes` of texts: rows appended
    // within it are not moved, nor their memory taken afresh, as they grow.
    void reserve(long rows, qsizetype textBytes);
    // About the bytes the cells take to send: their texts, a length and a flag for each, and
    // the values of other forms (at most 11 bytes).
    qsizetype bytes() const {
        return text.size() + 2 * static_cast<qsizetype>(cells.size()) + valueBytes_;
    }
    // Where the rows end, to go back to.
    struct Mark {
        std::size_t cells = 0, times = 0;
        qsizetype text = 0, valueBytes = 0;
    };
    Mark mark() const { return {cells.size(), times.size(), text.size(), valueBytes_}; }
    void backTo(const Mark& mark) {
        cells.resize(mark.cells);
        times.resize(mark.times);
        text.truncate(mark.text);
        valueBytes_ = mark.valueBytes;
    }
    void appendNull() { cells.push_back({text.size(), Form::Null, {}}); }
    // Ends a text cell whose UTF-8 was appended to `text`.
    void endText() { cells.push_back({text.size(), Form::Text, {}}); }
    // Appends `value` as the next cell: in its own form where its column takes that form,
    // else as its standard text. False for bytes, which no cell holds.
    bool append(const Value& value);
    // The cell's value (a text cell's as a text).
    Value valueOf(std::size_t cell) const;

  private:
    qsizetype valueBytes_ = 0;
};

}  // namespace keldara::dao

#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

#include "platform/dao/Value.h"

namespace keldara::dao {

// Rows of values for one statement run once for each row (Connection::insertValueRows),
// appended a cell at a time, row after row, and kept column by column as a server takes them
// bound as arrays. A column takes its values in one form: an integer, a double, or a date or
// date and time where `columnForms` names that form for it, else their standard texts (UTF-8).
// A column that is given a value of another form holds texts from then on, those before it too.
class ValueRows {
  public:
    enum class Form : std::uint8_t { Null, Text, Integer, Double, Date, DateTime };
    struct Column {
        Form form = Form::Text;   // Text, Integer, Double or DateTime (dates too)
        std::vector<Form> forms;  // a row's: Null, or the form of its value
        // A row's value in the column's form (a null's is left as it was made).
        std::vector<std::int64_t> integers;
        std::vector<double> numbers;
        std::vector<DateTime> times;
        std::vector<qsizetype> ends;  // where a row's text ends in `text`
        QByteArray text;
    };

    ValueRows() = default;
    // `columnForms`: the form beyond text each column takes its values in (Integer, Double or
    // DateTime, for dates too), Text where a column takes only texts; all texts where empty.
    explicit ValueRows(int columns, const std::vector<Form>& columnForms = {});

    int columnCount() const { return static_cast<int>(columns_.size()); }
    const Column& column(int index) const { return columns_[static_cast<std::size_t>(index)]; }
    long rows() const {
        return columns_.empty() ? 0 : static_cast<long>(columns_.back().forms.size());
    }
    // Room for `rows` rows and about `textBytes` of texts: rows appended within it are not
    // moved, nor their memory taken afresh, as they grow.
    void reserve(long rows, qsizetype textBytes);
    // About the bytes the cells take to send: their texts, a length and a flag for each, and
    // the values of other forms (at most 11 bytes).
    qsizetype bytes() const { return bytes_; }

    // Where the whole rows end, to go back to: a row begun after them goes too.
    struct Mark {
        long rows = 0;
    };
    Mark mark() const { return {rows()}; }
    void backTo(const Mark& mark);

    void appendNull();
    // The texts of the next cell's column, to append the cell's UTF-8 to before endText.
    QByteArray& nextText();
    void endText();
    // Appends `value` as the next cell. False for bytes, which no cell holds.
    bool append(const Value& value);
    // The same for a value of each of those forms, with no Value in between.
    void appendInteger(std::int64_t integer);
    void appendDouble(double number);
    void appendDateTime(ValueKind kind, const DateTime& dateTime);  // a date or a date and time

  private:
    Column& next() { return columns_[column_]; }
    void ended(qsizetype bytes) {
        bytes_ += 2 + bytes;
        if (++column_ == columns_.size()) column_ = 0;
    }
    void recount();
    void appendText(const Value& value);
    void makeTexts(Column& column);

    std::vector<Column> columns_;
    std::size_t column_ = 0;  // of the next cell
    qsizetype bytes_ = 0;
};

}  // namespace keldara::dao

#include "platform/dao/ValueRows.h"

#include <algorithm>

namespace keldara::dao {

namespace {

// The form a column named as taking `form` holds its values in.
ValueRows::Form columnFormOf(ValueRows::Form form) {
    switch (form) {
        case ValueRows::Form::Integer:
        case ValueRows::Form::Double:
            return form;
        case ValueRows::Form::Date:
        case ValueRows::Form::DateTime:
            return ValueRows::Form::DateTime;
        default:
            return ValueRows::Form::Text;
    }
}

Value valueAt(const ValueRows::Column& column, std::size_t row) {
    switch (column.form) {
        case ValueRows::Form::Integer:
            return Value::integer(column.integers[row]);
        case ValueRows::Form::Double:
            return Value::floating(column.numbers[row]);
        default:
            return Value::dateTimeOfKind(
                column.forms[row] == ValueRows::Form::Date ? ValueKind::Date : ValueKind::DateTime,
                column.times[row]);
    }
}

}  // namespace

ValueRows::ValueRows(int columns, const std::vector<Form>& columnForms)
    : columns_(static_cast<std::size_t>(std::max(columns, 0))) {
    for (std::size_t i = 0; i < columns_.size() && i < columnForms.size(); ++i)
        columns_[i].form = columnFormOf(columnForms[i]);
}

void ValueRows::reserve(long rows, qsizetype textBytes) {
    const auto size = static_cast<std::size_t>(rows);
    const auto textColumns = std::count_if(columns_.begin(), columns_.end(),
                                           [](const Column& c) { return c.form == Form::Text; });
    for (Column& column : columns_) {
        column.forms.reserve(size);
        switch (column.form) {
            case Form::Integer:
                column.integers.reserve(size);
                break;
            case Form::Double:
                column.numbers.reserve(size);
                break;
            case Form::DateTime:
                column.times.reserve(size);
                break;
            default:
                column.ends.reserve(size);
                column.text.reserve(textBytes / std::max<qsizetype>(textColumns, 1));
        }
    }
}

void ValueRows::recount() {
    bytes_ = 0;
    for (const Column& column : columns_) {
        bytes_ += column.text.size() + 2 * static_cast<qsizetype>(column.forms.size()) +
                  8 * static_cast<qsizetype>(column.integers.size() + column.numbers.size()) +
                  11 * static_cast<qsizetype>(column.times.size());
    }
}

void ValueRows::backTo(const Mark& mark) {
    const auto rows = static_cast<std::size_t>(mark.rows);
    for (Column& column : columns_) {
        column.forms.resize(std::min(column.forms.size(), rows));
        column.integers.resize(std::min(column.integers.size(), rows));
        column.numbers.resize(std::min(column.numbers.size(), rows));
        column.times.resize(std::min(column.times.size(), rows));
        column.ends.resize(std::min(column.ends.size(), rows));
        column.text.truncate(column.ends.empty() ? 0 : column.ends.back());
    }
    column_ = 0;
    recount();
}

void ValueRows::appendNull() {
    Column& column = next();
    column.forms.push_back(Form::Null);
    switch (column.form) {
        case Form::Integer:
            column.integers.push_back(0);
            return ended(8);
        case Form::Double:
            column.numbers.push_back(0);
            return ended(8);
        case Form::DateTime:
            column.times.emplace_back();
            return ended(11);
        default:
            column.ends.push_back(column.text.size());
            return ended(0);
    }
}

QByteArray& ValueRows::nextText() {
    Column& column = next();
    if (column.form != Form::Text) makeTexts(column);
    return column.text;
}

void ValueRows::endText() {
    Column& column = next();
    const qsizetype start = column.ends.empty() ? 0 : column.ends.back();
    column.forms.push_back(Form::Text);
    column.ends.push_back(column.text.size());
    ended(column.text.size() - start);
}

bool ValueRows::append(const Value& value) {
    switch (value.kind()) {
        case ValueKind::Null:
            appendNull();
            return true;
        case ValueKind::Bytes:
            return false;
        case ValueKind::Integer:
            appendInteger(value.toInt());
            return true;
        case ValueKind::Double:
            appendDouble(value.toDouble());
            return true;
        case ValueKind::Date:
        case ValueKind::DateTime:
            appendDateTime(value.kind(), value.toDateTime());
            return true;
        default:
            appendText(value);
            return true;
    }
}

void ValueRows::appendInteger(std::int64_t integer) {
    Column& column = next();
    if (column.form != Form::Integer) return appendText(Value::integer(integer));
    column.forms.push_back(Form::Integer);
    column.integers.push_back(integer);
    ended(8);
}

void ValueRows::appendDouble(double number) {
    Column& column = next();
    if (column.form != Form::Double) return appendText(Value::floating(number));
    column.forms.push_back(Form::Double);
    column.numbers.push_back(number);
    ended(8);
}

void ValueRows::appendDateTime(ValueKind kind, const DateTime& dateTime) {
    Column& column = next();
    if (column.form != Form::DateTime) return appendText(Value::dateTimeOfKind(kind, dateTime));
    column.forms.push_back(kind == ValueKind::Date ? Form::Date : Form::DateTime);
    column.times.push_back(dateTime);
    ended(11);
}

void ValueRows::appendText(const Value& value) {
    value.appendStandardUtf8(nextText());
    endText();
}

// Writes the values a column holds in its own form as their standard texts, the column's form
// from then on.
void ValueRows::makeTexts(Column& column) {
    for (std::size_t row = 0; row < column.forms.size(); ++row) {
        if (column.forms[row] != Form::Null) {
            valueAt(column, row).appendStandardUtf8(column.text);
            column.forms[row] = Form::Text;
        }
        column.ends.push_back(column.text.size());
    }
    column.form = Form::Text;
    column.integers = {};
    column.numbers = {};
    column.times = {};
    recount();
}

}  // namespace keldara::dao

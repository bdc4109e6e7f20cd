#include "platform/dao/ValueRows.h"

#include <algorithm>

namespace keldara::dao {

namespace {

ValueRows::Form ownForm(ValueKind kind) {
    switch (kind) {
        case ValueKind::Integer:
            return ValueRows::Form::Integer;
        case ValueKind::Double:
            return ValueRows::Form::Double;
        case ValueKind::Date:
            return ValueRows::Form::Date;
        case ValueKind::DateTime:
            return ValueRows::Form::DateTime;
        default:
            return ValueRows::Form::Text;
    }
}

// Whether a column taking `columnForm` takes a value of `form` in it.
bool takes(ValueRows::Form columnForm, ValueRows::Form form) {
    if (form == ValueRows::Form::Date) return columnForm == ValueRows::Form::DateTime;
    return form != ValueRows::Form::Text && columnForm == form;
}

}  // namespace

void ValueRows::reserve(long rows, qsizetype textBytes) {
    const auto dateColumns = std::count(columnForms.begin(), columnForms.end(), Form::DateTime);
    cells.reserve(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
    times.reserve(static_cast<std::size_t>(rows) * static_cast<std::size_t>(dateColumns));
    text.reserve(textBytes);
}

bool ValueRows::append(const Value& value) {
    if (value.isNull()) {
        appendNull();
        return true;
    }
    if (value.kind() == ValueKind::Bytes) return false;
    const std::size_t column = cells.size() % static_cast<std::size_t>(columns);
    const Form form = ownForm(value.kind());
    if (column >= columnForms.size() || !takes(columnForms[column], form)) {
        value.appendStandardUtf8(text);
        endText();
        return true;
    }
    Cell cell{text.size(), form, {}};
    if (form == Form::Integer) {
        cell.integer = value.toInt();
    } else if (form == Form::Double) {
        cell.number = value.toDouble();
    } else {
        cell.time = times.size();
        times.push_back(value.toDateTime());
    }
    cells.push_back(cell);
    valueBytes_ += form == Form::Integer || form == Form::Double ? 8 : 11;
    return true;
}

Value ValueRows::valueOf(std::size_t cell) const {
    const Cell& at = cells[cell];
    switch (at.form) {
        case Form::Null:
            return Value::null();
        case Form::Integer:
            return Value::integer(at.integer);
        case Form::Double:
            return Value::floating(at.number);
        case Form::Date:
            return Value::dateTimeOfKind(ValueKind::Date, times[at.time]);
        case Form::DateTime:
            return Value::dateTime(times[at.time]);
        case Form::Text:
            break;
    }
    const qsizetype start = cell == 0 ? 0 : cells[cell - 1].end;
    return Value::text(QString::fromUtf8(text.constData() + start, at.end - start));
}

}  // namespace keldara::dao

#include "platform/dao/sheet/SheetCells.h"

#include <QByteArray>
#include <QDate>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace keldara::dao::sheet {

namespace {

// 31 December 9999 in either date system is below this serial number.
constexpr double kFirstSerialAfter9999 = 2958466.0;

// Rows then columns; of two records for one cell the later one counts.
std::vector<SheetCell> sortedCells(std::vector<SheetCell> cells) {
    const auto before = [](const SheetCell& a, const SheetCell& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    };
    // Writers store the cells in order, one record each: then there is nothing to do.
    if (std::adjacent_find(cells.begin(), cells.end(), [&](const auto& a, const auto& b) {
            return !before(a, b);
        }) == cells.end()) {
        return cells;
    }
    std::stable_sort(cells.begin(), cells.end(), before);
    std::vector<SheetCell> unique;
    unique.reserve(cells.size());
    for (SheetCell& cell : cells) {
        if (!unique.empty() && unique.back().row == cell.row &&
            unique.back().column == cell.column) {
            unique.back() = std::move(cell);
        } else {
            unique.push_back(std::move(cell));
        }
    }
    return unique;
}

// Reads `digits` decimal digits at `at`, moving past them.
std::optional<int> digitsAt(std::string_view text, std::size_t& at, std::size_t digits) {
    if (at + digits > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t end = at + digits; at < end; ++at) {
        if (text[at] < '0' || text[at] > '9') return std::nullopt;
        value = value * 10 + (text[at] - '0');
    }
    return value;
}

bool skip(std::string_view text, std::size_t& at, char wanted) {
    if (at >= text.size() || text[at] != wanted) return false;
    ++at;
    return true;
}

}  // namespace

QString cellNoteText(CellNote note) {
    switch (note) {
        case CellNote::DateAsText:
            return QStringLiteral(
                "dates and times outside the years 1 to 9999, or not valid, "
                "are read as the text the file holds");
        case CellNote::FormatCutShort:
            return QStringLiteral(
                "numbers whose format is cut short in the file are read in the "
                "General format");
        case CellNote::None:
            break;
    }
    return {};
}

std::optional<SheetBook::NamedSheet> SheetBook::findSheet(const QString& name) const {
    const std::vector<QString> names = sheetNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) == 0) return NamedSheet{i, names[i]};
    }
    return std::nullopt;
}

std::vector<SheetCell> SheetBook::readCells(std::size_t sheet) const {
    std::vector<SheetCell> cells;
    visitCells(sheet, [&cells](SheetCell&& cell) { cells.push_back(std::move(cell)); });
    return sortedCells(std::move(cells));
}

std::optional<Value> serialToDateValue(double serial, bool date1904, bool timeOnlyFormat) {
    if (!(serial >= 0.0) || serial >= kFirstSerialAfter9999) return std::nullopt;
    std::int64_t days = static_cast<std::int64_t>(std::floor(serial));
    std::int64_t milliseconds = std::llround((serial - static_cast<double>(days)) * 86400000.0);
    if (milliseconds >= 86400000) {
        ++days;
        milliseconds -= 86400000;
    }
    static const QDate kDay0Of1904(1904, 1, 1);
    static const QDate kDay0Before60(1899, 12, 31);
    static const QDate kDay0(1899, 12, 30);
    QDate date;
    if (date1904) {
        date = kDay0Of1904.addDays(days);
    } else if (days == 60) {
        return std::nullopt;  // 29 February 1900, a day the calendar never had
    } else {
        // Serial numbers below 60 count from 31 December 1899 as the 1900 system has it.
        date = (days < 60 ? kDay0Before60 : kDay0).addDays(days);
    }
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);  // one calendar conversion rather than three
    if (!date.isValid() || year > 9999) return std::nullopt;
    const int ms = static_cast<int>(milliseconds);
    const int hour = ms / 3600000;
    const int minute = ms / 60000 % 60;
    const int second = ms / 1000 % 60;
    const int microsecond = ms % 1000 * 1000;
    if (timeOnlyFormat && days == 0) return Value::time(hour, minute, second, microsecond);
    if (ms == 0) return Value::date(year, month, day);
    return Value::dateTime(DateTime{year, month, day, hour, minute, second, microsecond});
}

Value numberCellValue(double number, FormatClass format, bool date1904) {
    if (format != FormatClass::Number) {
        if (auto date = serialToDateValue(number, date1904, format == FormatClass::TimeOnly)) {
            return *date;
        }
    }
    return Value::floating(number);
}

std::optional<Value> isoDateValue(std::string_view text) {
    std::size_t at = 0;
    int year = 0, month = 0, day = 0;
    const bool hasDate = text.size() >= 10 && text[4] == '-';
    if (hasDate) {
        const auto y = digitsAt(text, at, 4);
        if (!y || !skip(text, at, '-')) return std::nullopt;
        const auto m = digitsAt(text, at, 2);
        if (!m || !skip(text, at, '-')) return std::nullopt;
        const auto d = digitsAt(text, at, 2);
        if (!d || !QDate(*y, *m, *d).isValid()) return std::nullopt;
        year = *y, month = *m, day = *d;
        if (at == text.size()) return Value::date(year, month, day);
        if (!skip(text, at, 'T')) return std::nullopt;
    }
    const auto hour = digitsAt(text, at, 2);
    if (!hour || !skip(text, at, ':')) return std::nullopt;
    const auto minute = digitsAt(text, at, 2);
    if (!minute) return std::nullopt;
    int second = 0, microsecond = 0;
    if (skip(text, at, ':')) {
        const auto whole = digitsAt(text, at, 2);
        if (!whole) return std::nullopt;
        second = *whole;
        if (skip(text, at, '.') || skip(text, at, ',')) {
            int scale = 100000;
            for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, scale /= 10) {
                microsecond += (text[at] - '0') * scale;
            }
        }
    }
    if (*hour > 23 || *minute > 59 || second > 59) return std::nullopt;
    if (!hasDate) return Value::time(*hour, *minute, second, microsecond);
    if (*hour == 0 && *minute == 0 && second == 0 && microsecond == 0) {
        return Value::date(year, month, day);
    }
    return Value::dateTime(DateTime{year, month, day, *hour, *minute, second, microsecond});
}

std::optional<double> parseNumber(std::string_view text) {
    double number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (end != text.data() + text.size() || error == std::errc::invalid_argument) {
        return std::nullopt;
    }
    if (error == std::errc()) return number;
    // Out of range for from_chars, which may still round to the largest or smallest double
    // ("1.797693134862316E+308" as Excel writes it); overflow to infinity is no number.
    bool ok = false;
    const double rounded =
        QByteArray(text.data(), static_cast<qsizetype>(text.size())).toDouble(&ok);
    if (!ok || std::isinf(rounded)) return std::nullopt;
    return rounded;
}

}  // namespace keldara::dao::sheet

#include "platform/dao/text/ValueScanning.h"

#include <charconv>
#include <limits>
#include <string>

namespace keldara::dao::text {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The digits of a decimal number without leading or trailing zeros, and the place of the
// decimal point counted from the first of them: 0.05 is ("5", -1), 120 is ("12", 3).
struct NormalDecimal {
    bool negative = false;
    std::string digits;
    int point = 0;

    bool operator==(const NormalDecimal& other) const {
        return negative == other.negative && digits == other.digits &&
               (digits.empty() || point == other.point);
    }
};

void normalize(NormalDecimal& n) {
    std::size_t lead = 0;
    while (lead < n.digits.size() && n.digits[lead] == '0') ++lead;
    n.digits.erase(0, lead);
    n.point -= static_cast<int>(lead);
    while (!n.digits.empty() && n.digits.back() == '0') n.digits.pop_back();
}

// "-d.ddde+XX" as std::to_chars writes it in scientific form.
NormalDecimal fromScientific(std::string_view s) {
    NormalDecimal n;
    std::size_t i = 0;
    if (i < s.size() && s[i] == '-') {
        n.negative = true;
        ++i;
    }
    int exponent = 0;
    for (; i < s.size(); ++i) {
        if (isDigit(s[i])) {
            n.digits += s[i];
        } else if (s[i] == 'e') {
            std::from_chars(s.data() + i + 1 + (s[i + 1] == '+' ? 1 : 0), s.data() + s.size(),
                            exponent);
            break;
        }
    }
    n.point = 1 + exponent;
    normalize(n);
    return n;
}

// Checks the plain form -?(0|[1-9][0-9]*)?(\.[0-9]+)? (not empty, not "-", not "-.")
// and returns its digits.
std::optional<NormalDecimal> plainDecimal(std::string_view s) {
    NormalDecimal n;
    std::size_t i = 0;
    if (i < s.size() && s[i] == '-') {
        n.negative = true;
        ++i;
    }
    const std::size_t intStart = i;
    while (i < s.size() && isDigit(s[i])) ++i;
    const std::size_t intDigits = i - intStart;
    if (intDigits > 1 && s[intStart] == '0') return std::nullopt;
    if (intDigits == 0 && (i >= s.size() || s[i] != '.')) return std::nullopt;
    n.digits.assign(s.substr(intStart, intDigits));
    n.point = static_cast<int>(intDigits);
    if (i < s.size()) {
        if (s[i] != '.') return std::nullopt;
        ++i;
        const std::size_t fracStart = i;
        while (i < s.size() && isDigit(s[i])) ++i;
        if (i == fracStart || i != s.size()) return std::nullopt;
        n.digits.append(s.substr(fracStart, i - fracStart));
    }
    normalize(n);
    return n;
}

// A number in the plain form plainDecimal checks: its sign, how many digits it has, how many
// of them follow the point, and, for up to 19 digits, their value as an integer.
struct PlainNumber {
    bool negative = false;
    std::size_t digits = 0;
    std::size_t fractionDigits = 0;
    std::uint64_t value = 0;  // wraps past 19 digits
};

std::optional<PlainNumber> scanPlainNumber(std::string_view s) {
    PlainNumber n;
    n.negative = !s.empty() && s[0] == '-';
    std::size_t i = n.negative ? 1 : 0;
    const std::size_t intStart = i;
    for (; i < s.size() && isDigit(s[i]); ++i) n.value = n.value * 10 + (s[i] - '0');
    const std::size_t intDigits = i - intStart;
    if (intDigits > 1 && s[intStart] == '0') return std::nullopt;
    if (i < s.size()) {
        if (s[i] != '.') return std::nullopt;
        const std::size_t fractionStart = ++i;
        for (; i < s.size() && isDigit(s[i]); ++i) n.value = n.value * 10 + (s[i] - '0');
        n.fractionDigits = i - fractionStart;
        if (n.fractionDigits == 0 || i != s.size()) return std::nullopt;
    }
    n.digits = intDigits + n.fractionDigits;
    if (n.digits == 0) return std::nullopt;
    return n;
}

// The value of a plain number of at most 15 digits. Its digits make an integer below 2^53 and
// the power of ten they are divided by is at most 10^15, both exact as doubles, so the one
// division rounds correctly, as std::from_chars does.
double shortValue(const PlainNumber& n) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double value = static_cast<double>(n.value) / kPowersOfTen[n.fractionDigits];
    return n.negative ? -value : value;
}

// A plain number of more than 15 digits, when a double holds it exactly: read, printed back
// and compared digit for digit with what was written.
std::optional<double> longExactDouble(std::string_view s) {
    const auto written = plainDecimal(s);
    if (!written) return std::nullopt;
    double value = 0;
    const auto [end, error] =
        std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::fixed);
    if (error != std::errc() || end != s.data() + s.size()) return std::nullopt;
    char buffer[64];
    const auto printed =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    if (printed.ec != std::errc()) return std::nullopt;
    if (!(fromScientific(std::string_view(buffer, printed.ptr - buffer)) == *written)) {
        return std::nullopt;
    }
    return value;
}

bool readDigits(std::string_view s, std::size_t at, std::size_t count, int& value) {
    if (at + count > s.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!isDigit(s[i])) return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

bool isLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

bool readTime(std::string_view s, DateTime& dt) {
    // s is "HH:MM", "HH:MM:SS" or "HH:MM:SS.f" (1 to 6 fraction digits).
    if (s.size() < 5 || s[2] != ':' || !readDigits(s, 0, 2, dt.hour) ||
        !readDigits(s, 3, 2, dt.minute)) {
        return false;
    }
    if (s.size() > 5) {
        if (s.size() < 8 || s[5] != ':' || !readDigits(s, 6, 2, dt.second)) return false;
        if (s.size() > 8) {
            const std::size_t fraction = s.size() - 9;
            if (s[8] != '.' || fraction < 1 || fraction > 6 ||
                !readDigits(s, 9, fraction, dt.microsecond)) {
                return false;
            }
            for (std::size_t k = fraction; k < 6; ++k) dt.microsecond *= 10;
        }
    }
    return dt.hour <= 23 && dt.minute <= 59 && dt.second <= 59;
}

}  // namespace

std::optional<std::int64_t> parseInteger(std::string_view s) {
    std::size_t i = 0;
    const bool negative = !s.empty() && s[0] == '-';
    if (negative) i = 1;
    if (i >= s.size() || s.size() - i > 19) return std::nullopt;
    if (s[i] == '0') {
        if (s.size() != i + 1 || negative) return std::nullopt;
        return 0;
    }
    std::uint64_t magnitude = 0;
    for (; i < s.size(); ++i) {
        if (!isDigit(s[i])) return std::nullopt;
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(s[i] - '0');
    }
    constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
    if (negative) {
        if (magnitude > kMax + 1) return std::nullopt;
        return static_cast<std::int64_t>(0 - magnitude);
    }
    if (magnitude > kMax) return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
}

// A double tells apart every number of up to 15 digits, so such a number always reads back
// as written: only longer ones are printed back to check them.
std::optional<double> parseExactDouble(std::string_view s) {
    const std::optional<PlainNumber> n = scanPlainNumber(s);
    if (!n) return std::nullopt;
    if (n->digits <= 15) return shortValue(*n);
    return longExactDouble(s);
}

bool isExactDouble(std::string_view s) {
    const std::optional<PlainNumber> n = scanPlainNumber(s);
    return n && (n->digits <= 15 || longExactDouble(s).has_value());
}

std::optional<ParsedDate> parseIsoDate(std::string_view s) {
    ParsedDate result;
    DateTime& dt = result.parts;
    if (s.size() < 10 || s[4] != '-' || s[7] != '-' || !readDigits(s, 0, 4, dt.year) ||
        !readDigits(s, 5, 2, dt.month) || !readDigits(s, 8, 2, dt.day)) {
        return std::nullopt;
    }
    if (dt.year < 1 || dt.month < 1 || dt.month > 12 || dt.day < 1 ||
        dt.day > daysInMonth(dt.year, dt.month)) {
        return std::nullopt;
    }
    dt.hour = dt.minute = dt.second = dt.microsecond = 0;
    if (s.size() == 10) return result;
    if (s[10] != ' ' && s[10] != 'T') return std::nullopt;
    if (!readTime(s.substr(11), dt)) return std::nullopt;
    result.hasTime = true;
    return result;
}

std::size_t utf8Length(std::string_view text) {
    std::size_t length = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++length;
    }
    return length;
}

}  // namespace keldara::dao::text

#pragma once

#include <QString>
#include <optional>
#include <string_view>

#include "platform/dao/Value.h"

// Decoding of the fixed-size values Jet stores in a row, all little-endian.
namespace keldara::dao::access {

// Room for the text of any number below.
inline constexpr int kLongestNumberText = 258;

// A number's text in Latin-1, as the functions below write it, without a QString.
struct NumberText {
    char text[kLongestNumberText];
    int size = 0;
    std::string_view view() const { return {text, static_cast<std::size_t>(size)}; }
};

// Currency: a 64-bit integer of ten-thousandths.
QString currencyText(qint64 tenThousandths);
NumberText currencyDigits(qint64 tenThousandths);
// The same as the nearest double to that text.
double currencyNumber(qint64 tenThousandths);

// Decimal: a sign byte and a 128-bit magnitude in four 32-bit words, most significant word
// first, scaled by 10^-scale. `bytes` points at the 17 stored bytes.
QString decimalText(const unsigned char* bytes, int scale);
NumberText decimalDigits(const unsigned char* bytes, int scale);

// Decimal as the result of a calculated column holds it (a Windows DECIMAL): two unused
// bytes, the scale, the sign (0x80 when negative), then the high, low and middle 32-bit words
// of the 96-bit magnitude. `bytes` points at the 16 stored bytes; nothing when the scale is
// beyond 28.
std::optional<QString> storedDecimalText(const unsigned char* bytes);
std::optional<NumberText> storedDecimalDigits(const unsigned char* bytes);
// The same as the nearest double to that text.
std::optional<double> storedDecimalNumber(const unsigned char* bytes);

// Date/Time: days since 1899-12-30 with the time of day as the fraction (its absolute value
// for days before that date). Nothing when the number is no date Jet can hold (years 100 to
// 9999). The kind is Date when the time is midnight, Time when the date is 1899-12-30 and
// the time is not midnight, DateTime otherwise.
std::optional<Value> dateValue(double days);

// Extended Date/Time (Access 2019 and later): 42 ASCII bytes, "<days>:<ticks>:<digits>" with
// 19-digit days since 0001-01-01, 19-digit 100-nanosecond ticks since midnight, and the number
// of fraction digits. Kept to the microsecond, as a Date when the time is midnight. Nothing
// when the text is not of that form or out of the years 1 to 9999.
std::optional<Value> extendedDateValue(const unsigned char* bytes, int size);

// Single: the float as the nearest double to its shortest decimal text, e.g. 0.15f -> 0.15.
double singleAsDouble(float value);

// Replication ID: the GUID text "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
QString guidText(const unsigned char* bytes);

}  // namespace keldara::dao::access

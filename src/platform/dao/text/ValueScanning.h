#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/dao/Value.h"

namespace keldara::dao::text {

// An integer written plainly: an optional "-" and digits without leading zeros, within
// 64 bits. "-0", "+1", "007" and " 1" are not integers: reading them as such would change
// their text.
std::optional<std::int64_t> parseInteger(std::string_view text);

// A number written plainly (an optional "-", digits without leading zeros, an optional "."
// and at least one digit; ".5" and "-.5" too), when a double holds exactly the number
// written: "0.25" and "1.50" do, "0.1000000000000000001" does not. Exponents ("1e5"),
// grouping ("2,666"), a sign "+" and blanks are not part of a number.
std::optional<double> parseExactDouble(std::string_view text);
// Whether parseExactDouble reads `text`, without reading it where its form says so.
bool isExactDouble(std::string_view text);

// A date "YYYY-MM-DD", or a date and time "YYYY-MM-DD HH:MM", "YYYY-MM-DD HH:MM:SS" with
// an optional fraction of up to six digits, "T" allowed in place of the blank. The date
// must exist (year 1 to 9999) and the time lie within one day.
struct ParsedDate {
    DateTime parts;
    bool hasTime = false;
};
std::optional<ParsedDate> parseIsoDate(std::string_view text);

// The number of characters (code points) of UTF-8 text.
std::size_t utf8Length(std::string_view text);

}  // namespace keldara::dao::text

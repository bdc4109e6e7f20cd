#pragma once

#include <QStringView>

namespace keldara::dao::sheet {

// What a cell's number format makes of a number.
enum class FormatClass {
    Number,
    Date,      // a calendar date, perhaps with a time of day
    TimeOnly,  // a time of day or a duration, no date part
};

// Classifies a format string by the date and time tokens it holds outside quoted text,
// escaped characters and [...] sections (except elapsed-time sections like [h]).
FormatClass classifyFormatString(QStringView format);

// The class of a built-in format number that has no FORMAT record of its own.
FormatClass builtInFormatClass(int index);

}  // namespace keldara::dao::sheet

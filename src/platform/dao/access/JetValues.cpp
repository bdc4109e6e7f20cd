#include "platform/dao/access/JetValues.h"

#include <QtEndian>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>

namespace keldara::dao::access {

namespace {

constexpr qint64 kMillisecondsPerDay = 86'400'000;
constexpr double kFirstDay = -657434.0;  // 0100-01-01
constexpr double kLastDay = 2958465.0;   // 9999-12-31

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(qint64 z, int& year, int& month, int& day) {
    z += 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

constexpr qint64 kDaysFrom1970To18991230 = -25569;

__extension__ using UInt128 = unsigned __int128;

constexpr int kLongestScale = 255;
static_assert(kLongestNumberText >= kLongestScale + 3,
              "a number text holds a 128-bit magnitude with a scale of up to 255 digits");

// A decimal number as text: the magnitude's digits with the point `scale` digits (at most
// 255) from the right, without trailing zeros after it (nor a point without digits after it),
// and "-" before it when negative and not zero. Written into `text`, which must hold
// kLongestNumberText characters; gives the length.
int numberText(UInt128 magnitude, int scale, bool negative, char* text) {
    if (magnitude == 0) {
        text[0] = '0';
        return 1;
    }
    scale = std::clamp(scale, 0, kLongestScale);
    char digits[48];  // a 128-bit magnitude has at most 39
    char* const end = std::end(digits);
    char* first = end;
    constexpr quint64 kTenToNineteen = 10'000'000'000'000'000'000ull;
    while (magnitude > std::numeric_limits<quint64>::max()) {  // 128-bit division is slow
        quint64 low = static_cast<quint64>(magnitude % kTenToNineteen);
        magnitude /= kTenToNineteen;
        for (int i = 0; i < 19; ++i, low /= 10) *--first = static_cast<char>('0' + low % 10);
    }
    char lowDigits[20];
    const auto written =
        std::to_chars(std::begin(lowDigits), std::end(lowDigits), static_cast<quint64>(magnitude));
    first = std::copy_backward(std::begin(lowDigits), written.ptr, first);
    // The fraction's digits but its trailing zeros; the first digit is not zero, so they end
    // at one that is not.
    const int count = static_cast<int>(end - first);
    char* last = end;
    int fraction = scale;
    while (fraction > 0 && last[-1] == '0') {
        --last;
        --fraction;
    }
    char* out = text;
    if (negative) *out++ = '-';
    if (count > scale) {
        out = std::copy(first, end - scale, out);
    } else {
        *out++ = '0';
    }
    if (fraction > 0) {
        *out++ = '.';
        if (count < scale) out = std::fill_n(out, scale - count, '0');
        out = std::copy(count > scale ? end - scale : first, last, out);
    }
    return static_cast<int>(out - text);
}

NumberText numberDigits(UInt128 magnitude, int scale, bool negative) {
    NumberText number;
    number.size = numberText(magnitude, scale, negative, number.text);
    return number;
}

// The nearest double to the number's text. Where the magnitude and the power of ten are
// both exact doubles, their quotient is that nearest double: a division rounds once.
double textNumber(UInt128 magnitude, int scale, bool negative) {
    static constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr UInt128 kLargestExact = UInt128{1} << 53;
    if (magnitude == 0) return 0.0;
    if (magnitude <= kLargestExact && scale >= 0 && scale < std::ssize(kExactPowersOfTen)) {
        const double quotient = static_cast<double>(magnitude) / kExactPowersOfTen[scale];
        return negative ? -quotient : quotient;
    }
    const NumberText text = numberDigits(magnitude, scale, negative);
    double number = 0;
    std::from_chars(text.text, text.text + text.size, number);
    return number;
}

// The 96-bit magnitude, scale and sign of a calculated column's Decimal; nothing when the
// scale is beyond 28.
struct StoredDecimal {
    UInt128 magnitude;
    int scale;
    bool negative;
};

std::optional<StoredDecimal> storedDecimal(const unsigned char* bytes) {
    const int scale = bytes[2];
    if (scale > 28) return std::nullopt;
    const UInt128 magnitude = (UInt128(qFromLittleEndian<quint32>(bytes + 4)) << 64) |
                              (UInt128(qFromLittleEndian<quint32>(bytes + 12)) << 32) |
                              qFromLittleEndian<quint32>(bytes + 8);
    return StoredDecimal{magnitude, scale, (bytes[3] & 0x80) != 0};
}

}  // namespace

NumberText currencyDigits(qint64 tenThousandths) {
    const bool negative = tenThousandths < 0;
    const quint64 magnitude =
        negative ? 0 - static_cast<quint64>(tenThousandths) : static_cast<quint64>(tenThousandths);
    return numberDigits(magnitude, 4, negative);
}

QString currencyText(qint64 tenThousandths) {
    return QString::fromLatin1(currencyDigits(tenThousandths).view());
}

NumberText decimalDigits(const unsigned char* bytes, int scale) {
    UInt128 magnitude = 0;
    for (int word = 0; word < 4; ++word) {
        magnitude = (magnitude << 32) | qFromLittleEndian<quint32>(bytes + 1 + word * 4);
    }
    return numberDigits(magnitude, scale, bytes[0] != 0);
}

QString decimalText(const unsigned char* bytes, int scale) {
    return QString::fromLatin1(decimalDigits(bytes, scale).view());
}

double currencyNumber(qint64 tenThousandths) {
    const bool negative = tenThousandths < 0;
    const quint64 magnitude =
        negative ? 0 - static_cast<quint64>(tenThousandths) : static_cast<quint64>(tenThousandths);
    return textNumber(magnitude, 4, negative);
}

std::optional<NumberText> storedDecimalDigits(const unsigned char* bytes) {
    const auto decimal = storedDecimal(bytes);
    if (!decimal) return std::nullopt;
    return numberDigits(decimal->magnitude, decimal->scale, decimal->negative);
}

std::optional<QString> storedDecimalText(const unsigned char* bytes) {
    const auto digits = storedDecimalDigits(bytes);
    if (!digits) return std::nullopt;
    return QString::fromLatin1(digits->view());
}

std::optional<double> storedDecimalNumber(const unsigned char* bytes) {
    const auto decimal = storedDecimal(bytes);
    if (!decimal) return std::nullopt;
    return textNumber(decimal->magnitude, decimal->scale, decimal->negative);
}

std::optional<Value> extendedDateValue(const unsigned char* bytes, int size) {
    constexpr int kDigits = 19;
    constexpr qint64 kTicksPerDay = 864'000'000'000;
    constexpr qint64 kLastDay = 3'652'058;  // 9999-12-31
    constexpr qint64 kDaysFrom00010101To19700101 = 719'162;
    if (size < 2 * kDigits + 2) return std::nullopt;
    const auto number = [&](int from) -> std::optional<qint64> {
        qint64 value = 0;
        for (int i = from; i < from + kDigits; ++i) {
            if (bytes[i] < '0' || bytes[i] > '9') return std::nullopt;
            value = value * 10 + (bytes[i] - '0');
        }
        return value;
    };
    const auto days = number(0);
    const auto ticks = number(kDigits + 1);
    if (!days || !ticks || bytes[kDigits] != ':' || bytes[2 * kDigits + 1] != ':' ||
        *days > kLastDay || *ticks >= kTicksPerDay) {
        return std::nullopt;
    }
    DateTime dt;
    civilFromDays(*days - kDaysFrom00010101To19700101, dt.year, dt.month, dt.day);
    const qint64 microseconds = *ticks / 10;
    dt.hour = static_cast<int>(microseconds / 3'600'000'000);
    dt.minute = static_cast<int>(microseconds / 60'000'000 % 60);
    dt.second = static_cast<int>(microseconds / 1'000'000 % 60);
    dt.microsecond = static_cast<int>(microseconds % 1'000'000);
    return Value::dateTimeOfKind(*ticks == 0 ? ValueKind::Date : ValueKind::DateTime, dt);
}

std::optional<Value> dateValue(double days) {
    if (!std::isfinite(days) || days < kFirstDay || days >= kLastDay + 1.0) return std::nullopt;
    double whole = std::trunc(days);
    auto milliseconds = std::llround(std::fabs(days - whole) * kMillisecondsPerDay);
    if (milliseconds >= kMillisecondsPerDay) {
        milliseconds -= kMillisecondsPerDay;
        whole += days < 0 ? -1.0 : 1.0;
    }
    DateTime dt;
    civilFromDays(static_cast<qint64>(whole) + kDaysFrom1970To18991230, dt.year, dt.month, dt.day);
    dt.hour = static_cast<int>(milliseconds / 3'600'000);
    dt.minute = static_cast<int>(milliseconds / 60'000 % 60);
    dt.second = static_cast<int>(milliseconds / 1000 % 60);
    dt.microsecond = static_cast<int>(milliseconds % 1000) * 1000;
    if (dt.year < 100 || dt.year > 9999) return std::nullopt;
    ValueKind kind = ValueKind::DateTime;
    if (milliseconds == 0) {
        kind = ValueKind::Date;
    } else if (whole == 0.0) {
        kind = ValueKind::Time;
    }
    return Value::dateTimeOfKind(kind, dt);
}

double singleAsDouble(float value) {
    if (!std::isfinite(value)) return static_cast<double>(value);
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text - 1, value);
    double nearest = 0.0;
    std::from_chars(text, result.ptr, nearest);
    return nearest;
}

QString guidText(const unsigned char* bytes) {
    return QStringLiteral("{%1-%2-%3-%4-%5}")
        .arg(qFromLittleEndian<quint32>(bytes), 8, 16, QLatin1Char('0'))
        .arg(qFromLittleEndian<quint16>(bytes + 4), 4, 16, QLatin1Char('0'))
        .arg(qFromLittleEndian<quint16>(bytes + 6), 4, 16, QLatin1Char('0'))
        .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes + 8), 2).toHex()))
        .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes + 10), 6).toHex()))
        .toUpper();
}

}  // namespace keldara::dao::access

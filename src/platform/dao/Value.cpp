#include "platform/dao/Value.h"

#include <QDate>
#include <QLocale>
#include <QTime>
#include <charconv>
#include <cmath>
#include <iterator>
#include <system_error>

namespace keldara::dao {

namespace {

QString twoDigits(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

// The shortest text that reads back as the same double, in plain digits for the magnitudes
// people write that way and in exponent form only for the very large and very small.
QString shortestDouble(const QLocale& locale, double d) {
    const double magnitude = std::fabs(d);
    const bool plain = magnitude == 0 || (magnitude >= 1e-7 && magnitude < 1e16);
    return locale.toString(d, plain ? 'f' : 'g', QLocale::FloatingPointShortest);
}

QString localeDecimal(const QString& canonical) {
    const QLocale locale;
    QString text = canonical;
    text.replace(QLatin1Char('.'), locale.decimalPoint());
    text.replace(QLatin1Char('-'), locale.negativeSign());
    return text;
}

// The locale's short date format with its year widened to four digits: many locales write
// two, which shows 1898 and 1998 alike.
QString fourDigitYearFormat(const QLocale& locale) {
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QString widened;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (quoted || c != QLatin1Char('y')) {
            widened += c;
        } else if (i == 0 || format[i - 1] != QLatin1Char('y')) {
            widened += QLatin1String("yyyy");
        }
    }
    return widened;
}

QString localeDate(const DateTime& dt) {
    const QDate date(dt.year, dt.month, dt.day);
    if (!date.isValid()) return isoDateText(dt);
    const QLocale locale;
    return locale.toString(date, fourDigitYearFormat(locale));
}

bool isZeroDate(const DateTime& dt) {
    return dt.year == 1899 && dt.month == 12 && dt.day == 30;
}

QString localeTime(const DateTime& dt) {
    const QTime time(dt.hour, dt.minute, dt.second);
    if (!time.isValid()) return isoTimeText(dt);
    // The locale's long time format names the time zone ("t"), which a time of day has not.
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return QLocale().toString(time, format.trimmed());
}

}  // namespace

namespace {

// Writes `value` as `width` digits, zero-padded, and moves `out` past them. A transfer
// formats every date it sends, so these texts are written into a buffer rather than through
// QString::arg.
void putDigits(char*& out, int value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
    out += width;
}

bool fits(int value, int width) {
    return value >= 0 && value < (width == 2 ? 100 : width == 4 ? 10000 : 1000000);
}

// Writes the date of `dt` as YYYY-MM-DD at `out` and returns where it ends; nullptr when a
// part does not fit its digits.
char* putIsoDate(char* out, const DateTime& dt) {
    if (!fits(dt.year, 4) || !fits(dt.month, 2) || !fits(dt.day, 2)) return nullptr;
    putDigits(out, dt.year, 4);
    *out++ = '-';
    putDigits(out, dt.month, 2);
    *out++ = '-';
    putDigits(out, dt.day, 2);
    return out;
}

// Writes the time of `dt` as HH:MM:SS, with its fraction of a second when it has one, at
// `out` and returns where it ends; nullptr when a part does not fit its digits.
char* putIsoTime(char* out, const DateTime& dt) {
    if (!fits(dt.hour, 2) || !fits(dt.minute, 2) || !fits(dt.second, 2) ||
        !fits(dt.microsecond, 6)) {
        return nullptr;
    }
    putDigits(out, dt.hour, 2);
    *out++ = ':';
    putDigits(out, dt.minute, 2);
    *out++ = ':';
    putDigits(out, dt.second, 2);
    if (dt.microsecond != 0) {
        *out++ = '.';
        putDigits(out, dt.microsecond, 6);
        while (out[-1] == '0') --out;  // the fraction without its trailing zeros
    }
    return out;
}

// The shortest digits that read back as `d`, without an exponent, as shortestDouble writes
// them for magnitudes from 1e-7 up to 1e16; nullptr for others, zero among them (whose sign
// the locale writes its own way).
char* putPlainDouble(char* out, char* last, double d) {
    const double magnitude = std::fabs(d);
    if (!(magnitude >= 1e-7 && magnitude < 1e16)) return nullptr;
    const auto written = std::to_chars(out, last, d, std::chars_format::fixed);
    return written.ec == std::errc() ? written.ptr : nullptr;
}

// Appends `text` in UTF-8: ASCII as it is, the rest from the first other character by Qt.
void appendUtf8(QByteArray& out, const QString& text) {
    const qsizetype start = out.size();
    out.resize(start + text.size());
    char* bytes = out.data() + start;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit >= 0x80) {
            out.truncate(start + i);
            out += QStringView(text).sliced(i).toUtf8();
            return;
        }
        bytes[i] = static_cast<char>(unit);
    }
}

}  // namespace

QString isoDateText(const DateTime& dt) {
    char text[10];
    if (const char* end = putIsoDate(text, dt)) return QString::fromLatin1(text, end - text);
    return QStringLiteral("%1-%2-%3")
        .arg(dt.year, 4, 10, QLatin1Char('0'))
        .arg(twoDigits(dt.month), twoDigits(dt.day));
}

QString isoTimeText(const DateTime& dt) {
    char text[15];
    if (const char* end = putIsoTime(text, dt)) return QString::fromLatin1(text, end - text);
    QString text16 = twoDigits(dt.hour) + QLatin1Char(':') + twoDigits(dt.minute) +
                     QLatin1Char(':') + twoDigits(dt.second);
    if (dt.microsecond != 0) {
        QString fraction = QStringLiteral("%1").arg(dt.microsecond, 6, 10, QLatin1Char('0'));
        while (fraction.endsWith(QLatin1Char('0'))) fraction.chop(1);
        text16 += QLatin1Char('.') + fraction;
    }
    return text16;
}

void Value::appendStandardUtf8(QByteArray& out) const {
    char buffer[48];
    char* end = nullptr;
    switch (kind_) {
        case ValueKind::Null:
            return;
        case ValueKind::Boolean:
            out += toBool() ? '1' : '0';
            return;
        case ValueKind::Integer:
            end = std::to_chars(buffer, std::end(buffer), toInt()).ptr;
            break;
        case ValueKind::Double:
            end = putPlainDouble(buffer, std::end(buffer), toDouble());
            break;
        case ValueKind::Date:
            end = putIsoDate(buffer, toDateTime());
            break;
        case ValueKind::Time:
            end = putIsoTime(buffer, toDateTime());
            break;
        case ValueKind::DateTime:
            end = putIsoDate(buffer, toDateTime());
            if (end) {
                *end++ = ' ';
                end = putIsoTime(end, toDateTime());
            }
            break;
        case ValueKind::Text:
            appendUtf8(out, toText());
            return;
        case ValueKind::Decimal:
        case ValueKind::Bytes:
            break;
    }
    if (end) {
        out.append(buffer, end - buffer);
    } else {
        out += standardText().toUtf8();
    }
}

QString Value::standardText() const {
    switch (kind_) {
        case ValueKind::Null:
            return {};
        case ValueKind::Boolean:
            return toBool() ? QStringLiteral("1") : QStringLiteral("0");
        case ValueKind::Integer:
            return QString::number(toInt());
        case ValueKind::Double:
            return shortestDouble(QLocale::c(), toDouble());
        case ValueKind::Decimal:
            return decimalText();
        case ValueKind::Date:
            return isoDateText(toDateTime());
        case ValueKind::Time:
            return isoTimeText(toDateTime());
        case ValueKind::DateTime:
            return isoDateText(toDateTime()) + QLatin1Char(' ') + isoTimeText(toDateTime());
        case ValueKind::Text:
            return toText();
        case ValueKind::Bytes:
            return QString::fromLatin1(toBytes().toHex().toUpper());
    }
    return {};
}

QString Value::displayText() const {
    const QLocale locale;
    switch (kind_) {
        case ValueKind::Null:
            return {};
        case ValueKind::Boolean:
            return toBool() ? QStringLiteral("True") : QStringLiteral("False");
        case ValueKind::Integer: {
            QLocale plain = locale;
            plain.setNumberOptions(QLocale::OmitGroupSeparator);
            return plain.toString(static_cast<qlonglong>(toInt()));
        }
        case ValueKind::Double: {
            QLocale plain = locale;
            plain.setNumberOptions(QLocale::OmitGroupSeparator);
            return shortestDouble(plain, toDouble());
        }
        case ValueKind::Decimal:
            return localeDecimal(decimalText());
        case ValueKind::Date:
            return localeDate(toDateTime());
        case ValueKind::Time:
            return localeTime(toDateTime());
        case ValueKind::DateTime:
            // A date-time on the zero date is a time of day (FoxPro and Access keep times so).
            if (isZeroDate(toDateTime())) return localeTime(toDateTime());
            return localeDate(toDateTime()) + QLatin1Char(' ') + localeTime(toDateTime());
        case ValueKind::Text:
            return toText();
        case ValueKind::Bytes:
            return standardText();
    }
    return {};
}

QString Value::sqlLiteral() const {
    if (kind_ == ValueKind::Null) return QStringLiteral("NULL");
    if (kind_ == ValueKind::Bytes) {
        return QStringLiteral("X'") + standardText() + QLatin1Char('\'');
    }
    return QLatin1Char('\'') + escapeSqlText(standardText()) + QLatin1Char('\'');
}

QString escapeSqlText(const QString& text) {
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
            case 0:
                out += QLatin1String("\\0");
                break;
            case '\n':
                out += QLatin1String("\\n");
                break;
            case '\r':
                out += QLatin1String("\\r");
                break;
            case '\\':
                out += QLatin1String("\\\\");
                break;
            case '\'':
                out += QLatin1String("\\'");
                break;
            case '"':
                out += QLatin1String("\\\"");
                break;
            case 0x1a:
                out += QLatin1String("\\Z");
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace keldara::dao

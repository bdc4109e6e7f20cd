#include "platform/dao/mysql/MySqlColumns.h"

#include <QDate>
#include <charconv>
#include <limits>

#include "platform/dao/TypeCodes.h"

namespace keldara::dao::mysql {

namespace {

// The collation number of the "binary" character set: BINARY, VARBINARY and BLOB columns.
constexpr unsigned int kBinaryCharsetNumber = 63;

enum class Sizing {
    Characters,     // the declared length in characters
    Bytes,          // the declared length in bytes
    StorageOfBits,  // BIT(M): the bytes that hold M bits
    Display,        // the display length the server reports
};

struct TypeRow {
    int adoType;
    ValueForm form;
    Sizing sizing;
};

// The one table of server column types: the ADO code that a MySQL ODBC driver reports for
// each (through its ODBC SQL type), how its values are read and how its size is counted.
TypeRow typeRow(const MYSQL_FIELD& field) {
    const bool isUnsigned = (field.flags & UNSIGNED_FLAG) != 0;
    const bool isBinary = field.charsetnr == kBinaryCharsetNumber;
    using F = ValueForm;
    using S = Sizing;
    namespace t = adType;
    switch (field.type) {
        case MYSQL_TYPE_TINY:
            return {isUnsigned ? t::UnsignedTinyInt : t::TinyInt, F::Integer, S::Display};
        case MYSQL_TYPE_SHORT:
            return {isUnsigned ? t::UnsignedSmallInt : t::SmallInt, F::Integer, S::Display};
        case MYSQL_TYPE_INT24:
        case MYSQL_TYPE_LONG:
            return {isUnsigned ? t::UnsignedInt : t::Integer, F::Integer, S::Display};
        case MYSQL_TYPE_LONGLONG:
            return isUnsigned ? TypeRow{t::UnsignedBigInt, F::UnsignedInteger, S::Display}
                              : TypeRow{t::BigInt, F::Integer, S::Display};
        case MYSQL_TYPE_YEAR:
            return {t::SmallInt, F::Integer, S::Display};
        case MYSQL_TYPE_FLOAT:
            return {t::Single, F::Floating, S::Display};
        case MYSQL_TYPE_DOUBLE:
            return {t::Double, F::Floating, S::Display};
        case MYSQL_TYPE_DECIMAL:
        case MYSQL_TYPE_NEWDECIMAL:
            return {t::Numeric, F::Decimal, S::Display};
        case MYSQL_TYPE_DATE:
        case MYSQL_TYPE_NEWDATE:
            return {t::DBDate, F::Date, S::Display};
        case MYSQL_TYPE_TIME:
        case MYSQL_TYPE_TIME2:
            return {t::DBTime, F::Time, S::Display};
        case MYSQL_TYPE_DATETIME:
        case MYSQL_TYPE_DATETIME2:
        case MYSQL_TYPE_TIMESTAMP:
        case MYSQL_TYPE_TIMESTAMP2:
            return {t::DBTimeStamp, F::DateTime, S::Display};
        case MYSQL_TYPE_BIT:
            return {field.length == 1 ? t::Boolean : t::Binary, F::Bits, S::StorageOfBits};
        case MYSQL_TYPE_ENUM:
        case MYSQL_TYPE_SET:
            return {t::Char, F::Text, S::Characters};
        case MYSQL_TYPE_STRING:  // CHAR, BINARY, and ENUM and SET as the server sends them
            return isBinary ? TypeRow{t::Binary, F::Bytes, S::Bytes}
                            : TypeRow{t::Char, F::Text, S::Characters};
        case MYSQL_TYPE_VARCHAR:
        case MYSQL_TYPE_VAR_STRING:
            return isBinary ? TypeRow{t::VarBinary, F::Bytes, S::Bytes}
                            : TypeRow{t::VarChar, F::Text, S::Characters};
        case MYSQL_TYPE_TINY_BLOB:
        case MYSQL_TYPE_BLOB:
        case MYSQL_TYPE_MEDIUM_BLOB:
        case MYSQL_TYPE_LONG_BLOB:  // the TEXT types too, told apart by their character set
            return isBinary ? TypeRow{t::LongVarBinary, F::Bytes, S::Bytes}
                            : TypeRow{t::LongVarChar, F::Text, S::Characters};
        case MYSQL_TYPE_JSON:
            return {t::LongVarChar, F::Text, S::Characters};
        case MYSQL_TYPE_GEOMETRY:
            return {t::LongVarBinary, F::Bytes, S::Bytes};
        case MYSQL_TYPE_NULL:
            return {t::VarChar, F::Text, S::Characters};
        default:
            return isBinary ? TypeRow{t::LongVarBinary, F::Bytes, S::Bytes}
                            : TypeRow{t::LongVarChar, F::Text, S::Characters};
    }
}

// The most bytes one character of the field's character set takes.
unsigned int bytesPerCharacter(const MYSQL_FIELD& field) {
    if (field.charsetnr == kBinaryCharsetNumber) return 1;
    const MARIADB_CHARSET_INFO* charset = mariadb_get_charset_by_nr(field.charsetnr);
    // Collations newer than the client library are all utf8mb4 on this connection.
    if (charset == nullptr || charset->char_maxlen == 0) return 4;
    return charset->char_maxlen;
}

long definedSize(const MYSQL_FIELD& field, Sizing sizing) {
    const auto length = static_cast<long>(field.length);
    switch (sizing) {
        case Sizing::Characters:
            return length / static_cast<long>(bytesPerCharacter(field));
        case Sizing::Bytes:
        case Sizing::Display:
            return length;
        case Sizing::StorageOfBits:
            return (length + 7) / 8;
    }
    return length;
}

// DECIMAL(M,D) is displayed in M digits, a point when D > 0 and a sign unless unsigned.
int decimalPrecision(const MYSQL_FIELD& field) {
    int precision = static_cast<int>(field.length);
    if (field.decimals > 0) --precision;
    if ((field.flags & UNSIGNED_FLAG) == 0) --precision;
    return precision > 0 ? precision : 1;
}

// ---- reading the text protocol ----

// Reads `count` decimal digits at text[pos]; false when they are not all there.
bool readDigits(const char* text, unsigned long length, unsigned long pos, int count, int& out) {
    if (pos + static_cast<unsigned long>(count) > length) return false;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char c = text[pos + static_cast<unsigned long>(i)];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    out = value;
    return true;
}

// Reads an optional ".ffffff" at text[pos] up to the end; false on anything else.
bool readFraction(const char* text, unsigned long length, unsigned long pos, int& microseconds) {
    microseconds = 0;
    if (pos == length) return true;
    if (text[pos] != '.' || length - pos - 1 > 6 || length - pos - 1 == 0) return false;
    int digits = 0;
    for (unsigned long i = pos + 1; i < length; ++i, ++digits) {
        if (text[i] < '0' || text[i] > '9') return false;
        microseconds = microseconds * 10 + (text[i] - '0');
    }
    for (; digits < 6; ++digits) microseconds *= 10;
    return true;
}

// Whether text[pos] is there and is `c`.
bool hasCharAt(const char* text, unsigned long length, unsigned long pos, char c) {
    return pos < length && text[pos] == c;
}

bool isCalendarDate(int year, int month, int day) {
    return year >= 1 && QDate::isValid(year, month, day);
}

bool isTimeOfDay(int hour, int minute, int second) {
    return hour < 24 && minute < 60 && second < 60;
}

// "YYYY-MM-DD"
bool readDate(const char* text, unsigned long length, DateTime& dt) {
    return readDigits(text, length, 0, 4, dt.year) && hasCharAt(text, length, 4, '-') &&
           readDigits(text, length, 5, 2, dt.month) && hasCharAt(text, length, 7, '-') &&
           readDigits(text, length, 8, 2, dt.day) && isCalendarDate(dt.year, dt.month, dt.day);
}

// "HH:MM:SS[.ffffff]" at text[pos] to the end.
bool readClock(const char* text, unsigned long length, unsigned long pos, DateTime& dt) {
    return readDigits(text, length, pos, 2, dt.hour) && hasCharAt(text, length, pos + 2, ':') &&
           readDigits(text, length, pos + 3, 2, dt.minute) &&
           hasCharAt(text, length, pos + 5, ':') &&
           readDigits(text, length, pos + 6, 2, dt.second) &&
           readFraction(text, length, pos + 8, dt.microsecond) &&
           isTimeOfDay(dt.hour, dt.minute, dt.second);
}

QString latin1(const char* data, unsigned long length) {
    return QString::fromLatin1(data, static_cast<qsizetype>(length));
}

Value textValue(const char* data, unsigned long length) {
    return Value::text(QString::fromUtf8(data, static_cast<qsizetype>(length)));
}

Value bytesValue(const char* data, unsigned long length) {
    return Value::bytes(QByteArray(data, static_cast<qsizetype>(length)));
}

Value readSigned(const char* data, unsigned long length) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(data, data + length, value);
    if (error != std::errc() || end != data + length) return textValue(data, length);
    return Value::integer(value);
}

Value unsignedValue(std::uint64_t value) {
    if (value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return Value::integer(static_cast<std::int64_t>(value));
    }
    return Value::decimal(QString::number(value));
}

Value readUnsigned(const char* data, unsigned long length) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(data, data + length, value);
    if (error != std::errc() || end != data + length) return textValue(data, length);
    return unsignedValue(value);
}

Value readFloating(const char* data, unsigned long length) {
    double value = 0;
    const auto [end, error] = std::from_chars(data, data + length, value);
    if (error != std::errc() || end != data + length) return textValue(data, length);
    return Value::floating(value);
}

Value readDateValue(const char* data, unsigned long length) {
    DateTime dt;
    if (length != 10 || !readDate(data, length, dt)) return textValue(data, length);
    return Value::date(dt.year, dt.month, dt.day);
}

Value readTimeValue(const char* data, unsigned long length) {
    DateTime dt;
    if (!readClock(data, length, 0, dt)) return textValue(data, length);
    return Value::time(dt.hour, dt.minute, dt.second, dt.microsecond);
}

Value readDateTimeValue(const char* data, unsigned long length) {
    DateTime dt;
    if (!readDate(data, length, dt) || !hasCharAt(data, length, 10, ' ') ||
        !readClock(data, length, 11, dt)) {
        return textValue(data, length);
    }
    return Value::dateTime(dt);
}

// BIT(M) arrives as its (M + 7) / 8 bytes, most significant first.
Value readBits(const char* data, unsigned long length) {
    if (length > 8) return bytesValue(data, length);
    std::uint64_t value = 0;
    for (unsigned long i = 0; i < length; ++i) {
        value = (value << 8) | static_cast<unsigned char>(data[i]);
    }
    return unsignedValue(value);
}

}  // namespace

ColumnShape describeColumn(const MYSQL_FIELD& field) {
    const TypeRow row = typeRow(field);
    ColumnShape shape;
    shape.form = row.form;
    shape.info.name = QString::fromUtf8(field.name, static_cast<qsizetype>(field.name_length));
    shape.info.type = row.adoType;
    shape.info.definedSize = definedSize(field, row.sizing);
    if (row.adoType == adType::Numeric) {
        shape.info.precision = decimalPrecision(field);
        shape.info.numericScale = static_cast<int>(field.decimals);
    }
    return shape;
}

Value readValue(ValueForm form, const char* data, unsigned long length) {
    switch (form) {
        case ValueForm::Integer:
            return readSigned(data, length);
        case ValueForm::UnsignedInteger:
            return readUnsigned(data, length);
        case ValueForm::Decimal:
            return Value::decimal(latin1(data, length));
        case ValueForm::Floating:
            return readFloating(data, length);
        case ValueForm::Date:
            return readDateValue(data, length);
        case ValueForm::Time:
            return readTimeValue(data, length);
        case ValueForm::DateTime:
            return readDateTimeValue(data, length);
        case ValueForm::Bits:
            return readBits(data, length);
        case ValueForm::Text:
            return textValue(data, length);
        case ValueForm::Bytes:
            return bytesValue(data, length);
    }
    return textValue(data, length);
}

}  // namespace keldara::dao::mysql

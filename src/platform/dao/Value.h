#pragma once

#include <QByteArray>
#include <QString>
#include <compare>
#include <cstdint>
#include <variant>

namespace keldara::dao {

// A calendar date and/or time of day, kept as its parts so that no range or precision is
// lost (Access stores years from 100 to 9999, MySQL keeps microseconds).
struct DateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int microsecond = 0;

    auto operator<=>(const DateTime&) const = default;
};

// An exact decimal number kept as its canonical text: optional '-', digits, optional '.'
// and digits. Currency and decimal values never pass through binary floating point.
struct Decimal {
    QString text;
    bool operator==(const Decimal&) const = default;
};

enum class ValueKind : std::uint8_t {
    Null,
    Boolean,
    Integer,
    Double,
    Decimal,
    Date,      // calendar date only
    Time,      // time of day only
    DateTime,  // date and time of day
    Text,
    Bytes,
};

// One field value. SQL NULL is its own kind and never an empty text.
class Value {
  public:
    Value() = default;
    static Value null() { return Value(); }
    static Value boolean(bool b) { return Value(ValueKind::Boolean, b); }
    static Value integer(std::int64_t i) { return Value(ValueKind::Integer, i); }
    static Value floating(double d) { return Value(ValueKind::Double, d); }
    static Value decimal(const QString& canonicalText) {
        return Value(ValueKind::Decimal, Decimal{canonicalText});
    }
    static Value date(int y, int m, int d) { return Value(ValueKind::Date, DateTime{y, m, d}); }
    static Value time(int h, int mi, int s, int us = 0) {
        return Value(ValueKind::Time, DateTime{1899, 12, 30, h, mi, s, us});
    }
    static Value dateTime(const DateTime& dt) { return Value(ValueKind::DateTime, dt); }
    static Value dateTimeOfKind(ValueKind kind, const DateTime& dt) { return Value(kind, dt); }
    static Value text(const QString& s) { return Value(ValueKind::Text, s); }
    static Value bytes(const QByteArray& b) { return Value(ValueKind::Bytes, b); }

    ValueKind kind() const { return kind_; }
    bool isNull() const { return kind_ == ValueKind::Null; }
    bool isDateLike() const {
        return kind_ == ValueKind::Date || kind_ == ValueKind::Time || kind_ == ValueKind::DateTime;
    }

    bool toBool() const { return std::get<bool>(data_); }
    std::int64_t toInt() const { return std::get<std::int64_t>(data_); }
    double toDouble() const { return std::get<double>(data_); }
    const QString& decimalText() const { return std::get<Decimal>(data_).text; }
    const DateTime& toDateTime() const { return std::get<DateTime>(data_); }
    const QString& toText() const { return std::get<QString>(data_); }
    const QByteArray& toBytes() const { return std::get<QByteArray>(data_); }

    // The value as the user's locale writes it; Null is the empty text.
    QString displayText() const;
    // The value's standard text, locale-free: what goes between the quotes of a literal.
    // Null is the empty text; bytes are their hexadecimal digits.
    QString standardText() const;
    // Appends standardText() in UTF-8 to `out`, most kinds without making the text first.
    void appendStandardUtf8(QByteArray& out) const;
    // What MySQL reads back as the same value: NULL, X'..', or a quoted, escaped text.
    QString sqlLiteral() const;

    bool operator==(const Value& other) const = default;

  private:
    using Data = std::variant<std::monostate, bool, std::int64_t, double, Decimal, DateTime,
                              QString, QByteArray>;
    template <typename T>
    Value(ValueKind kind, T&& data) : kind_(kind), data_(std::forward<T>(data)) {}

    ValueKind kind_ = ValueKind::Null;
    Data data_;
};

// The escaping of the MySQL client library: \\ \' \" \0 \n \r \Z.
QString escapeSqlText(const QString& text);

// Date and time texts in the forms MySQL reads: YYYY-MM-DD, HH:MM:SS[.ffffff].
QString isoDateText(const DateTime& dt);
QString isoTimeText(const DateTime& dt);

}  // namespace keldara::dao

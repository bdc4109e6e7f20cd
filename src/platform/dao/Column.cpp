#include "platform/dao/Column.h"

#include <bit>

namespace keldara::dao {

namespace {

// year 14 bits, month 4, day 5, hour 5, minute 6, second 6, microsecond 20: 60 bits.
std::uint64_t packDateTime(const DateTime& dt) {
    std::uint64_t p = static_cast<std::uint64_t>(dt.year & 0x3FFF);
    p = (p << 4) | static_cast<std::uint64_t>(dt.month & 0xF);
    p = (p << 5) | static_cast<std::uint64_t>(dt.day & 0x1F);
    p = (p << 5) | static_cast<std::uint64_t>(dt.hour & 0x1F);
    p = (p << 6) | static_cast<std::uint64_t>(dt.minute & 0x3F);
    p = (p << 6) | static_cast<std::uint64_t>(dt.second & 0x3F);
    p = (p << 20) | static_cast<std::uint64_t>(dt.microsecond & 0xFFFFF);
    return p;
}

DateTime unpackDateTime(std::uint64_t p) {
    DateTime dt;
    dt.microsecond = static_cast<int>(p & 0xFFFFF);
    p >>= 20;
    dt.second = static_cast<int>(p & 0x3F);
    p >>= 6;
    dt.minute = static_cast<int>(p & 0x3F);
    p >>= 6;
    dt.hour = static_cast<int>(p & 0x1F);
    p >>= 5;
    dt.day = static_cast<int>(p & 0x1F);
    p >>= 5;
    dt.month = static_cast<int>(p & 0xF);
    p >>= 4;
    dt.year = static_cast<int>(p & 0x3FFF);
    return dt;
}

}  // namespace

void Column::reserve(std::size_t rows) {
    kinds_.reserve(rows);
    payloads_.reserve(rows);
}

void Column::append(const Value& value) {
    std::uint64_t payload = 0;
    switch (value.kind()) {
        case ValueKind::Null:
            break;
        case ValueKind::Boolean:
            payload = value.toBool() ? 1 : 0;
            break;
        case ValueKind::Integer:
            payload = static_cast<std::uint64_t>(value.toInt());
            break;
        case ValueKind::Double:
            payload = std::bit_cast<std::uint64_t>(value.toDouble());
            break;
        case ValueKind::Decimal:
            payload = texts_.size();
            texts_.push_back(value.decimalText());
            break;
        case ValueKind::Text:
            payload = texts_.size();
            texts_.push_back(value.toText());
            break;
        case ValueKind::Date:
        case ValueKind::Time:
        case ValueKind::DateTime:
            payload = packDateTime(value.toDateTime());
            break;
        case ValueKind::Bytes:
            payload = bytes_.size();
            bytes_.push_back(value.toBytes());
            break;
    }
    kinds_.push_back(value.kind());
    payloads_.push_back(payload);
}

Value Column::at(std::size_t row) const {
    const std::uint64_t payload = payloads_[row];
    switch (kinds_[row]) {
        case ValueKind::Null:
            return Value::null();
        case ValueKind::Boolean:
            return Value::boolean(payload != 0);
        case ValueKind::Integer:
            return Value::integer(static_cast<std::int64_t>(payload));
        case ValueKind::Double:
            return Value::floating(std::bit_cast<double>(payload));
        case ValueKind::Decimal:
            return Value::decimal(texts_[payload]);
        case ValueKind::Text:
            return Value::text(texts_[payload]);
        case ValueKind::Date:
        case ValueKind::Time:
        case ValueKind::DateTime:
            return Value::dateTimeOfKind(kinds_[row], unpackDateTime(payload));
        case ValueKind::Bytes:
            return Value::bytes(bytes_[payload]);
    }
    return Value::null();
}

}  // namespace keldara::dao

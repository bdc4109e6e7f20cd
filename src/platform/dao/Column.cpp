#include "platform/dao/Column.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "platform/dao/Ascii.h"
#include "platform/dao/Memory.h"

namespace keldara::dao {

namespace {

// The date in the low 23 bits (year 14, month 4, day 5), the time of day above it (hour 5,
// minute 6, second 6, microsecond 20): a date without a time of day fits in 32 bits.
std::uint64_t packDateTime(const DateTime& dt) {
    std::uint64_t time = static_cast<std::uint64_t>(dt.hour & 0x1F);
    time = (time << 6) | static_cast<std::uint64_t>(dt.minute & 0x3F);
    time = (time << 6) | static_cast<std::uint64_t>(dt.second & 0x3F);
    time = (time << 20) | static_cast<std::uint64_t>(dt.microsecond & 0xFFFFF);
    std::uint64_t date = static_cast<std::uint64_t>(dt.year & 0x3FFF);
    date = (date << 4) | static_cast<std::uint64_t>(dt.month & 0xF);
    date = (date << 5) | static_cast<std::uint64_t>(dt.day & 0x1F);
    return (time << 23) | date;
}

DateTime unpackDateTime(std::uint64_t p) {
    DateTime dt;
    dt.day = static_cast<int>(p & 0x1F);
    p >>= 5;
    dt.month = static_cast<int>(p & 0xF);
    p >>= 4;
    dt.year = static_cast<int>(p & 0x3FFF);
    p >>= 14;
    dt.microsecond = static_cast<int>(p & 0xFFFFF);
    p >>= 20;
    dt.second = static_cast<int>(p & 0x3F);
    p >>= 6;
    dt.minute = static_cast<int>(p & 0x3F);
    p >>= 6;
    dt.hour = static_cast<int>(p & 0x1F);
    return dt;
}

constexpr std::uint64_t kNarrowLimit = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t kFirstBlock = 4096;
constexpr std::size_t kLargestBlock = std::size_t{1} << 20;

// An entry's header tells its form in its two lowest bits and its length above them: the
// characters of a text in Latin-1 or UTF-16, the bytes of UTF-8 or of bytes.
constexpr std::uint64_t kLatin1 = 0;  // and bytes
constexpr std::uint64_t kUtf16 = 1;
constexpr std::uint64_t kNullText = 2;
constexpr std::uint64_t kUtf8 = 3;

std::uint64_t formOf(std::uint64_t header) {
    return header & 3;
}

bool isLatin1(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x100; });
}

}  // namespace

Column::ByteStore::Block::Block(std::size_t bytes, std::uint64_t offset)
    : data(std::make_unique_for_overwrite<char[]>(bytes)), size(bytes), start(offset) {
    prepareForFilling(data.get(), bytes);
}

Column::ByteStore::Block::Block(const Block& other) : Block(other.size, other.start) {
    std::memcpy(data.get(), other.data.get(), size);
}

char* Column::ByteStore::allocate(std::size_t bytes, std::uint64_t& offset) {
    if (blocks_.empty() || blocks_.back().size - used_ < bytes) {
        const std::size_t grown =
            blocks_.empty() ? kFirstBlock : std::min(blocks_.back().size * 2, kLargestBlock);
        blocks_.emplace_back(std::max(grown, bytes),
                             blocks_.empty() ? 0 : blocks_.back().start + used_);
        used_ = 0;
    }
    Block& last = blocks_.back();
    offset = last.start + used_;
    char* place = last.data.get() + used_;
    used_ += bytes;
    return place;
}

const char* Column::ByteStore::at(std::uint64_t offset) const {
    const auto after = std::upper_bound(
        blocks_.begin(), blocks_.end(), offset,
        [](std::uint64_t value, const Block& block) { return value < block.start; });
    const Block& block = *(after - 1);
    return block.data.get() + (offset - block.start);
}

std::uint64_t Column::ByteStore::adopt(ByteStore&& rest) {
    const std::uint64_t base = end();
    if (rest.blocks_.empty()) return base;
    for (Block& block : rest.blocks_) {
        block.start += base;
        blocks_.push_back(std::move(block));
    }
    used_ = rest.used_;
    rest = ByteStore();
    return base;
}

char* Column::allocateEntry(std::uint64_t header, std::size_t bytes, std::uint64_t& offset) {
    std::size_t headerSize = 1;
    for (std::uint64_t rest = header >> 7; rest != 0; rest >>= 7) ++headerSize;
    char* place = store_.allocate(headerSize + bytes, offset);
    do {
        *place++ = static_cast<char>((header & 0x7F) | (header > 0x7F ? 0x80 : 0));
        header >>= 7;
    } while (header != 0);
    return place;
}

std::uint64_t Column::readHeader(const char*& data) const {
    std::uint64_t header = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*data++);
        header |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) return header;
    }
}

std::uint64_t Column::storeText(QStringView text, bool isNull) {
    const auto length = static_cast<std::size_t>(text.size());
    std::uint64_t offset = 0;
    if (isLatin1(text)) {
        char* place = allocateEntry(length << 2 | (isNull ? kNullText : 0), length, offset);
        for (std::size_t i = 0; i < length; ++i) place[i] = static_cast<char>(text[i].unicode());
    } else {
        char* place = allocateEntry(length << 2 | kUtf16, 2 * length, offset);
        std::memcpy(place, text.utf16(), 2 * length);
    }
    return offset;
}

std::uint64_t Column::storeBytes(std::string_view bytes, std::uint64_t form) {
    std::uint64_t offset = 0;
    char* place = allocateEntry(bytes.size() << 2 | form, bytes.size(), offset);
    std::memcpy(place, bytes.data(), bytes.size());
    return offset;
}

QString Column::textAt(std::uint64_t offset) const {
    const char* data = store_.at(offset);
    const std::uint64_t header = readHeader(data);
    const auto length = static_cast<qsizetype>(header >> 2);
    switch (formOf(header)) {
        case kNullText:
            return QString();
        case kLatin1:
            return QString::fromLatin1(data, length);
        case kUtf8:
            return QString::fromUtf8(data, length);
    }
    QString text(length, Qt::Uninitialized);
    std::memcpy(text.data(), data, 2 * static_cast<std::size_t>(length));
    return text;
}

bool Column::appendTextUtf8(std::size_t row, QByteArray& out) const {
    if (kinds_[row] != ValueKind::Text) return false;
    const std::uint64_t offset = payloadAt(row);
    const char* data = store_.at(offset);
    const std::uint64_t header = readHeader(data);
    const auto length = static_cast<qsizetype>(header >> 2);
    switch (formOf(header)) {
        case kNullText:
            return false;
        case kUtf16:
            out += textAt(offset).toUtf8();
            return true;
        case kUtf8:
            appendCopy(out, data, length);
            return true;
    }
    if (isAscii(data, length)) {
        appendCopy(out, data, length);
        return true;
    }
    const auto latin1 = reinterpret_cast<const unsigned char*>(data);
    for (qsizetype i = 0; i < length; ++i) {
        if (latin1[i] < 0x80) {
            out += static_cast<char>(latin1[i]);
        } else {
            out += static_cast<char>(0xC0 | latin1[i] >> 6);
            out += static_cast<char>(0x80 | (latin1[i] & 0x3F));
        }
    }
    return true;
}

QByteArray Column::bytesAt(std::uint64_t offset) const {
    const char* data = store_.at(offset);
    const std::uint64_t header = readHeader(data);
    return QByteArray(data, static_cast<qsizetype>(header >> 2));
}

void Column::reserve(std::size_t rows) {
    roomIsGuessed_ = false;
    reserve(rows, prepareForFilling);
}

void Column::reserveAbout(std::size_t rows) {
    roomIsGuessed_ = true;
    reserve(rows, prepareForGrowing);
}

void Column::reserve(std::size_t rows, void (*prepare)(void*, std::size_t)) {
    kinds_.reserve(rows);
    prepare(kinds_.data(), kinds_.capacity());
    if (isWide_) {
        wide_.reserve(rows);
        prepare(wide_.data(), wide_.capacity() * sizeof(std::uint64_t));
    } else {
        narrow_.reserve(rows);
        prepare(narrow_.data(), narrow_.capacity() * sizeof(std::uint32_t));
    }
}

void Column::widen() {
    wide_.reserve(std::max(kinds_.capacity(), narrow_.size()));
    const auto prepare = roomIsGuessed_ ? prepareForGrowing : prepareForFilling;
    prepare(wide_.data(), wide_.capacity() * sizeof(std::uint64_t));
    for (std::size_t row = 0; row < narrow_.size(); ++row) {
        const std::uint32_t payload = narrow_[row];
        wide_.push_back(kinds_[row] == ValueKind::Integer
                            ? static_cast<std::uint64_t>(static_cast<std::int32_t>(payload))
                            : payload);
    }
    std::vector<std::uint32_t>().swap(narrow_);
    isWide_ = true;
}

void Column::push(ValueKind kind, std::uint64_t payload, bool fitsNarrow) {
    if (!isWide_ && !fitsNarrow) widen();
    if (isWide_) {
        wide_.push_back(payload);
    } else {
        narrow_.push_back(static_cast<std::uint32_t>(payload));
    }
    kinds_.push_back(kind);
}

std::uint64_t Column::payloadAt(std::size_t row) const {
    if (isWide_) return wide_[row];
    const std::uint32_t payload = narrow_[row];
    return kinds_[row] == ValueKind::Integer
               ? static_cast<std::uint64_t>(static_cast<std::int32_t>(payload))
               : payload;
}

void Column::appendColumn(Column&& rest) {
    const std::uint64_t base = store_.adopt(std::move(rest.store_));
    const auto stored = [](ValueKind kind) {
        return kind == ValueKind::Text || kind == ValueKind::Decimal || kind == ValueKind::Bytes;
    };
    const std::size_t first = kinds_.size();
    const std::size_t count = rest.kinds_.size();
    const bool wide = isWide_ || rest.isWide_ || store_.end() > kNarrowLimit;
    if (wide && !isWide_) widen();
    if (kinds_.capacity() < first + count) reserve(first + count);
    if (wide) {
        for (std::size_t row = 0; row < count; ++row)
            wide_.push_back(rest.payloadAt(row) + (stored(rest.kinds_[row]) ? base : 0));
    } else {
        narrow_.insert(narrow_.end(), rest.narrow_.begin(), rest.narrow_.end());
        for (std::size_t row = 0; row < count && base != 0; ++row) {
            if (stored(rest.kinds_[row])) narrow_[first + row] += static_cast<std::uint32_t>(base);
        }
    }
    kinds_.insert(kinds_.end(), rest.kinds_.begin(), rest.kinds_.end());
    rest = Column();
}

void Column::appendInteger(std::int64_t integer) {
    push(ValueKind::Integer, static_cast<std::uint64_t>(integer),
         integer >= std::numeric_limits<std::int32_t>::min() &&
             integer <= std::numeric_limits<std::int32_t>::max());
}

void Column::appendDouble(double number) {
    push(ValueKind::Double, std::bit_cast<std::uint64_t>(number), false);
}

void Column::appendDateTime(ValueKind kind, const DateTime& dt) {
    const std::uint64_t payload = packDateTime(dt);
    push(kind, payload, payload <= kNarrowLimit);
}

void Column::appendLatin1(ValueKind kind, std::string_view latin1) {
    const std::uint64_t offset = storeBytes(latin1, kLatin1);
    push(kind, offset, offset <= kNarrowLimit);
}

void Column::appendText(ValueKind kind, QStringView text, bool isNull) {
    const std::uint64_t offset = storeText(text, isNull);
    push(kind, offset, offset <= kNarrowLimit);
}

void Column::appendBytes(std::string_view bytes) {
    appendLatin1(ValueKind::Bytes, bytes);
}

void Column::appendUtf8Text(std::string_view utf8) {
    const std::uint64_t offset = storeBytes(
        utf8, isAscii(utf8.data(), static_cast<qsizetype>(utf8.size())) ? kLatin1 : kUtf8);
    push(ValueKind::Text, offset, offset <= kNarrowLimit);
}

void Column::append(const Value& value) {
    const ValueKind kind = value.kind();
    switch (kind) {
        case ValueKind::Null:
            return appendNull();
        case ValueKind::Boolean:
            return appendBoolean(value.toBool());
        case ValueKind::Integer:
            return appendInteger(value.toInt());
        case ValueKind::Double:
            return appendDouble(value.toDouble());
        case ValueKind::Decimal:
        case ValueKind::Text: {
            const QString& text = kind == ValueKind::Text ? value.toText() : value.decimalText();
            return appendText(kind, text, text.isNull());
        }
        case ValueKind::Date:
        case ValueKind::Time:
        case ValueKind::DateTime:
            return appendDateTime(kind, value.toDateTime());
        case ValueKind::Bytes: {
            const QByteArray& bytes = value.toBytes();
            return appendBytes(
                std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        }
    }
}

double Column::doubleAt(std::size_t row) const {
    return std::bit_cast<double>(payloadAt(row));
}

DateTime Column::dateTimeAt(std::size_t row) const {
    return unpackDateTime(payloadAt(row));
}

Value Column::at(std::size_t row) const {
    const ValueKind kind = kinds_[row];
    const std::uint64_t payload = payloadAt(row);
    switch (kind) {
        case ValueKind::Null:
            return Value::null();
        case ValueKind::Boolean:
            return Value::boolean(payload != 0);
        case ValueKind::Integer:
            return Value::integer(static_cast<std::int64_t>(payload));
        case ValueKind::Double:
            return Value::floating(std::bit_cast<double>(payload));
        case ValueKind::Decimal:
            return Value::decimal(textAt(payload));
        case ValueKind::Text:
            return Value::text(textAt(payload));
        case ValueKind::Date:
        case ValueKind::Time:
        case ValueKind::DateTime:
            return Value::dateTimeOfKind(kind, unpackDateTime(payload));
        case ValueKind::Bytes:
            return Value::bytes(bytesAt(payload));
    }
    return Value::null();
}

}  // namespace keldara::dao

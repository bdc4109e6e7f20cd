#include "platform/dao/excel/BiffRecords.h"

#include "platform/dao/sheet/SheetError.h"

namespace keldara::dao::xls {

void Record::tooShort() const {
    throw sheet::FormatError(QStringLiteral("the record of type 0x%1 at offset %2 is too short")
                                 .arg(type, 4, 16, QLatin1Char('0'))
                                 .arg(offset));
}

RecordReader::RecordReader(const QByteArray& stream, std::size_t offset)
    : stream_(stream), offset_(offset) {}

bool RecordReader::peekType(std::uint16_t& type) const {
    const auto size = static_cast<std::size_t>(stream_.size());
    if (offset_ + 4 > size) return false;
    const auto* p = reinterpret_cast<const std::uint8_t*>(stream_.constData()) + offset_;
    type = static_cast<std::uint16_t>(p[0] | p[1] << 8);
    return true;
}

bool RecordReader::next(Record& record) {
    const auto size = static_cast<std::size_t>(stream_.size());
    if (offset_ + 4 > size) return false;
    const auto* p = reinterpret_cast<const std::uint8_t*>(stream_.constData()) + offset_;
    const std::size_t length = static_cast<std::size_t>(p[2] | p[3] << 8);
    record.type = static_cast<std::uint16_t>(p[0] | p[1] << 8);
    record.offset = offset_;
    if (offset_ + 4 + length > size) {
        throw sheet::FormatError(QStringLiteral("the record at offset %1 runs past the end of the "
                                                "workbook stream")
                                     .arg(offset_));
    }
    record.data = std::span<const std::uint8_t>(p + 4, length);
    offset_ += 4 + length;
    return true;
}

std::vector<std::span<const std::uint8_t>> RecordReader::takeContinues() {
    std::vector<std::span<const std::uint8_t>> segments;
    std::uint16_t type = 0;
    Record record;
    while (peekType(type) && type == record::Continue && next(record)) {
        segments.push_back(record.data);
    }
    return segments;
}

ContinuedCursor::ContinuedCursor(std::vector<std::span<const std::uint8_t>> segments)
    : segments_(std::move(segments)) {}

// Moves past segments that are used up; false when none is left.
bool ContinuedCursor::skipExhausted() {
    while (segment_ < segments_.size() && pos_ >= segments_[segment_].size()) {
        ++segment_;
        pos_ = 0;
    }
    return segment_ < segments_.size();
}

bool ContinuedCursor::atEnd() {
    return !skipExhausted();
}

std::uint8_t ContinuedCursor::u8() {
    if (!skipExhausted()) {
        throw sheet::FormatError(QStringLiteral("a string table or string record is cut short"));
    }
    return segments_[segment_][pos_++];
}

std::uint16_t ContinuedCursor::u16() {
    const std::uint8_t low = u8();
    return static_cast<std::uint16_t>(low | u8() << 8);
}

std::uint32_t ContinuedCursor::u32() {
    const std::uint16_t low = u16();
    return static_cast<std::uint32_t>(low) | static_cast<std::uint32_t>(u16()) << 16;
}

void ContinuedCursor::skip(std::size_t bytes) {
    while (bytes > 0) {
        if (!skipExhausted()) {
            throw sheet::FormatError(
                QStringLiteral("a string table or string record is cut short"));
        }
        const std::size_t step = std::min(bytes, segments_[segment_].size() - pos_);
        pos_ += step;
        bytes -= step;
    }
}

void ContinuedCursor::appendCharacters(std::size_t count, bool sixteenBit,
                                       std::vector<char16_t>& out) {
    out.reserve(out.size() + std::min<std::size_t>(count, 65536));
    while (count > 0) {
        if (segment_ >= segments_.size()) {
            throw sheet::FormatError(
                QStringLiteral("a string table or string record is cut short"));
        }
        const auto& data = segments_[segment_];
        if (pos_ >= data.size()) {
            // The characters go on in the next CONTINUE record, after a new flag byte.
            ++segment_;
            pos_ = 0;
            if (segment_ >= segments_.size() || segments_[segment_].empty()) {
                throw sheet::FormatError(
                    QStringLiteral("a string table or string record is cut short"));
            }
            sixteenBit = (segments_[segment_][pos_++] & 0x01) != 0;
            continue;
        }
        const std::size_t available = data.size() - pos_;
        const std::size_t take = std::min(count, sixteenBit ? available / 2 : available);
        if (take == 0) {
            throw sheet::FormatError(QStringLiteral("a string is split inside a character"));
        }
        const std::uint8_t* p = data.data() + pos_;
        if (sixteenBit) {
            for (std::size_t i = 0; i < take; ++i) {
                out.push_back(static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8));
            }
            pos_ += 2 * take;
        } else {
            out.insert(out.end(), p, p + take);
            pos_ += take;
        }
        count -= take;
    }
}

void ContinuedCursor::appendUnicodeString(bool longLength, std::vector<char16_t>& out) {
    const std::size_t count = longLength ? u16() : u8();
    const std::uint8_t flags = u8();
    const std::size_t runs = (flags & 0x08) ? u16() : 0;
    const std::size_t phonetic = (flags & 0x04) ? u32() : 0;
    appendCharacters(count, (flags & 0x01) != 0, out);
    skip(runs * 4);
    skip(phonetic);
}

QString ContinuedCursor::unicodeString(bool longLength) {
    std::vector<char16_t> characters;
    appendUnicodeString(longLength, characters);
    return QString(reinterpret_cast<const QChar*>(characters.data()),
                   static_cast<qsizetype>(characters.size()));
}

QByteArray ContinuedCursor::bytes(std::size_t count) {
    QByteArray result;
    while (result.size() < static_cast<qsizetype>(count)) {
        if (!skipExhausted()) {
            throw sheet::FormatError(QStringLiteral("a string record is cut short"));
        }
        const std::size_t step = std::min(count - static_cast<std::size_t>(result.size()),
                                          segments_[segment_].size() - pos_);
        result.append(reinterpret_cast<const char*>(segments_[segment_].data() + pos_),
                      static_cast<qsizetype>(step));
        pos_ += step;
    }
    return result;
}

}  // namespace keldara::dao::xls

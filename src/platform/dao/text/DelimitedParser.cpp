#include "platform/dao/text/DelimitedParser.h"

#include <bit>
#include <cstring>
#include <limits>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/dao/DaoError.h"

namespace keldara::dao::text {

namespace {

// As many fields as the widest spreadsheets have; a wider record is damage or a
// mistaken delimiter, and refused before its fields take memory.
constexpr std::size_t kMaxFieldsPerRecord = 16384;

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;

// The high bit of every byte of `word` equal to `c`; exact for the lowest such byte, which
// is all the callers use (a borrow may mark bytes above it).
std::uint64_t bytesEqual(std::uint64_t word, char c) {
    const std::uint64_t x = word ^ (kOnes * static_cast<unsigned char>(c));
    return (x - kOnes) & ~x & (kOnes << 7);
}

// Where the first of the bytes `a`, `b` and `c` lies in data[pos, end), or `end`: eight bytes
// at a time, the lowest byte a mask marks being the first of them.
std::size_t firstOf(const char* data, std::size_t pos, std::size_t end, char a, char b, char c) {
    for (; pos + 8 <= end; pos += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + pos, 8);
        const std::uint64_t found = bytesEqual(word, a) | bytesEqual(word, b) | bytesEqual(word, c);
        if (found != 0) return pos + static_cast<std::size_t>(std::countr_zero(found)) / 8;
    }
    while (pos < end && data[pos] != a && data[pos] != b && data[pos] != c) ++pos;
    return pos;
}

// Where the first CR or LF lies in data[pos, end), or `end`.
std::size_t nextLineEnd(const char* data, std::size_t pos, std::size_t end) {
    return firstOf(data, pos, end, '\n', '\r', '\r');
}

}  // namespace

RecordReader::RecordReader(std::string_view text, char delimiter, const QString& fileName,
                           std::int64_t firstLine)
    : fileName_(fileName),
      data_(text.data()),
      size_(text.size()),
      line_(firstLine),
      delimiter_(delimiter) {}

bool RecordReader::next() {
    fields_.clear();
    unescaped_.clear();
    if (pos_ >= size_) return false;
    recordLine_ = line_;
    if (isLineEnd(data_[pos_])) {
        consumeLineEnd();
        return true;
    }
    std::size_t fieldCount = 0;
    for (;;) {
        if (pos_ < size_ && data_[pos_] == '"') {
            readQuotedField();
        } else {
            readPlainField();
        }
        // Past the limit the fields are only counted, for the message.
        if (++fieldCount > kMaxFieldsPerRecord) fields_.pop_back();
        if (pos_ < size_ && data_[pos_] == delimiter_) {
            ++pos_;
            continue;
        }
        break;
    }
    if (fieldCount > kMaxFieldsPerRecord) throwTooManyFields(recordLine_, fieldCount);
    if (pos_ < size_) consumeLineEnd();
    return true;
}

void RecordReader::consumeLineEnd() {
    if (data_[pos_] == '\r' && pos_ + 1 < size_ && data_[pos_ + 1] == '\n') ++pos_;
    ++pos_;
    ++line_;
}

void RecordReader::skipToStop() {
#ifdef __SSE2__
    // Sixteen bytes at a time: the lowest bit of the mask is the first stop among them.
    const __m128i delimiter = _mm_set1_epi8(delimiter_);
    const __m128i lineFeed = _mm_set1_epi8('\n');
    const __m128i carriageReturn = _mm_set1_epi8('\r');
    while (pos_ + 16 <= size_) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + pos_));
        const __m128i stops = _mm_or_si128(
            _mm_cmpeq_epi8(bytes, delimiter),
            _mm_or_si128(_mm_cmpeq_epi8(bytes, lineFeed), _mm_cmpeq_epi8(bytes, carriageReturn)));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(stops));
        if (mask != 0) {
            pos_ += static_cast<std::size_t>(std::countr_zero(mask));
            return;
        }
        pos_ += 16;
    }
#endif
    // The rest, and all of it without SSE2.
    pos_ = firstOf(data_, pos_, size_, delimiter_, '\n', '\r');
}

// Inlined into the field readers: it runs for every field of every record.
[[gnu::always_inline]] inline void RecordReader::addSlice(SliceOrigin origin, std::size_t offset,
                                                          std::size_t length) {
    if (length > std::numeric_limits<std::uint32_t>::max()) [[unlikely]]
        throwFieldTooLong();
    fields_.push_back(length == 0 ? FieldSlice{}
                                  : FieldSlice{offset, static_cast<std::uint32_t>(length), origin});
}

void RecordReader::readPlainField() {
    const std::size_t start = pos_;
    skipToStop();
    addSlice(SliceOrigin::Text, start, pos_ - start);
}

void RecordReader::readQuotedField() {
    const std::int64_t openingLine = line_;
    ++pos_;
    std::size_t segment = pos_;
    bool rewritten = false;
    std::size_t rewrittenStart = 0;
    for (;;) {
        const auto* quote = static_cast<const char*>(std::memchr(data_ + pos_, '"', size_ - pos_));
        if (quote == nullptr) {
            pos_ = size_;
            throwUnclosedQuote(openingLine);
        }
        const std::size_t at = static_cast<std::size_t>(quote - data_);
        countLineEnds(pos_, at);
        if (at + 1 < size_ && data_[at + 1] == '"') {
            if (!rewritten) {
                rewritten = true;
                rewrittenStart = unescaped_.size();
            }
            unescaped_.append(data_ + segment, at + 1 - segment);
            pos_ = at + 2;
            segment = pos_;
            continue;
        }
        pos_ = at + 1;
        const std::size_t tail = pos_;
        skipToStop();
        if (!rewritten && tail == pos_) {
            addSlice(SliceOrigin::Text, segment, at - segment);
            return;
        }
        if (!rewritten) {
            rewritten = true;
            rewrittenStart = unescaped_.size();
        }
        unescaped_.append(data_ + segment, at - segment);
        unescaped_.append(data_ + tail, pos_ - tail);
        addSlice(SliceOrigin::Unescaped, rewrittenStart, unescaped_.size() - rewrittenStart);
        return;
    }
}

void RecordReader::countLineEnds(std::size_t from, std::size_t to) {
    for (std::size_t i = nextLineEnd(data_, from, to); i < to; i = nextLineEnd(data_, i + 1, to)) {
        if (data_[i] == '\n' || !(i + 1 < size_ && data_[i + 1] == '\n')) ++line_;
    }
}

void RecordReader::throwFieldTooLong() const {
    throw DaoError(DaoError::BadFile,
                   QStringLiteral("The file \"%1\" cannot be read: the field on line %2 "
                                  "is longer than 4 GB.")
                       .arg(fileName_, QString::number(line_)));
}

void RecordReader::throwUnclosedQuote(std::int64_t openingLine) const {
    throw DaoError(DaoError::BadFile,
                   QStringLiteral("The file \"%1\" is damaged: the quoted field that begins "
                                  "on line %2 is never closed.")
                       .arg(fileName_, QString::number(openingLine)));
}

void RecordReader::throwTooManyFields(std::int64_t line, std::size_t count) const {
    throw DaoError(DaoError::BadFile,
                   QStringLiteral("The file \"%1\" cannot be read: line %2 holds %3 fields, "
                                  "more than the %4 a table can have.")
                       .arg(fileName_, QString::number(line), QString::number(count),
                            QString::number(kMaxFieldsPerRecord)));
}

}  // namespace keldara::dao::text

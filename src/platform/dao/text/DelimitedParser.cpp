#include "platform/dao/text/DelimitedParser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "platform/dao/DaoError.h"

namespace keldara::dao::text {

namespace {

// As many fields as the widest spreadsheets have; a wider record is damage or a
// mistaken delimiter, and refused before its fields take memory.
constexpr std::size_t kMaxFieldsPerRecord = 16384;

class Parser {
  public:
    Parser(QByteArray text, char delimiter, const QString& fileName)
        : fileName_(fileName), delimiter_(delimiter) {
        records_.text = std::move(text);
        data_ = records_.text.constData();
        size_ = static_cast<std::size_t>(records_.text.size());
        stops_.fill(false);
        stops_[static_cast<unsigned char>(delimiter)] = true;
        stops_['\n'] = true;
        stops_['\r'] = true;
    }

    ParsedRecords run() {
        reserveForLines();
        records_.recordStarts.push_back(0);
        while (pos_ < size_) readRecord();
        return std::move(records_);
    }

  private:
    // One record per line is the usual case; a rough count saves most reallocation.
    void reserveForLines() {
        std::size_t lines = 1;
        for (const char* p = data_;
             (p = static_cast<const char*>(std::memchr(p, '\n', size_ - (p - data_)))) != nullptr;
             ++p) {
            ++lines;
        }
        estimatedLines_ = lines;
        records_.recordLines.reserve(lines);
        records_.recordStarts.reserve(lines + 1);
    }

    bool isLineEnd(char c) const { return c == '\n' || c == '\r'; }

    void consumeLineEnd() {
        if (data_[pos_] == '\r' && pos_ + 1 < size_ && data_[pos_ + 1] == '\n') ++pos_;
        ++pos_;
        ++line_;
    }

    void readRecord() {
        records_.recordLines.push_back(line_);
        if (isLineEnd(data_[pos_])) {
            consumeLineEnd();
            endRecord();
            return;
        }
        const std::int64_t firstLine = line_;
        std::size_t fieldCount = 0;
        for (;;) {
            if (pos_ < size_ && data_[pos_] == '"') {
                readQuotedField();
            } else {
                readPlainField();
            }
            // Past the limit the fields are only counted, for the message.
            if (++fieldCount > kMaxFieldsPerRecord) records_.fields.pop_back();
            if (pos_ < size_ && data_[pos_] == delimiter_) {
                ++pos_;
                continue;
            }
            break;
        }
        if (fieldCount > kMaxFieldsPerRecord) throwTooManyFields(firstLine, fieldCount);
        if (pos_ < size_) consumeLineEnd();
        endRecord();
    }

    void endRecord() {
        records_.recordStarts.push_back(records_.fields.size());
        if (records_.recordStarts.size() == 2) {
            // Most records have as many fields as the first; every field but the last of a
            // line takes at least its delimiter, which bounds the estimate.
            const std::size_t estimate = std::min(
                records_.fields.size() * records_.recordLines.capacity(), size_ + estimatedLines_);
            records_.fields.reserve(estimate);
        }
    }

    void skipToStop() {
        while (pos_ < size_ && !stops_[static_cast<unsigned char>(data_[pos_])]) ++pos_;
    }

    void readPlainField() {
        const std::size_t start = pos_;
        skipToStop();
        addSlice(SliceOrigin::Text, start, pos_ - start);
    }

    void readQuotedField() {
        const std::int64_t openingLine = line_;
        ++pos_;
        std::size_t segment = pos_;
        bool rewritten = false;
        std::size_t rewrittenStart = 0;
        for (;;) {
            const auto* quote =
                static_cast<const char*>(std::memchr(data_ + pos_, '"', size_ - pos_));
            if (quote == nullptr) throwUnclosedQuote(openingLine);
            const std::size_t at = static_cast<std::size_t>(quote - data_);
            countLineEnds(pos_, at);
            if (at + 1 < size_ && data_[at + 1] == '"') {
                if (!rewritten) {
                    rewritten = true;
                    rewrittenStart = records_.unescaped.size();
                }
                records_.unescaped.append(data_ + segment, at + 1 - segment);
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
                rewrittenStart = records_.unescaped.size();
            }
            records_.unescaped.append(data_ + segment, at - segment);
            records_.unescaped.append(data_ + tail, pos_ - tail);
            addSlice(SliceOrigin::Unescaped, rewrittenStart,
                     records_.unescaped.size() - rewrittenStart);
            return;
        }
    }

    void countLineEnds(std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            if (data_[i] == '\n') {
                ++line_;
            } else if (data_[i] == '\r' && !(i + 1 < size_ && data_[i + 1] == '\n')) {
                ++line_;
            }
        }
    }

    void addSlice(SliceOrigin origin, std::size_t offset, std::size_t length) {
        if (length > std::numeric_limits<std::uint32_t>::max()) {
            throw DaoError(DaoError::BadFile,
                           QStringLiteral("The file \"%1\" cannot be read: the field on line %2 "
                                          "is longer than 4 GB.")
                               .arg(fileName_)
                               .arg(line_));
        }
        FieldSlice slice;
        if (length > 0) {
            slice.origin = origin;
            slice.offset = offset;
            slice.length = static_cast<std::uint32_t>(length);
        }
        records_.fields.push_back(slice);
    }

    [[noreturn]] void throwUnclosedQuote(std::int64_t openingLine) const {
        throw DaoError(DaoError::BadFile,
                       QStringLiteral("The file \"%1\" is damaged: the quoted field that begins "
                                      "on line %2 is never closed.")
                           .arg(fileName_)
                           .arg(openingLine));
    }

    [[noreturn]] void throwTooManyFields(std::int64_t line, std::size_t count) const {
        throw DaoError(DaoError::BadFile,
                       QStringLiteral("The file \"%1\" cannot be read: line %2 holds %3 fields, "
                                      "more than the %4 a table can have.")
                           .arg(fileName_)
                           .arg(line)
                           .arg(count)
                           .arg(kMaxFieldsPerRecord));
    }

    ParsedRecords records_;
    const QString& fileName_;
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
    std::size_t estimatedLines_ = 0;
    std::int64_t line_ = 1;
    char delimiter_;
    std::array<bool, 256> stops_{};
};

}  // namespace

ParsedRecords parseDelimited(QByteArray text, char delimiter, const QString& fileName) {
    return Parser(std::move(text), delimiter, fileName).run();
}

}  // namespace keldara::dao::text

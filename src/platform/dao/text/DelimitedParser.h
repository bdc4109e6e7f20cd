#pragma once

#include <QString>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace keldara::dao::text {

enum class SliceOrigin : std::uint8_t {
    Null,       // an empty field, quoted or not
    Text,       // bytes of the text
    Unescaped,  // bytes the reader rewrote (the field held doubled quotes)
};

// Where the UTF-8 bytes of one field lie.
struct FieldSlice {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    SliceOrigin origin = SliceOrigin::Null;
};

// Reads UTF-8 text record by record: fields separated by `delimiter`, records by CR LF, LF
// or CR; a field that begins with a double quote runs to the matching quote and may hold
// delimiters, line ends and doubled quotes. Text after a closing quote belongs to the field.
// A blank line is a record without fields. Only the current record's fields are kept, so
// reading takes no memory in proportion to the text. Throws DaoError naming `fileName` and
// the line when a quote is never closed or a record holds too many fields. A reader may begin
// at any record of a longer text, on that record's line (`firstLine`).
class RecordReader {
  public:
    RecordReader(std::string_view text, char delimiter, const QString& fileName,
                 std::int64_t firstLine = 1);

    // Reads the next record; false after the last.
    bool next();
    std::span<const FieldSlice> fields() const { return fields_; }
    std::string_view bytes(const FieldSlice& slice) const {
        const char* base = slice.origin == SliceOrigin::Unescaped ? unescaped_.data() : data_;
        return {base + slice.offset, slice.length};
    }
    std::int64_t line() const { return recordLine_; }  // where the record begins, from 1
    std::size_t position() const { return pos_; }      // bytes of the text read so far
    std::int64_t nextLine() const { return line_; }    // where the next record begins
    // The text ended inside the last record read, or before it (a quote never closed).
    bool reachedEnd() const { return pos_ >= size_; }

  private:
    bool isLineEnd(char c) const { return c == '\n' || c == '\r'; }
    void consumeLineEnd();
    void skipToStop();
    void readPlainField();
    void readQuotedField();
    void countLineEnds(std::size_t from, std::size_t to);
    void addSlice(SliceOrigin origin, std::size_t offset, std::size_t length);
    [[noreturn]] void throwFieldTooLong() const;
    [[noreturn]] void throwUnclosedQuote(std::int64_t openingLine) const;
    [[noreturn]] void throwTooManyFields(std::int64_t line, std::size_t count) const;

    const QString& fileName_;
    const char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::int64_t line_ = 1;
    std::int64_t recordLine_ = 0;
    char delimiter_;
    std::vector<FieldSlice> fields_;
    std::string unescaped_;
};

}  // namespace keldara::dao::text

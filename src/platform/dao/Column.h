#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/dao/Value.h"

namespace keldara::dao {

// The values of one column, stored compactly: a kind byte and a payload per cell. Payloads
// take four bytes while every one of the column fits (integers within 32 bits, dates
// without a time of day, texts within the first 4 GB of the column's text store) and eight
// once one does not. Texts, decimals and bytes live in the column's text store, texts of
// Latin-1 characters at one byte a character, others at two.
class Column {
  public:
    void append(const Value& value);

    // Appends without a Value in between, for readers in bulk.
    void appendNull() { push(ValueKind::Null, 0, true); }
    void appendBoolean(bool b) { push(ValueKind::Boolean, b ? 1 : 0, true); }
    void appendInteger(std::int64_t integer);
    void appendDouble(double number);
    void appendDateTime(ValueKind kind, const DateTime& dt);
    // A text or a decimal's canonical text whose bytes are its characters in Latin-1.
    void appendLatin1(ValueKind kind, std::string_view latin1);
    void appendText(ValueKind kind, QStringView text, bool isNull = false);
    void appendBytes(std::string_view bytes);
    void appendUtf8Text(std::string_view utf8);
    Value at(std::size_t row) const;
    // Appends the UTF-8 of the text at `row` straight from the column's store, without a
    // QString in between; false, appending nothing, for a value of another kind or a Null
    // text.
    bool appendTextUtf8(std::size_t row, QByteArray& out) const;
    ValueKind kindAt(std::size_t row) const { return kinds_[row]; }
    // The value at `row` of the kind each takes (Integer; Double; Date, Time or DateTime),
    // without a Value in between.
    std::int64_t integerAt(std::size_t row) const {
        return static_cast<std::int64_t>(payloadAt(row));
    }
    double doubleAt(std::size_t row) const;
    DateTime dateTimeAt(std::size_t row) const;
    std::size_t size() const { return kinds_.size(); }
    void reserve(std::size_t rows);
    // Room for about `rows`, which may not all come: the memory is taken as it is filled.
    void reserveAbout(std::size_t rows);
    // Puts the values of `rest` after this column's, taking its text store's blocks as they
    // are; `rest` is left empty.
    void appendColumn(Column&& rest);

  private:
    // Append-only storage of byte strings in blocks that never move, so that growing it
    // copies nothing.
    class ByteStore {
      public:
        char* allocate(std::size_t bytes, std::uint64_t& offset);
        const char* at(std::uint64_t offset) const;
        // Takes the blocks of `rest` after its own; returns what the offsets of `rest` add.
        std::uint64_t adopt(ByteStore&& rest);
        // The offset the next byte string would get, at most.
        std::uint64_t end() const { return blocks_.empty() ? 0 : blocks_.back().start + used_; }

      private:
        struct Block {
            explicit Block(std::size_t bytes, std::uint64_t offset);
            Block(const Block& other);
            Block(Block&&) = default;
            Block& operator=(const Block& other) { return *this = Block(other); }
            Block& operator=(Block&&) = default;

            std::unique_ptr<char[]> data;  // not cleared: every byte in use is written
            std::size_t size = 0;
            std::uint64_t start = 0;  // the store offset of its first byte
        };
        std::vector<Block> blocks_;
        std::size_t used_ = 0;  // bytes of the last block in use
    };

    void reserve(std::size_t rows, void (*prepare)(void*, std::size_t));
    void push(ValueKind kind, std::uint64_t payload, bool fitsNarrow);
    std::uint64_t payloadAt(std::size_t row) const;
    void widen();
    std::uint64_t storeText(QStringView text, bool isNull);
    // Stores `bytes` as an entry of `form` (see the header in Column.cpp).
    std::uint64_t storeBytes(std::string_view bytes, std::uint64_t form);
    char* allocateEntry(std::uint64_t header, std::size_t bytes, std::uint64_t& offset);
    std::uint64_t readHeader(const char*& data) const;
    QString textAt(std::uint64_t offset) const;
    QByteArray bytesAt(std::uint64_t offset) const;

    std::vector<ValueKind> kinds_;
    std::vector<std::uint32_t> narrow_;  // payloads while all fit in 32 bits
    std::vector<std::uint64_t> wide_;    // payloads once one does not
    bool isWide_ = false;
    bool roomIsGuessed_ = false;  // reserveAbout's: the memory is taken as it is filled
    ByteStore store_;
};

}  // namespace keldara::dao

#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/TaskThread.h"
#include "platform/dao/text/DelimitedParser.h"

namespace keldara::dao::text {

// A delimited text file's contents as UTF-8 without a byte-order mark (UTF-16 when the file
// begins with a UTF-16 byte-order mark, UTF-8 when its bytes are valid UTF-8, Windows-1252
// otherwise), read from the file a block at a time so that memory holds a block and never
// the file. Every pass reads the file anew from its start. The first pass takes
// text that is not UTF-16 for UTF-8 while it checks that it is; settleEncoding ends it, and
// when the text was not UTF-8 the first pass has to be made again (as Windows-1252). Throws
// DaoError naming the file when it cannot be opened or read or holds malformed UTF-16.
class TextBlocks {
  public:
    TextBlocks(const QString& path, qint64 blockBytes);
    ~TextBlocks();
    TextBlocks(const TextBlocks&) = delete;
    TextBlocks& operator=(const TextBlocks&) = delete;

    // Appends the next block of text to `text`; false, appending nothing, after the last.
    bool readInto(std::string& text);
    // Ends the first pass: true when the text was not UTF-8. The next pass begins.
    bool settleEncoding();
    // A new pass begins at the start of the text.
    void rewind();
    // The bytes of text read in this pass.
    std::uint64_t textSize() const { return textSize_; }
    // The text up to the end of its first line that holds anything, for choosing the
    // delimiter; the pass begins anew.
    std::string firstLine();
    // Another reader of the same text for a pass that begins `textOffset` bytes into it (and
    // checks that it is UTF-8 where this pass does), so that two parts of the text can be read
    // side by side; none where the text is decoded (its offsets are then not the file's).
    std::unique_ptr<TextBlocks> readerFrom(std::uint64_t textOffset) const;
    // Where the first line beginning at or after `textOffset` begins, when a line feed ends a
    // line within the next 64 KB of UTF-8 text. Whether a record begins there, quotes decide.
    std::optional<std::uint64_t> lineStartFrom(std::uint64_t textOffset) const;

  private:
    enum class Encoding { Utf8, Windows1252, Utf16LE, Utf16BE };
    struct Decoded {
        std::string text;
        bool any = false;  // false after the last block
    };

    Decoded decodeNext();
    void dropAhead();

    [[noreturn]] void throwUnreadable() const;
    void checkUtf8(std::string_view bytes, bool last);
    void appendUtf16(std::string& text, bool last);

    QString path_;
    QFile file_;
    Encoding encoding_ = Encoding::Utf8;
    qint64 textStart_ = 0;  // where passes begin in the file: after any byte-order mark
    qint64 blockBytes_;
    QByteArray raw_;        // the block read from the file
    std::string spare_;     // the memory of a block read before, for the next one
    std::string carried_;   // bytes of a character begun at the end of the last block
    bool checking_ = true;  // the first pass, checking that the text is UTF-8
    bool notUtf8_ = false;
    std::uint64_t textSize_ = 0;
    platform::TaskThread aheadThread_;
    std::future<Decoded> ahead_;  // the next block, read while this one is
};

// The records of one pass of TextBlocks, exactly as RecordReader reads them from the whole
// text (the same fields, lines and errors); only the record at hand and the rest of its
// block are held.
class RecordStream {
  public:
    // The pass begins on line `firstLine` of the file.
    RecordStream(TextBlocks& blocks, char delimiter, const QString& fileName,
                 std::int64_t firstLine = 1);

    bool next();
    // Where the record at hand begins, in bytes of the text from where the pass began.
    std::uint64_t recordOffset() const { return recordOffset_; }
    std::span<const FieldSlice> fields() const { return reader_->fields(); }
    std::string_view bytes(const FieldSlice& slice) const { return reader_->bytes(slice); }
    std::int64_t line() const { return reader_->line(); }

  private:
    void readMore(std::size_t recordStart, std::int64_t recordLine);

    TextBlocks& blocks_;
    char delimiter_;
    const QString& fileName_;
    std::string text_;           // from the record at hand to the end of the last block read
    std::uint64_t dropped_ = 0;  // bytes of the pass's text before text_
    std::uint64_t recordOffset_ = 0;
    std::optional<RecordReader> reader_;
    bool ended_ = false;  // the last block has been read
};

}  // namespace keldara::dao::text

#include "platform/dao/text/TextStream.h"

#include <algorithm>
#include <utility>

#include "platform/dao/DaoError.h"
#include "platform/dao/text/TextEncoding.h"

namespace keldara::dao::text {

namespace {

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Where the character that may run on past the end of `bytes` begins: the last lead byte
// among the last four, else the end.
std::size_t unfinishedCharacter(std::string_view bytes) {
    std::size_t start = bytes.size();
    while (start > 0 && bytes.size() - start < 3 && isContinuation(bytes[start - 1])) --start;
    if (start > 0 && static_cast<unsigned char>(bytes[start - 1]) >= 0xC0) return start - 1;
    return bytes.size();
}

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

}  // namespace

TextBlocks::TextBlocks(const QString& path, qint64 blockBytes)
    : path_(path), file_(path), blockBytes_(blockBytes) {
    if (!file_.open(QIODevice::ReadOnly)) {
        throw DaoError(
            DaoError::BadFile,
            QStringLiteral("The file \"%1\" cannot be opened: %2.").arg(path, file_.errorString()));
    }
    const QByteArray head = file_.peek(3);
    if (file_.error() != QFileDevice::NoError) throwUnreadable();
    if (head.startsWith("\xFF\xFE")) {
        encoding_ = Encoding::Utf16LE;
        textStart_ = 2;
    } else if (head.startsWith("\xFE\xFF")) {
        encoding_ = Encoding::Utf16BE;
        textStart_ = 2;
    } else if (head.startsWith("\xEF\xBB\xBF")) {
        textStart_ = 3;
    }
    checking_ = encoding_ == Encoding::Utf8;
    rewind();
}

void TextBlocks::throwUnreadable() const {
    throw DaoError(
        DaoError::BadFile,
        QStringLiteral("The file \"%1\" cannot be read: %2.").arg(path_, file_.errorString()));
}

void TextBlocks::rewind() {
    dropAhead();
    if (!file_.seek(textStart_)) throwUnreadable();
    carried_.clear();
    textSize_ = 0;
    if (checking_) notUtf8_ = false;  // the check begins anew too
}

bool TextBlocks::settleEncoding() {
    dropAhead();
    const bool redo = checking_ && notUtf8_;
    if (redo) encoding_ = Encoding::Windows1252;
    checking_ = false;
    rewind();
    return redo;
}

TextBlocks::~TextBlocks() {
    dropAhead();
}

// The next block is read and decoded on a second thread while the records of this one are
// read; a new pass drops it. A block's memory is the next but one's, so that the pass does not
// take fresh pages (for the kernel to clear) for every block.
bool TextBlocks::readInto(std::string& text) {
    Decoded block = ahead_.valid() ? ahead_.get() : decodeNext();
    if (!block.any) return false;
    // Room for the next block too, so that a pass's text is not moved and its memory taken
    // afresh, a page fault a page, at every block.
    const std::size_t needed = text.size() + block.text.size();
    if (text.capacity() < needed) text.reserve(needed + static_cast<std::size_t>(blockBytes_));
    text.append(block.text);
    textSize_ += block.text.size();
    spare_ = std::move(block.text);
    ahead_ = aheadThread_.run([this] { return decodeNext(); });
    return true;
}

void TextBlocks::dropAhead() {
    if (!ahead_.valid()) return;
    try {
        ahead_.get();
    } catch (const DaoError&) {  // a block no pass reads any more
    }
}

TextBlocks::Decoded TextBlocks::decodeNext() {
    Decoded block;
    std::string& text = block.text;
    text.swap(spare_);
    qint64 got = 0;
    if (encoding_ == Encoding::Utf8) {
        // A whole block's buffer is already as large: nothing to fill with zeros.
        text.resize(static_cast<std::size_t>(blockBytes_));
        got = file_.read(text.data(), blockBytes_);
        text.resize(static_cast<std::size_t>(std::max<qint64>(got, 0)));
    } else {
        text.clear();
        raw_.resize(blockBytes_);
        got = file_.read(raw_.data(), blockBytes_);
        raw_.truncate(std::max<qint64>(got, 0));
    }
    if (got < 0) throwUnreadable();
    const bool last = file_.atEnd() || got == 0;
    if (got == 0 && carried_.empty()) return block;
    block.any = true;
    switch (encoding_) {
        case Encoding::Utf8:
            if (checking_ && !notUtf8_) checkUtf8(text, last);
            break;
        case Encoding::Windows1252: {
            const QByteArray utf8 = windows1252ToUtf8(raw_.constData(), raw_.size());
            text.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
            break;
        }
        case Encoding::Utf16LE:
        case Encoding::Utf16BE:
            appendUtf16(text, last);
            break;
    }
    return block;
}

// Checks the bytes with the character left unfinished at the end of the last block; the
// character left unfinished at their end is checked with the next.
void TextBlocks::checkUtf8(std::string_view bytes, bool last) {
    std::string_view checked = bytes;
    if (!carried_.empty()) {
        carried_.append(bytes);
        checked = carried_;
    }
    const std::size_t end = last ? checked.size() : unfinishedCharacter(checked);
    const bool valid = isValidUtf8(checked.data(), static_cast<qsizetype>(end));
    carried_ = valid ? std::string(checked.substr(end)) : std::string();
    notUtf8_ = !valid;
}

// Decodes whole characters; a last odd byte or a high surrogate waits for the next block.
void TextBlocks::appendUtf16(std::string& text, bool last) {
    carried_.append(raw_.constData(), static_cast<std::size_t>(raw_.size()));
    std::size_t end = carried_.size();
    if (!last) {
        end -= end % 2;
        if (end >= 2) {
            const auto byte = [&](std::size_t i) {
                return static_cast<unsigned char>(carried_[i]);
            };
            const char16_t unit = encoding_ == Encoding::Utf16BE
                                      ? static_cast<char16_t>(byte(end - 2) << 8 | byte(end - 1))
                                      : static_cast<char16_t>(byte(end - 1) << 8 | byte(end - 2));
            if (isHighSurrogate(unit)) end -= 2;
        }
    }
    const QByteArray utf8 =
        utf16ToUtf8(QByteArrayView(carried_.data(), static_cast<qsizetype>(end)),
                    encoding_ == Encoding::Utf16BE, path_);
    text.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    carried_.erase(0, end);
}

// Read in small blocks: a first line is most often in the file's first kilobytes, and whole
// blocks (the next one read ahead) would read and check megabytes that the first pass reads
// again.
std::string TextBlocks::firstLine() {
    constexpr qint64 kLineBlockBytes = 64 << 10;
    const qint64 blockBytes = std::exchange(blockBytes_, std::min(blockBytes_, kLineBlockBytes));
    std::string text;
    const auto lineEnds = [&] {
        const std::size_t start = text.find_first_not_of("\r\n");
        return start != std::string::npos && text.find_first_of("\r\n", start) != std::string::npos;
    };
    while (!lineEnds() && readInto(text)) {
    }
    rewind();
    blockBytes_ = blockBytes;
    return text;
}

std::unique_ptr<TextBlocks> TextBlocks::readerFrom(std::uint64_t textOffset) const {
    if (encoding_ != Encoding::Utf8) return nullptr;
    auto reader = std::make_unique<TextBlocks>(path_, blockBytes_);
    reader->encoding_ = Encoding::Utf8;
    reader->checking_ = checking_;
    reader->textStart_ = textStart_ + static_cast<qint64>(textOffset);
    reader->rewind();
    return reader;
}

std::optional<std::uint64_t> TextBlocks::lineStartFrom(std::uint64_t textOffset) const {
    if (encoding_ != Encoding::Utf8 || textOffset == 0) return std::nullopt;
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(textStart_ + qint64(textOffset) - 1))
        return std::nullopt;
    const qsizetype lineFeed = file.read(64 * 1024).indexOf('\n');
    if (lineFeed < 0) return std::nullopt;
    return textOffset + static_cast<std::uint64_t>(lineFeed);
}

RecordStream::RecordStream(TextBlocks& blocks, char delimiter, const QString& fileName,
                           std::int64_t firstLine)
    : blocks_(blocks), delimiter_(delimiter), fileName_(fileName) {
    reader_.emplace(std::string_view(text_), delimiter_, fileName_, firstLine);
}

// A record that runs to the end of the text read so far may go on in the next block: it is
// read again once that block is there.
bool RecordStream::next() {
    for (;;) {
        const std::size_t start = reader_->position();
        const std::int64_t line = reader_->nextLine();
        try {
            const bool read = reader_->next();
            recordOffset_ = dropped_ + start;
            if (ended_ || !reader_->reachedEnd()) return read;
        } catch (const DaoError&) {
            if (ended_ || !reader_->reachedEnd()) throw;
        }
        readMore(start, line);
    }
}

void RecordStream::readMore(std::size_t recordStart, std::int64_t recordLine) {
    text_.erase(0, recordStart);
    dropped_ += recordStart;
    if (!blocks_.readInto(text_)) ended_ = true;
    reader_.emplace(std::string_view(text_), delimiter_, fileName_, recordLine);
}

}  // namespace keldara::dao::text

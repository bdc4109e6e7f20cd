#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <string_view>

namespace keldara::dao::text {

// A delimited text file's contents as UTF-8 without a byte-order mark, decoded as
// decodeTextFile does. A file that is not UTF-16 is mapped rather than read and taken for
// UTF-8 while the first pass over it checks that it is (release); a reader hands back the
// pages it has passed, so that a large file never lies in memory whole. When the pass finds
// that the file is not UTF-8, settleEncoding decodes it (as Windows-1252) into memory, as it
// does UTF-16 files from the start. Throws DaoError naming the file when it cannot be opened
// or read.
class FileText {
  public:
    explicit FileText(const QString& path);
    ~FileText();
    FileText(const FileText&) = delete;
    FileText& operator=(const FileText&) = delete;

    std::string_view text() const { return text_; }
    QByteArrayView view() const {
        return QByteArrayView(text_.data(), static_cast<qsizetype>(text_.size()));
    }

    // The text before `position` is not read again until the next pass: its pages may go.
    // In the first pass, the text before `position` is checked to be UTF-8 on the way.
    void release(std::size_t position);
    // Ends the first pass: true when the text was not UTF-8 and has been decoded anew, so
    // that the first pass has to be made again on text().
    bool settleEncoding();
    // A new pass begins at the start of the text.
    void rewind() { released_ = 0; }

  private:
    [[noreturn]] void throwUnreadable() const;
    void readWhole();
    void decodeMapped();
    void checkUtf8(std::size_t position);
    void releaseMapped(std::size_t offset);

    QString path_;
    QFile file_;
    uchar* map_ = nullptr;
    std::size_t mapSize_ = 0;
    QByteArray decoded_;
    std::string_view text_;
    std::size_t textStart_ = 0;  // the byte-order mark's length
    std::size_t released_ = 0;
    bool unchecked_ = false;  // the mapped text is taken for UTF-8 but not checked through
    bool notUtf8_ = false;
    std::size_t checked_ =
        0;  // the text before this offset has been checked   // offset into the mapping, a multiple
            // of the page size  // offset into the mapping, a multiple of the page size
};

}  // namespace keldara::dao::text

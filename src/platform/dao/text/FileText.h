#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <string_view>

namespace keldara::dao::text {

// A delimited text file's contents as UTF-8 without a byte-order mark, decoded as
// decodeTextFile does. A UTF-8 file is mapped rather than read, and a reader hands back the
// pages it has passed (release), so that a large file never lies in memory whole; UTF-16
// and Windows-1252 files are decoded into memory. Throws DaoError naming the file when it
// cannot be opened or read.
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
    void release(std::size_t position);
    // A new pass begins at the start of the text.
    void rewind() { released_ = 0; }

  private:
    [[noreturn]] void throwUnreadable() const;
    void readWhole();
    bool mappedIsUtf8(std::size_t start);
    void releaseMapped(std::size_t offset);

    QString path_;
    QFile file_;
    uchar* map_ = nullptr;
    std::size_t mapSize_ = 0;
    QByteArray decoded_;
    std::string_view text_;
    std::size_t textStart_ = 0;  // the byte-order mark's length
    std::size_t released_ = 0;   // offset into the mapping, a multiple of the page size  // offset
                                 // into the mapping, a multiple of the page size
};

}  // namespace keldara::dao::text

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <string_view>

namespace keldara::dao::text {

// A delimited text file's contents as UTF-8 without a byte-order mark, decoded as
// decodeTextFile does. A file that is not UTF-16 is copied as it is into memory of its own
// (so that another program changing or shortening the file meanwhile cannot touch the
// load) and taken for UTF-8 while the first pass over it checks that it is (release); in
// the last pass a reader hands back the memory of the text it has passed, so that the text
// and the table built from it never lie in memory whole side by side. When the first pass
// finds that the file is not UTF-8, settleEncoding decodes it (as Windows-1252) anew, as
// it does UTF-16 files from the start. Throws DaoError naming the file when it cannot be
// opened or read.
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

    // The text before `position` has been passed. In the first pass it is checked to be
    // UTF-8 on the way; in the last pass its memory is handed back.
    void release(std::size_t position);
    // Ends the first pass: true when the text was not UTF-8 and has been decoded anew, so
    // that the first pass has to be made again on text(). The next pass is the last.
    bool settleEncoding();
    // A new pass begins at the start of the text.
    void rewind() { released_ = 0; }

  private:
    [[noreturn]] void throwUnreadable() const;
    void readWhole();
    void copyFile(std::size_t size);
    void decodeCopy();
    void checkUtf8(std::size_t position);
    void releaseCopy(std::size_t offset);

    QString path_;
    QFile file_;
    char* copy_ = nullptr;  // the file's bytes in memory of their own
    std::size_t mapSize_ = 0;
    std::size_t copySize_ = 0;  // the bytes read into it
    QByteArray decoded_;
    std::string_view text_;
    std::size_t textStart_ = 0;  // the byte-order mark's length
    std::size_t released_ = 0;   // the copy before this offset has been handed back
    std::size_t checked_ = 0;    // the text before this offset has been checked
    bool unchecked_ = false;     // the copied text is taken for UTF-8 but not checked through
    bool notUtf8_ = false;
    bool lastPass_ = false;
};

}  // namespace keldara::dao::text

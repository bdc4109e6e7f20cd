#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <memory>

namespace keldara::dao::dbase {

// The memo file beside a table: FoxPro (.fpt, big-endian block headers with a type and a
// length) or dBase (.dbt: dBase III memos end at 0x1A, dBase IV memos carry their length).
class MemoFile {
  public:
    enum class Format { FoxPro, DBaseIII, DBaseIV };

    // Opens the memo file; its name's extension chooses the format (.fpt FoxPro, .dbt dBase,
    // III or IV after the table's signature byte). Throws DaoError when it cannot be read.
    static std::unique_ptr<MemoFile> open(const QString& path, std::uint8_t tableSignature);

    // A memo's bytes inside the memo file, valid while the MemoFile lives.
    struct Memo {
        const char* data = nullptr;
        qsizetype size = 0;
        bool text = true;  // FoxPro marks pictures and OLE objects as binary blocks
    };

    // The memo that starts at `block` (never 0: no memo). Throws DaoError naming the file
    // when the block or its length lies outside the file.
    Memo read(std::uint32_t block) const;

    const QString& path() const { return path_; }

  private:
    MemoFile(const QString& path, Format format) : path_(path), format_(format) {}
    void load();
    Memo readFoxPro(std::uint64_t offset) const;
    Memo readDBase(std::uint64_t offset) const;
    [[noreturn]] void fail(const QString& reason) const;

    QString path_;
    Format format_;
    QFile file_;
    QByteArray contents_;                   // the whole file when it is not mapped
    const unsigned char* bytes_ = nullptr;  // the file's bytes (contents_ or a mapping)
    std::uint64_t size_ = 0;
    std::uint32_t blockSize_ = 512;
};

}  // namespace keldara::dao::dbase

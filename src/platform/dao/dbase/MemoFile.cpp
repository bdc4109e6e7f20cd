#include "platform/dao/dbase/MemoFile.h"

#include <QFileInfo>
#include <cstring>

#include "platform/dao/DaoError.h"
#include "platform/dao/dbase/Bytes.h"

namespace keldara::dao::dbase {

namespace {

// Larger memo files are mapped rather than read into memory.
constexpr qint64 kLargestFileRead = qint64(256) << 20;
constexpr std::uint64_t kMemoFileHeaderSize = 512;
constexpr unsigned char kDBaseIVBlockMark[4] = {0xFF, 0xFF, 0x08, 0x00};

}  // namespace

std::unique_ptr<MemoFile> MemoFile::open(const QString& path, std::uint8_t tableSignature) {
    Format format = Format::FoxPro;
    if (path.endsWith(QLatin1String(".dbt"), Qt::CaseInsensitive)) {
        format = tableSignature == 0x83 ? Format::DBaseIII : Format::DBaseIV;
    }
    std::unique_ptr<MemoFile> memo(new MemoFile(path, format));
    memo->load();
    return memo;
}

void MemoFile::load() {
    file_.setFileName(path_);
    if (!file_.open(QIODevice::ReadOnly)) {
        throw DaoError(DaoError::BadFile,
                       QStringLiteral("The memo file \"%1\" cannot be opened: %2.")
                           .arg(path_, file_.errorString()));
    }
    const qint64 size = file_.size();
    if (size > kLargestFileRead) bytes_ = file_.map(0, size);
    if (!bytes_) {
        contents_ = file_.readAll();
        if (contents_.size() != size) fail(QStringLiteral("it could not be read whole"));
        bytes_ = reinterpret_cast<const unsigned char*>(contents_.constData());
    }
    size_ = static_cast<std::uint64_t>(size);
    if (format_ == Format::FoxPro) {
        if (size_ < kMemoFileHeaderSize) fail(QStringLiteral("its header is incomplete"));
        blockSize_ = readBigEndian16(bytes_ + 6);
    } else if (format_ == Format::DBaseIV && size_ >= 22) {
        const std::uint32_t declared = readLittleEndian16(bytes_ + 20);
        if (declared != 0) blockSize_ = declared;
    }
}

MemoFile::Memo MemoFile::read(std::uint32_t block) const {
    if (blockSize_ == 0) fail(QStringLiteral("its header gives a block size of 0"));
    const std::uint64_t offset = std::uint64_t(block) * blockSize_;
    if (format_ == Format::FoxPro && offset < kMemoFileHeaderSize) {
        fail(QStringLiteral("memo block %1 lies inside the file header").arg(block));
    }
    if (offset >= size_) {
        fail(QStringLiteral("memo block %1 lies beyond the end of the file").arg(block));
    }
    return format_ == Format::FoxPro ? readFoxPro(offset) : readDBase(offset);
}

MemoFile::Memo MemoFile::readFoxPro(std::uint64_t offset) const {
    if (size_ - offset < 8) fail(QStringLiteral("the memo at byte %1 is cut off").arg(offset));
    const std::uint32_t type = readBigEndian32(bytes_ + offset);
    const std::uint64_t length = readBigEndian32(bytes_ + offset + 4);
    if (length > size_ - offset - 8) {
        fail(QStringLiteral("the memo at byte %1 claims %2 bytes, more than the file holds")
                 .arg(offset)
                 .arg(length));
    }
    return {reinterpret_cast<const char*>(bytes_ + offset + 8), static_cast<qsizetype>(length),
            type == 1};
}

MemoFile::Memo MemoFile::readDBase(std::uint64_t offset) const {
    const unsigned char* start = bytes_ + offset;
    const std::uint64_t available = size_ - offset;
    if (format_ == Format::DBaseIV && available >= 8 &&
        std::memcmp(start, kDBaseIVBlockMark, sizeof kDBaseIVBlockMark) == 0) {
        // The stored length counts the eight bytes of the block header.
        const std::uint64_t length = readLittleEndian32(start + 4);
        if (length < 8 || length > available) {
            fail(QStringLiteral("the memo at byte %1 claims %2 bytes, more than the file holds")
                     .arg(offset)
                     .arg(length));
        }
        return {reinterpret_cast<const char*>(start + 8), static_cast<qsizetype>(length - 8), true};
    }
    // dBase III memos (and dBase IV ones written without a block header) end at 0x1A.
    const void* end = std::memchr(start, 0x1A, available);
    const std::uint64_t length =
        end ? std::uint64_t(static_cast<const unsigned char*>(end) - start) : available;
    return {reinterpret_cast<const char*>(start), static_cast<qsizetype>(length), true};
}

void MemoFile::fail(const QString& reason) const {
    throw DaoError(DaoError::BadFile,
                   QStringLiteral("The memo file \"%1\" is damaged: %2.").arg(path_, reason));
}

}  // namespace keldara::dao::dbase

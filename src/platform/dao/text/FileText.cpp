#include "platform/dao/text/FileText.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "platform/dao/DaoError.h"
#include "platform/dao/text/TextEncoding.h"

namespace keldara::dao::text {

namespace {

// Pages are handed back in steps of this many bytes, to keep the system calls few.
constexpr std::size_t kReleaseStep = std::size_t{4} << 20;

bool startsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

std::size_t pageSize() {
    static const auto size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

}  // namespace

FileText::FileText(const QString& path) : path_(path), file_(path) {
    if (!file_.open(QIODevice::ReadOnly)) {
        throw DaoError(
            DaoError::BadFile,
            QStringLiteral("The file \"%1\" cannot be opened: %2.").arg(path, file_.errorString()));
    }
    const qint64 size = file_.size();
    if (size > 0) map_ = file_.map(0, size);
    if (map_ == nullptr) {
        readWhole();
        return;
    }
    mapSize_ = static_cast<std::size_t>(size);
    const std::string_view raw(reinterpret_cast<const char*>(map_), mapSize_);
    if (startsWith(raw, "\xFF\xFE") || startsWith(raw, "\xFE\xFF")) {
        decodeMapped();
        return;
    }
    textStart_ = startsWith(raw, "\xEF\xBB\xBF") ? 3 : 0;
    text_ = raw.substr(textStart_);
    unchecked_ = true;
}

void FileText::decodeMapped() {
    decoded_ = decodeTextFile(QByteArray::fromRawData(reinterpret_cast<const char*>(map_),
                                                      static_cast<qsizetype>(mapSize_)),
                              path_);
    decoded_.detach();  // its own copy, should it still be the mapped bytes
    file_.unmap(map_);
    map_ = nullptr;
    text_ = std::string_view(decoded_.constData(), static_cast<std::size_t>(decoded_.size()));
    unchecked_ = false;
}

FileText::~FileText() {
    if (map_ != nullptr) file_.unmap(map_);
}

void FileText::readWhole() {
    const QByteArray raw = file_.readAll();
    if (file_.error() != QFileDevice::NoError) throwUnreadable();
    decoded_ = decodeTextFile(raw, path_);
    text_ = std::string_view(decoded_.constData(), static_cast<std::size_t>(decoded_.size()));
}

void FileText::throwUnreadable() const {
    throw DaoError(
        DaoError::BadFile,
        QStringLiteral("The file \"%1\" cannot be read: %2.").arg(path_, file_.errorString()));
}

// Checks the text from where the last check ended up to `position`, or a little less: up to
// its last ASCII byte, which never lies inside a UTF-8 sequence.
void FileText::checkUtf8(std::size_t position) {
    std::size_t end = std::min(position, text_.size());
    while (end > checked_ && end < text_.size() &&
           static_cast<unsigned char>(text_[end - 1]) >= 0x80)
        --end;
    if (end <= checked_) return;
    if (!isValidUtf8(text_.data() + checked_, static_cast<qsizetype>(end - checked_))) {
        notUtf8_ = true;
        unchecked_ = false;
    }
    checked_ = end;
}

bool FileText::settleEncoding() {
    if (unchecked_) checkUtf8(text_.size());
    unchecked_ = false;
    rewind();
    if (!notUtf8_) return false;
    decodeMapped();
    return true;
}

void FileText::release(std::size_t position) {
    if (unchecked_) {
        if (position < checked_ + kReleaseStep) return;
        checkUtf8(position);
        position = checked_;
    }
    releaseMapped(textStart_ + position);
}

void FileText::releaseMapped(std::size_t offset) {
    if (map_ == nullptr) return;
    const std::size_t upTo = std::min(offset, mapSize_) / pageSize() * pageSize();
    if (upTo < released_ + kReleaseStep) return;
    madvise(map_ + released_, upTo - released_, MADV_DONTNEED);
    released_ = upTo;
    // The pages of the next step are mapped in one go rather than a fault at a time.
    const std::size_t ahead = std::min(kReleaseStep, mapSize_ - upTo);
    if (ahead > 0) madvise(map_ + upTo, ahead, MADV_POPULATE_READ);
}

}  // namespace keldara::dao::text

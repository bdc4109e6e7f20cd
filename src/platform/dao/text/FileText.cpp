#include "platform/dao/text/FileText.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "platform/dao/DaoError.h"
#include "platform/dao/Memory.h"
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
    if (size > 0) copyFile(static_cast<std::size_t>(size));
    if (copy_ == nullptr) {
        readWhole();
        return;
    }
    const std::string_view raw(copy_, copySize_);
    if (startsWith(raw, "\xFF\xFE") || startsWith(raw, "\xFE\xFF")) {
        decodeCopy();
        return;
    }
    textStart_ = startsWith(raw, "\xEF\xBB\xBF") ? 3 : 0;
    text_ = raw.substr(textStart_);
    unchecked_ = true;
}

// Reads the file into anonymous memory, whose pages can be handed back one by one once
// passed. A file that shrinks meanwhile gives the bytes it still had.
void FileText::copyFile(std::size_t size) {
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return;
    // Without huge pages, read() would take a page fault for every 4 KB of the file.
    prepareForFilling(memory, size);
    copy_ = static_cast<char*>(memory);
    mapSize_ = size;
    std::size_t done = 0;
    while (done < size) {
        const qint64 got = file_.read(copy_ + done, static_cast<qint64>(size - done));
        if (got < 0) throwUnreadable();
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    copySize_ = done;
}

void FileText::decodeCopy() {
    decoded_ = decodeTextFile(QByteArray(copy_, static_cast<qsizetype>(copySize_)), path_);
    munmap(copy_, mapSize_);
    copy_ = nullptr;
    text_ = std::string_view(decoded_.constData(), static_cast<std::size_t>(decoded_.size()));
    unchecked_ = false;
}

FileText::~FileText() {
    if (copy_ != nullptr) munmap(copy_, mapSize_);
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
    lastPass_ = true;
    rewind();
    if (!notUtf8_) return false;
    decodeCopy();
    return true;
}

void FileText::release(std::size_t position) {
    if (unchecked_) {
        if (position < checked_ + kReleaseStep) return;
        checkUtf8(position);
    }
    if (lastPass_) releaseCopy(textStart_ + position);
}

void FileText::releaseCopy(std::size_t offset) {
    if (copy_ == nullptr) return;
    const std::size_t upTo = std::min(offset, copySize_) / pageSize() * pageSize();
    if (upTo < released_ + kReleaseStep) return;
    madvise(copy_ + released_, upTo - released_, MADV_DONTNEED);
    released_ = upTo;
}

}  // namespace keldara::dao::text

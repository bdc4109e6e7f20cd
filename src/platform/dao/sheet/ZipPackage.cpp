#include "platform/dao/sheet/ZipPackage.h"

#include <zip.h>

#include <QFile>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dao/sheet/SheetError.h"

namespace keldara::dao::sheet {

namespace {

// A part may inflate to this size whatever its compressed size, and beyond it to this many
// times its compressed size: real workbook XML is far below both; zip bombs are far above.
constexpr unsigned long long kAlwaysAllowedSize = 256ull << 20;
constexpr unsigned long long kLargestRatio = 250;
constexpr std::size_t kPieceSize = 256 * 1024;
constexpr std::size_t kPiecesAhead = 4;

// A part name as entries are looked up: "/" for "\", without a leading "/", in lower case.
QString packageKey(QString part) {
    part.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (part.startsWith(QLatin1Char('/'))) part.remove(0, 1);
    return part.toLower();
}

QString zipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

struct FileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

}  // namespace

bool ZipPackage::hasSignature(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == QByteArray("PK\x03\x04", 4);
}

// The parts are found through the central directory, which libzip checks when it opens the
// package, and a part read to its end is checked against its CRC. ZIP_CHECKCONS is not asked
// for: it also compares every local header with the central directory, and so refuses
// packages that other readers open, such as those whose local headers carry the sizes along
// with the data-descriptor flag.
ZipPackage::ZipPackage(const QString& path) {
    int error = 0;
    archive_ = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive_) {
        throw FormatError(QStringLiteral("it is no ZIP package (%1)").arg(zipErrorText(error)));
    }
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    entries_.reserve(static_cast<qsizetype>(std::min<zip_int64_t>(count, 1 << 20)));
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), 0);
        if (!name) continue;
        const QString key = packageKey(QString::fromUtf8(name));
        if (!entries_.contains(key)) entries_.insert(key, i);  // the first one counts
    }
}

ZipPackage::~ZipPackage() {
    zip_discard(archive_);
}

std::optional<long long> ZipPackage::indexOf(const QString& part) const {
    const auto found = entries_.constFind(packageKey(part));
    if (found == entries_.constEnd()) return std::nullopt;
    return *found;
}

bool ZipPackage::has(const QString& part) const {
    return indexOf(part).has_value();
}

void ZipPackage::readPart(const QString& part, const Consumer& consume) const {
    const auto index = indexOf(part);
    if (!index) throw FormatError(QStringLiteral("the package has no part %1").arg(part));
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_, *index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_COMP_SIZE)) {
        throw FormatError(QStringLiteral("the part %1 of the package is damaged").arg(part));
    }
    const unsigned long long limit = std::max(
        kAlwaysAllowedSize, static_cast<unsigned long long>(stat.comp_size) * kLargestRatio);
    std::unique_ptr<zip_file_t, FileCloser> file(zip_fopen_index(archive_, *index, 0));
    if (!file) {
        const QString reason = QString::fromUtf8(zip_strerror(archive_));
        if (zip_error_code_zip(zip_get_error(archive_)) == ZIP_ER_ENCRNOTSUPP ||
            zip_error_code_zip(zip_get_error(archive_)) == ZIP_ER_NOPASSWD) {
            throw EncryptedWorkbook();
        }
        throw FormatError(QStringLiteral("the part %1 cannot be read (%2)").arg(part, reason));
    }
    unsigned long long total = 0;
    const auto inflate = [&](std::vector<char>& piece) {
        const zip_int64_t got = zip_fread(file.get(), piece.data(), piece.size());
        if (got < 0) {
            throw FormatError(QStringLiteral("the part %1 is damaged (%2)")
                                  .arg(part, QString::fromUtf8(zip_file_strerror(file.get()))));
        }
        total += static_cast<unsigned long long>(got);
        if (total > limit) {
            throw FormatError(QStringLiteral("the part %1 inflates to more than %2 times its "
                                             "compressed size (a zip bomb?)")
                                  .arg(part, QString::number(kLargestRatio)));
        }
        return static_cast<std::size_t>(got);
    };
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size <= kPieceSize) {
        std::vector<char> piece(kPieceSize);
        for (std::size_t got; (got = inflate(piece)) > 0;) {
            if (!consume(piece.data(), got)) return;
        }
        return;
    }
    readAhead(inflate, consume);
}

// A second thread inflates the next pieces while the consumer takes the last one: parsing and
// inflating (with the CRC) overlap on two cores.
void ZipPackage::readAhead(const std::function<std::size_t(std::vector<char>&)>& inflate,
                           const Consumer& consume) {
    struct Piece {
        std::vector<char> bytes;
        std::size_t size = 0;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Piece> full;
    std::vector<std::vector<char>> free(kPiecesAhead, std::vector<char>(kPieceSize));
    bool ended = false;
    bool cancelled = false;
    std::exception_ptr failure;
    std::thread inflater([&] {
        try {
            for (;;) {
                std::vector<char> bytes;
                {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] { return cancelled || !free.empty(); });
                    if (cancelled) break;
                    bytes = std::move(free.back());
                    free.pop_back();
                }
                const std::size_t got = inflate(bytes);
                const std::lock_guard lock(mutex);
                if (got == 0) break;
                full.push_back({std::move(bytes), got});
                changed.notify_all();
            }
        } catch (...) {
            const std::lock_guard lock(mutex);
            failure = std::current_exception();
        }
        const std::lock_guard lock(mutex);
        ended = true;
        changed.notify_all();
    });
    const auto finish = [&] {
        {
            const std::lock_guard lock(mutex);
            cancelled = true;
        }
        changed.notify_all();
        inflater.join();
    };
    try {
        for (;;) {
            Piece piece;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return ended || !full.empty(); });
                if (full.empty()) break;
                piece = std::move(full.front());
                full.pop_front();
            }
            const bool more = consume(piece.bytes.data(), piece.size);
            {
                const std::lock_guard lock(mutex);
                free.push_back(std::move(piece.bytes));
            }
            changed.notify_all();
            if (!more) {
                finish();
                return;  // what went wrong further on was not asked for
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace keldara::dao::sheet

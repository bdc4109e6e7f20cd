#include "platform/dao/sheet/ZipPackage.h"

#include <zip.h>

#include <QFile>
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/dao/sheet/SheetError.h"

namespace keldara::dao::sheet {

namespace {

// A part may inflate to this size whatever its compressed size, and beyond it to this many
// times its compressed size: real workbook XML is far below both; zip bombs are far above.
constexpr unsigned long long kAlwaysAllowedSize = 256ull << 20;
constexpr unsigned long long kLargestRatio = 250;
constexpr std::size_t kPieceSize = 256 * 1024;

QString packageName(const QString& part) {
    return part.startsWith(QLatin1Char('/')) ? part.mid(1) : part;
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

ZipPackage::ZipPackage(const QString& path) {
    int error = 0;
    archive_ = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive_) {
        throw FormatError(QStringLiteral("it is no ZIP package (%1)").arg(zipErrorText(error)));
    }
}

ZipPackage::~ZipPackage() {
    zip_discard(archive_);
}

std::optional<long long> ZipPackage::indexOf(const QString& part) const {
    const long long index =
        zip_name_locate(archive_, packageName(part).toUtf8().constData(), ZIP_FL_NOCASE);
    if (index < 0) return std::nullopt;
    return index;
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
    std::vector<char> piece(kPieceSize);
    unsigned long long total = 0;
    for (;;) {
        const zip_int64_t got = zip_fread(file.get(), piece.data(), piece.size());
        if (got < 0) {
            throw FormatError(QStringLiteral("the part %1 is damaged (%2)")
                                  .arg(part, QString::fromUtf8(zip_file_strerror(file.get()))));
        }
        if (got == 0) return;
        total += static_cast<unsigned long long>(got);
        if (total > limit) {
            throw FormatError(QStringLiteral("the part %1 inflates to more than %2 times its "
                                             "compressed size (a zip bomb?)")
                                  .arg(part)
                                  .arg(kLargestRatio));
        }
        if (!consume(piece.data(), static_cast<std::size_t>(got))) return;
    }
}

}  // namespace keldara::dao::sheet

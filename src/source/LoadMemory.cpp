#include "source/LoadMemory.h"

#include <zip.h>

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <cmath>

#include "source/SourceFiles.h"

namespace keldara::source {

namespace {

// Unpacked size of every part of a ZIP package: the cells' XML shrinks to about a third
// once loaded, so the whole package is a safe bound for any one of its sheets.
qint64 unpackedZipBytes(const QString& path) {
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive) return 0;
    qint64 total = 0;
    const zip_int64_t entries = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < entries; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, i, 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE))
            total += static_cast<qint64>(stat.size);
    }
    zip_discard(archive);
    return total;
}

// A loaded cell costs a kind byte and a payload of 4 or 8 bytes beside its text.
constexpr qint64 kCellBytes = 9;

// Text: the texts (the bytes the file gives them, with a byte or two of length each) and a
// cell per field, the fields counted from the separators in the first 64 KB (not those within
// a quoted field); half the file again for what the load holds at its peak beside them (the
// file itself is read a block at a time).
qint64 textLoadBytes(const QString& path, qint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    const QByteArray sample = file.read(64 * 1024);
    if (sample.isEmpty()) return 0;
    qint64 separators = 0;
    bool quoted = false;
    for (const char c : sample) {
        if (c == '"') quoted = !quoted;
        separators += !quoted && (c == ',' || c == ';' || c == '\t' || c == '\n');
    }
    return size + size / 2 + kCellBytes * separators * size / sample.size();
}

// dBase: the header gives the records, the fields and the bytes of a record.
qint64 dbaseLoadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    const QByteArray header = file.read(12);
    if (header.size() < 12) return 0;
    const auto byte = [&](int at) { return qint64(static_cast<unsigned char>(header[at])); };
    const qint64 records = byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24;
    const qint64 fields = std::max<qint64>(((byte(8) | byte(9) << 8) - 33) / 32, 1);
    const qint64 recordBytes = byte(10) | byte(11) << 8;
    return records * (fields * kCellBytes + recordBytes);
}

}  // namespace

qint64 EstimatedLoadBytes(const QString& path) {
    const QString kind = SourceFileKind(path);
    if (kind == QLatin1String("xlsx") || kind == QLatin1String("xlsm") ||
        kind == QLatin1String("ods")) {
        return unpackedZipBytes(path) / 2;
    }
    const QFileInfo file(path);
    if (!file.isFile()) return 0;
    if (kind == QLatin1String("csv") || kind == QLatin1String("txt"))
        return textLoadBytes(path, file.size());
    if (kind == QLatin1String("dbf")) return dbaseLoadBytes(path);
    // .xls: the workbook is held whole beside the sheet's table, whose cells take up to 1.5
    // times their records (6 bytes a number in a row of numbers). Access: the file bounds the
    // table, whose text is mostly one byte a character where the file keeps two.
    const double factor = kind == QLatin1String("xls") ? 2.5 : 1.0;
    return static_cast<qint64>(std::ceil(file.size() * factor));
}

QString LargeTableQuestion(const QString& table, qint64 needed, qint64 available) {
    const QLocale locale;
    const auto size = [&](qint64 bytes) {
        return locale.formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
    };
    return QStringLiteral(
               "Loading the table \"%1\" needs about %2 of memory, but only %3 is available: "
               "the system may end Keldara while it loads.\n\n"
               "keldara-cli copies the table to the server without loading it whole "
               "(see \"keldara-cli run --help\").\n\n"
               "Load it anyway?")
        .arg(table, size(needed), size(available));
}

}  // namespace keldara::source

#include "platform/dao/excel/CompoundFile.h"

#include <cstring>

#include "platform/dao/sheet/SheetError.h"

namespace keldara::dao::xls {

namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::size_t kHeaderDifatEntries = 109;
constexpr std::size_t kDirectoryEntrySize = 128;
constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

std::uint16_t le16(const char* p) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) |
                                      static_cast<unsigned char>(p[1]) << 8);
}

std::uint32_t le32(const char* p) {
    return static_cast<std::uint32_t>(le16(p)) | static_cast<std::uint32_t>(le16(p + 2)) << 16;
}

std::uint64_t le64(const char* p) {
    return static_cast<std::uint64_t>(le32(p)) | static_cast<std::uint64_t>(le32(p + 4)) << 32;
}

QString hex(std::uint32_t n) {
    return QStringLiteral("0x%1").arg(n, 0, 16);
}

}  // namespace

bool CompoundFile::hasSignature(const QByteArray& file) {
    return file.size() >= 8 && std::memcmp(file.constData(), kSignature, 8) == 0;
}

CompoundFile::CompoundFile(QByteArray file) : file_(std::move(file)) {
    readHeader();
    readFat();
    readDirectory();
    readMiniStream();
}

void CompoundFile::readHeader() {
    if (!hasSignature(file_) || file_.size() < 512) {
        throw sheet::FormatError(QStringLiteral("it is not a compound file"));
    }
    const char* h = file_.constData();
    const std::uint16_t major = le16(h + 0x1A);
    sectorShift_ = le16(h + 0x1E);
    miniSectorShift_ = le16(h + 0x20);
    if ((major != 3 && major != 4) || (sectorShift_ != 9 && sectorShift_ != 12) ||
        miniSectorShift_ != 6) {
        throw sheet::FormatError(QStringLiteral("its compound-file header is damaged"));
    }
    largeSizes_ = major == 4;
    fatSectorCount_ = le32(h + 0x2C);
    firstDirectorySector_ = le32(h + 0x30);
    miniStreamCutoff_ = le32(h + 0x38);
    firstMiniFatSector_ = le32(h + 0x3C);
    firstDifatSector_ = le32(h + 0x44);
    difatSectorCount_ = le32(h + 0x48);
    if (miniStreamCutoff_ != 4096) {
        throw sheet::FormatError(QStringLiteral("its compound-file header is damaged"));
    }
}

// The bytes of a sector, and how many of them the file holds (the last sector of a file may
// be cut short); nullptr when the sector lies wholly outside the file.
const char* CompoundFile::sectorData(std::uint32_t sector, std::size_t& available) const {
    const std::uint64_t sectorSize = std::uint64_t{1} << sectorShift_;
    const std::uint64_t offset = (static_cast<std::uint64_t>(sector) + 1) * sectorSize;
    const auto fileSize = static_cast<std::uint64_t>(file_.size());
    if (sector > 0xFFFFFFFA || offset >= fileSize) return nullptr;
    available = static_cast<std::size_t>(std::min(sectorSize, fileSize - offset));
    return file_.constData() + offset;
}

void CompoundFile::readFat() {
    const std::size_t sectorSize = std::size_t{1} << sectorShift_;
    const std::size_t sectorsInFile = static_cast<std::size_t>(file_.size()) / sectorSize + 1;
    if (fatSectorCount_ > sectorsInFile || difatSectorCount_ > sectorsInFile) {
        throw sheet::FormatError(QStringLiteral("its sector allocation table is damaged"));
    }
    std::vector<std::uint32_t> fatSectors;
    fatSectors.reserve(fatSectorCount_);
    const char* h = file_.constData();
    for (std::size_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < fatSectorCount_; ++i) {
        fatSectors.push_back(le32(h + 0x4C + 4 * i));
    }
    // Further FAT sector numbers come from the DIFAT sector chain.
    std::uint32_t difat = firstDifatSector_;
    const std::size_t perDifatSector = sectorSize / 4 - 1;
    for (std::uint32_t n = 0; fatSectors.size() < fatSectorCount_; ++n) {
        std::size_t available = 0;
        const char* data = n < difatSectorCount_ ? sectorData(difat, available) : nullptr;
        if (!data || available < sectorSize) {
            throw sheet::FormatError(QStringLiteral("its sector allocation table is incomplete"));
        }
        for (std::size_t i = 0; i < perDifatSector && fatSectors.size() < fatSectorCount_; ++i) {
            fatSectors.push_back(le32(data + 4 * i));
        }
        difat = le32(data + 4 * perDifatSector);
    }
    fat_.reserve(fatSectors.size() * (sectorSize / 4));
    for (const std::uint32_t sector : fatSectors) {
        std::size_t available = 0;
        const char* data = sectorData(sector, available);
        if (!data || available < sectorSize) {
            throw sheet::FormatError(
                QStringLiteral("its sector allocation table points outside the "
                               "file (sector %1)")
                    .arg(hex(sector)));
        }
        for (std::size_t i = 0; i < sectorSize / 4; ++i) fat_.push_back(le32(data + 4 * i));
    }
}

// Follows a chain of sector (or mini-sector) numbers through its allocation table. With
// neededLinks 0 the chain is followed to its end mark, otherwise only that far. Loops and
// numbers outside the table are errors.
std::vector<std::uint32_t> CompoundFile::chain(const std::vector<std::uint32_t>& table,
                                               std::uint32_t start, std::size_t neededLinks,
                                               const char* what) const {
    std::vector<std::uint32_t> links;
    if (neededLinks > table.size()) {
        throw sheet::FormatError(
            QStringLiteral("the %1 is longer than the file").arg(QLatin1String(what)));
    }
    std::vector<bool> seen(table.size(), false);
    std::uint32_t current = start;
    while (neededLinks == 0 || links.size() < neededLinks) {
        if (current == kEndOfChain && neededLinks == 0) break;
        if (current >= table.size()) {
            throw sheet::FormatError(
                current == kEndOfChain || current == kFreeSector
                    ? QStringLiteral("the %1 ends early").arg(QLatin1String(what))
                    : QStringLiteral("the %1 refers to a sector outside the file (%2)")
                          .arg(QLatin1String(what), hex(current)));
        }
        if (seen[current]) {
            throw sheet::FormatError(
                QStringLiteral("the sector chain of the %1 loops").arg(QLatin1String(what)));
        }
        seen[current] = true;
        links.push_back(current);
        current = table[current];
    }
    return links;
}

QByteArray CompoundFile::readFatStream(std::uint32_t start, std::uint64_t size,
                                       const char* what) const {
    const std::uint64_t sectorSize = std::uint64_t{1} << sectorShift_;
    if (size > static_cast<std::uint64_t>(file_.size())) {
        throw sheet::FormatError(
            QStringLiteral("the %1 is longer than the file").arg(QLatin1String(what)));
    }
    const auto needed = static_cast<std::size_t>((size + sectorSize - 1) / sectorSize);
    if (needed == 0) return {};
    const std::vector<std::uint32_t> sectors = chain(fat_, start, needed, what);
    if (const char* whole = inOnePiece(sectors, size)) {
        return QByteArray::fromRawData(whole, static_cast<qsizetype>(size));
    }
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(size));
    for (const std::uint32_t sector : sectors) {
        std::size_t available = 0;
        const char* data = sectorData(sector, available);
        const std::uint64_t wanted = std::min<std::uint64_t>(sectorSize, size - bytes.size());
        if (!data || available < wanted) {
            throw sheet::FormatError(
                QStringLiteral("the %1 is cut short").arg(QLatin1String(what)));
        }
        bytes.append(data, static_cast<qsizetype>(wanted));
    }
    return bytes;
}

// The stream's bytes when its sectors follow each other in the file; null otherwise.
const char* CompoundFile::inOnePiece(const std::vector<std::uint32_t>& sectors,
                                     std::uint64_t size) const {
    for (std::size_t i = 1; i < sectors.size(); ++i) {
        if (sectors[i] != sectors[0] + i) return nullptr;
    }
    const std::uint64_t offset = (static_cast<std::uint64_t>(sectors.front()) + 1) << sectorShift_;
    if (offset + size > static_cast<std::uint64_t>(file_.size())) return nullptr;
    return file_.constData() + offset;
}

void CompoundFile::readDirectory() {
    std::vector<std::uint32_t> sectors = chain(fat_, firstDirectorySector_, 0, "directory");
    const std::size_t sectorSize = std::size_t{1} << sectorShift_;
    QByteArray directory = readFatStream(firstDirectorySector_,
                                         std::uint64_t{sectors.size()} * sectorSize, "directory");
    const std::size_t count = static_cast<std::size_t>(directory.size()) / kDirectoryEntrySize;
    entries_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const char* e = directory.constData() + i * kDirectoryEntrySize;
        Entry entry;
        const std::size_t nameBytes = std::min<std::size_t>(le16(e + 0x40), 64);
        const std::size_t nameChars = nameBytes >= 2 ? nameBytes / 2 - 1 : 0;
        for (std::size_t c = 0; c < nameChars; ++c) {
            entry.name.append(QChar(static_cast<char16_t>(le16(e + 2 * c))));
        }
        entry.type = static_cast<std::uint8_t>(e[0x42]);
        entry.left = le32(e + 0x44);
        entry.right = le32(e + 0x48);
        entry.child = le32(e + 0x4C);
        entry.start = le32(e + 0x74);
        entry.size = largeSizes_ ? le64(e + 0x78) : le32(e + 0x78);
        entries_.push_back(std::move(entry));
    }
    if (entries_.empty() || entries_[0].type != 5) {
        throw sheet::FormatError(QStringLiteral("its directory has no root entry"));
    }
}

void CompoundFile::readMiniStream() {
    const Entry& root = entries_[0];
    if (root.size > 0) miniStream_ = readFatStream(root.start, root.size, "mini stream");
    if (firstMiniFatSector_ == kEndOfChain || firstMiniFatSector_ == kFreeSector) return;
    const std::vector<std::uint32_t> sectors = chain(fat_, firstMiniFatSector_, 0, "mini FAT");
    const std::size_t sectorSize = std::size_t{1} << sectorShift_;
    const QByteArray table =
        readFatStream(firstMiniFatSector_, std::uint64_t{sectors.size()} * sectorSize, "mini FAT");
    miniFat_.reserve(static_cast<std::size_t>(table.size()) / 4);
    for (qsizetype i = 0; i + 4 <= table.size(); i += 4) {
        miniFat_.push_back(le32(table.constData() + i));
    }
}

QByteArray CompoundFile::readMiniStreamData(std::uint32_t start, std::uint64_t size) const {
    const std::uint64_t miniSize = std::uint64_t{1} << miniSectorShift_;
    const auto needed = static_cast<std::size_t>((size + miniSize - 1) / miniSize);
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(size));
    for (const std::uint32_t sector : chain(miniFat_, start, needed, "small stream")) {
        const std::uint64_t offset = std::uint64_t{sector} * miniSize;
        const std::uint64_t wanted = std::min<std::uint64_t>(miniSize, size - bytes.size());
        if (offset + wanted > static_cast<std::uint64_t>(miniStream_.size())) {
            throw sheet::FormatError(QStringLiteral("a small stream lies outside the mini stream"));
        }
        bytes.append(miniStream_.constData() + offset, static_cast<qsizetype>(wanted));
    }
    return bytes;
}

// Walks the root storage's red-black tree of children, guarding against cycles.
std::optional<std::size_t> CompoundFile::findInTree(const QString& name) const {
    std::vector<bool> seen(entries_.size(), false);
    std::vector<std::uint32_t> pending{entries_[0].child};
    while (!pending.empty()) {
        const std::uint32_t index = pending.back();
        pending.pop_back();
        if (index == kNoStream || index >= entries_.size() || seen[index]) continue;
        seen[index] = true;
        const Entry& entry = entries_[index];
        if (entry.type == 2 && entry.name.compare(name, Qt::CaseInsensitive) == 0) return index;
        pending.push_back(entry.left);
        pending.push_back(entry.right);
    }
    return std::nullopt;
}

std::optional<QByteArray> CompoundFile::stream(const QString& name) const {
    std::optional<std::size_t> index = findInTree(name);
    if (!index) {
        // A damaged tree may not reach the stream; any stream entry of that name will do.
        for (std::size_t i = 1; i < entries_.size() && !index; ++i) {
            if (entries_[i].type == 2 && entries_[i].name.compare(name, Qt::CaseInsensitive) == 0) {
                index = i;
            }
        }
    }
    if (!index) return std::nullopt;
    const Entry& entry = entries_[*index];
    if (entry.size == 0) return QByteArray();
    if (entry.size < miniStreamCutoff_) return readMiniStreamData(entry.start, entry.size);
    return readFatStream(entry.start, entry.size, "workbook stream");
}

}  // namespace keldara::dao::xls

#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace keldara::dao::xls {

// A compound file (OLE2 structured storage) held in memory: its sector tables and directory
// are read and checked on construction, streams on request. Every sector index and chain is
// validated, so a damaged file gives sheet::FormatError, never a loop or a read out of bounds.
class CompoundFile {
  public:
    explicit CompoundFile(QByteArray file);

    static bool hasSignature(const QByteArray& file);

    // The bytes of the stream of that name (compared without regard to case) in the root
    // storage; nothing when there is none. A stream that lies in one piece is not copied: its
    // bytes are then those of the file given to the constructor, which must outlive them.
    std::optional<QByteArray> stream(const QString& name) const;

  private:
    struct Entry {
        QString name;
        std::uint8_t type = 0;
        std::uint32_t left = 0;
        std::uint32_t right = 0;
        std::uint32_t child = 0;
        std::uint32_t start = 0;
        std::uint64_t size = 0;
    };

    void readHeader();
    void readFat();
    void readDirectory();
    void readMiniStream();
    std::vector<std::uint32_t> chain(const std::vector<std::uint32_t>& table, std::uint32_t start,
                                     std::size_t neededLinks, const char* what) const;
    QByteArray readFatStream(std::uint32_t start, std::uint64_t size, const char* what) const;
    QByteArray readMiniStreamData(std::uint32_t start, std::uint64_t size) const;
    const char* inOnePiece(const std::vector<std::uint32_t>& sectors, std::uint64_t size) const;
    const char* sectorData(std::uint32_t sector, std::size_t& available) const;
    std::optional<std::size_t> findInTree(const QString& name) const;

    QByteArray file_;
    unsigned sectorShift_ = 9;
    unsigned miniSectorShift_ = 6;
    std::uint32_t miniStreamCutoff_ = 4096;
    std::uint32_t fatSectorCount_ = 0;
    std::uint32_t firstDirectorySector_ = 0;
    std::uint32_t firstMiniFatSector_ = 0;
    std::uint32_t firstDifatSector_ = 0;
    std::uint32_t difatSectorCount_ = 0;
    bool largeSizes_ = false;  // version 4: stream sizes are 64-bit
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> miniFat_;
    std::vector<Entry> entries_;
    QByteArray miniStream_;
};

}  // namespace keldara::dao::xls

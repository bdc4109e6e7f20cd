#pragma once

#include <QHash>
#include <QString>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

struct zip;

namespace keldara::dao::sheet {

// A ZIP package (an Office Open XML workbook or an OpenDocument file) opened from disk. Parts
// are read as streams, piece by piece, never whole. Damaged packages and parts that inflate
// far beyond their compressed size (zip bombs) give FormatError.
class ZipPackage {
  public:
    // Throws FormatError when the file is no ZIP package.
    explicit ZipPackage(const QString& path);
    ~ZipPackage();
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    static bool hasSignature(const QString& path);

    // Whether the package holds that part (names compared without regard to case, as part
    // names are; a leading "/" is ignored, and "\" in the package's names, which some
    // writers use, is read as "/").
    bool has(const QString& part) const;

    // Hands the inflated bytes of a part to `consume` piece by piece, until the part ends or
    // `consume` returns false. Throws FormatError when the part is missing or damaged.
    using Consumer = std::function<bool(const char* data, std::size_t size)>;
    void readPart(const QString& part, const Consumer& consume) const;

  private:
    std::optional<long long> indexOf(const QString& part) const;
    static void readAhead(const std::function<std::size_t(std::vector<char>&)>& inflate,
                          const Consumer& consume);

    zip* archive_ = nullptr;
    QHash<QString, long long> entries_;  // by part name as packageKey() forms it
};

}  // namespace keldara::dao::sheet

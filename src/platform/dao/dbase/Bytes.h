#pragma once

#include <cstdint>

// Little- and big-endian integers at unaligned positions of a file's bytes.
namespace keldara::dao::dbase {

inline std::uint16_t readLittleEndian16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t readLittleEndian32(const unsigned char* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

inline std::uint64_t readLittleEndian64(const unsigned char* p) {
    return std::uint64_t(readLittleEndian32(p)) | (std::uint64_t(readLittleEndian32(p + 4)) << 32);
}

inline std::uint16_t readBigEndian16(const unsigned char* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

inline std::uint32_t readBigEndian32(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

}  // namespace keldara::dao::dbase

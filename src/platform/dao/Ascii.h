#pragma once

#include <QByteArray>
#include <algorithm>
#include <cstdint>
#include <cstring>

namespace keldara::dao {

// Whether every byte of `data` is below 0x80, looked at eight bytes at a time (the last eight
// overlapping the ones before where the size is not a multiple of eight).
inline bool isAscii(const char* data, qsizetype size) {
    std::uint64_t any = 0;
    const auto word = [&](qsizetype at) {
        std::uint64_t bytes;
        std::memcpy(&bytes, data + at, 8);
        any |= bytes;
    };
    if (size >= 8) {
        for (qsizetype i = 0; i + 8 <= size; i += 8) word(i);
        word(size - 8);
    } else {
        for (qsizetype i = 0; i < size; ++i) any |= static_cast<unsigned char>(data[i]);
    }
    return (any & 0x8080808080808080ULL) == 0;
}

// Appends `size` bytes to `out`, growing it as append does, without append's look at whether
// `data` lies inside `out` (it must not), which costs more than copying a short text.
inline void appendCopy(QByteArray& out, const char* data, qsizetype size) {
    const qsizetype start = out.size();
    if (out.capacity() - start < size) out.reserve(std::max(2 * out.capacity(), start + size));
    out.resize(start + size);
    std::memcpy(out.data() + start, data, static_cast<std::size_t>(size));
}

}  // namespace keldara::dao

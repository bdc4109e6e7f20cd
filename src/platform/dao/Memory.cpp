#include "platform/dao/Memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <utility>

namespace keldara::dao {

namespace {

// The whole pages inside `bytes` from `data`; empty when there are none.
std::pair<void*, std::size_t> wholePages(void* data, std::size_t bytes) {
    constexpr std::uintptr_t kPage = 4096;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kPage - 1);
    if (last <= first) return {nullptr, 0};
    return {reinterpret_cast<void*>(first), last - first};
}

// Below these sizes the calls cost more than they save: a range of a few pages takes fewer
// page faults than two system calls' time, and one shorter than a huge page cannot hold one.
constexpr std::size_t kLeastPopulated = 64 << 10;
constexpr std::size_t kLeastHuge = 2 << 20;

}  // namespace

void prepareForFilling(void* data, std::size_t bytes) {
    const auto [pages, size] = wholePages(data, bytes);
    if (size >= kLeastHuge) madvise(pages, size, MADV_HUGEPAGE);
    if (size >= kLeastPopulated) madvise(pages, size, MADV_POPULATE_WRITE);
}

void prepareForGrowing(void* data, std::size_t bytes) {
    const auto [pages, size] = wholePages(data, bytes);
    if (size >= kLeastHuge) madvise(pages, size, MADV_HUGEPAGE);
}

}  // namespace keldara::dao

#pragma once

#include <cstddef>

namespace keldara::dao {

// Memory about to be filled from end to end is mapped in one call (and in huge pages where
// the system allows), rather than a page fault at a time, which costs far more.
void prepareForFilling(void* data, std::size_t bytes);
// Memory that may be filled only in part: huge pages where the system allows, taken as they
// are first written.
void prepareForGrowing(void* data, std::size_t bytes);

}  // namespace keldara::dao

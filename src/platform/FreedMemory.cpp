#include "platform/FreedMemory.h"

#include <malloc.h>

namespace keldara::platform {

void keepFreedMemory() {
    // Blocks up to 64 MB come from the heap and go back to it, not to mmap and munmap; the
    // heap's free top is given back once it passes 256 MB.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

}  // namespace keldara::platform

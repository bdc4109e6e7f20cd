// The memory the process can still get, as the window asks before loading a table, and the
// memory it keeps when freed.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>

#include <vector>

#include "platform/FreedMemory.h"
#include "platform/MemoryGauge.h"
#include "support/ProcessMemory.h"

namespace {

// An address-space limit set on the process (as `ulimit -v` does) bounds what is available,
// less what the process has already mapped; lifted, the limit no longer counts.
TEST(SystemMemoryGauge, CountsTheAddressSpaceLimitLessWhatIsMapped) {
    keldara::platform::SystemMemoryGauge gauge;
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &original), 0);
    constexpr qint64 room = qint64(256) << 20;
    const qint64 mapped = keldara::test::processStatusBytes("VmSize:");
    rlimit lowered = original;
    lowered.rlim_cur = static_cast<rlim_t>(mapped + room);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &lowered), 0);
    const std::optional<qint64> limited = gauge.availableBytes();
    ASSERT_EQ(setrlimit(RLIMIT_AS, &original), 0);
    ASSERT_TRUE(limited.has_value());
    EXPECT_LE(*limited, room);
    EXPECT_GE(*limited, room - (qint64(32) << 20));
    EXPECT_GT(*gauge.availableBytes(), room);
}

// A block of more megabytes than the allocator ever takes from the heap unasked, freed, stays
// with the process as free memory for the next allocation.
TEST(KeepFreedMemory, ABlockFreedStaysWithTheProcess) {
    keldara::platform::keepFreedMemory();
    constexpr std::size_t block = std::size_t{48} << 20;
    const std::size_t freeBefore = mallinfo2().fordblks;
    { const std::vector<char> megabytes(block, 'x'); }
    EXPECT_GE(mallinfo2().fordblks, freeBefore + block);
}

}  // namespace

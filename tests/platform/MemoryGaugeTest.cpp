// The memory the process can still get, as the window asks before loading a table.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QFile>

#include "platform/MemoryGauge.h"

namespace {

// An address-space limit set on the process (as `ulimit -v` does) bounds what is available,
// less what the process has already mapped; lifted, the limit no longer counts.
TEST(SystemMemoryGauge, CountsTheAddressSpaceLimitLessWhatIsMapped) {
    keldara::platform::SystemMemoryGauge gauge;
    const std::optional<qint64> unlimited = gauge.availableBytes();
    ASSERT_TRUE(unlimited.has_value());
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &original), 0);
    constexpr qint64 room = qint64(256) << 20;
    // Mapped now: what the gauge itself reads from /proc/self/status.
    QFile status("/proc/self/status");
    ASSERT_TRUE(status.open(QIODevice::ReadOnly));
    const QByteArray text = status.readAll();
    const qsizetype at = text.indexOf("VmSize:");
    ASSERT_GE(at, 0);
    const qint64 mapped =
        text.mid(at + 7, text.indexOf('\n', at) - at - 7).trimmed().split(' ')[0].toLongLong() *
        1024;
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

}  // namespace

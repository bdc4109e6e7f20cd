#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace keldara::platform {

// How much more memory this process can take before the system refuses it or ends the
// process.
class MemoryGauge {
  public:
    virtual ~MemoryGauge() = default;
    // Nothing when the system does not say.
    virtual std::optional<qint64> availableBytes() = 0;
};

// The lowest of: the system's available memory (MemAvailable), what the control groups the
// process belongs to still allow (memory.max less memory.current, at every level), and the
// address space the process may still map (RLIMIT_AS less what it has mapped).
class SystemMemoryGauge : public MemoryGauge {
  public:
    std::optional<qint64> availableBytes() override;
};

}  // namespace keldara::platform

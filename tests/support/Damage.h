#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <string>

namespace keldara::test {

// Writes `copies` damaged copies of a file (truncated at many lengths, and overwritten with junk
// bytes at many offsets) to `damagedPath`, one at a time, and calls `read` after each. Returns
// the copies tried: none when the file cannot be read.
int forEachDamagedCopy(const QString& originalPath, const QString& damagedPath, int copies,
                       const std::function<void(const QString& what)>& read);

// The bytes of a file; empty when it cannot be read.
QByteArray readAll(const QString& path);

// Whether a child process can be given a smaller address space: AddressSanitizer needs
// far more than any limit a test would set.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSpaceCanBeLimited = false;
#else
inline constexpr bool kAddressSpaceCanBeLimited = true;
#endif

// Runs `read` in a child process that may take `extraMegabytes` of address space beyond what it
// starts with and `cpuSeconds` of processor time. Returns how it ended: "read: " and what `read`
// returned, "error: " and the DaoError's description, or the signal that ended it.
std::string outcomeUnderLimits(const std::function<std::string()>& read, int extraMegabytes,
                               int cpuSeconds);

}  // namespace keldara::test

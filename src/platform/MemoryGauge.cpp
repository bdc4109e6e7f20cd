#include "platform/MemoryGauge.h"

#include <sys/resource.h>

#include <QFile>
#include <QRegularExpression>
#include <algorithm>

namespace keldara::platform {

namespace {

QByteArray readSmallFile(const QString& path) {
    QFile file(path);
    // Files under /proc and /sys report no size: read until the end.
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The value in kB of a "Name:   1234 kB" line of /proc/meminfo or /proc/self/status, in bytes.
std::optional<qint64> kilobyteField(const QByteArray& text, const char* name) {
    const QRegularExpression line(QStringLiteral("^%1:\\s+(\\d+) kB$").arg(QLatin1String(name)),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(QString::fromLatin1(text));
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toLongLong() * 1024;
}

// A control group file of one number; "max" and anything unreadable give nothing.
std::optional<qint64> cgroupNumber(const QString& path) {
    bool ok = false;
    const qint64 value = readSmallFile(path).trimmed().toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

struct CgroupLayout {
    QString root;  // where the hierarchy is mounted
    QString limitFile;
    QString usageFile;
};

// The least room left under the memory limit of the process's control group and of each of
// its parents. A line of /proc/self/cgroup is "0::/path" for cgroup v2 (mounted on
// /sys/fs/cgroup, or on /sys/fs/cgroup/unified beside v1 controllers) and
// "N:memory:/path" for the v1 memory controller.
std::optional<qint64> cgroupRoom() {
    const bool unifiedOnly = QFile::exists(QStringLiteral("/sys/fs/cgroup/cgroup.controllers"));
    const CgroupLayout v2{
        unifiedOnly ? QStringLiteral("/sys/fs/cgroup") : QStringLiteral("/sys/fs/cgroup/unified"),
        QStringLiteral("memory.max"), QStringLiteral("memory.current")};
    const CgroupLayout v1{QStringLiteral("/sys/fs/cgroup/memory"),
                          QStringLiteral("memory.limit_in_bytes"),
                          QStringLiteral("memory.usage_in_bytes")};
    std::optional<qint64> room;
    for (const QByteArray& line : readSmallFile(QStringLiteral("/proc/self/cgroup")).split('\n')) {
        const QList<QByteArray> parts = line.split(':');
        if (parts.size() != 3) continue;
        const bool isV2 = parts[0] == "0" && parts[1].isEmpty();
        if (!isV2 && !parts[1].split(',').contains("memory")) continue;
        const CgroupLayout& layout = isV2 ? v2 : v1;
        for (QString group = QString::fromUtf8(parts[2]);;
             group.truncate(group.lastIndexOf(u'/'))) {
            const QString folder = layout.root + group + u'/';
            const auto limit = cgroupNumber(folder + layout.limitFile);
            const auto used = cgroupNumber(folder + layout.usageFile);
            if (limit && used) room = std::min(room.value_or(*limit - *used), *limit - *used);
            if (group.lastIndexOf(u'/') < 0) break;
        }
    }
    return room;
}

std::optional<qint64> addressSpaceRoom() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    const auto mapped = kilobyteField(readSmallFile(QStringLiteral("/proc/self/status")), "VmSize");
    return static_cast<qint64>(limit.rlim_cur) - mapped.value_or(0);
}

}  // namespace

std::optional<qint64> SystemMemoryGauge::availableBytes() {
    std::optional<qint64> least;
    for (const auto& room :
         {kilobyteField(readSmallFile(QStringLiteral("/proc/meminfo")), "MemAvailable"),
          cgroupRoom(), addressSpaceRoom()}) {
        if (room) least = std::min(least.value_or(*room), *room);
    }
    if (least) least = std::max<qint64>(*least, 0);
    return least;
}

}  // namespace keldara::platform

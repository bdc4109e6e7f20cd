#pragma once

#include <QFile>

namespace keldara::test {

// A figure in kB of /proc/self/status ("VmRSS:", "VmHWM:", "VmSize:"), in bytes; -1 when absent.
inline qint64 processStatusBytes(const char* field) {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ')[0].toLongLong() * 1024;
    }
    return -1;
}

}  // namespace keldara::test

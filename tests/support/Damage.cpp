#include "support/Damage.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>
#include <cstring>
#include <exception>

#include "platform/dao/DaoError.h"
#include "support/Files.h"

namespace keldara::test {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

namespace {

[[noreturn]] void runChild(int output, const std::function<std::string()>& read, int extraMegabytes,
                           int cpuSeconds) {
    if (kAddressSpaceCanBeLimited) {  // beyond the address space the process takes now
        const rlim_t now = readAll(QStringLiteral("/proc/self/statm")).split(' ')[0].toULongLong() *
                           rlim_t(sysconf(_SC_PAGESIZE));
        const rlimit limit{now + rlim_t(extraMegabytes) * 1024 * 1024,
                           now + rlim_t(extraMegabytes) * 1024 * 1024};
        setrlimit(RLIMIT_AS, &limit);
    }
    const rlimit time{rlim_t(cpuSeconds), rlim_t(cpuSeconds)};
    setrlimit(RLIMIT_CPU, &time);
    std::string outcome;
    try {
        outcome = "read: " + read();
    } catch (const dao::DaoError& error) {
        outcome = "error: " + error.description().toStdString();
    } catch (...) {
        std::terminate();  // as the program would end
    }
    [[maybe_unused]] const auto written = write(output, outcome.data(), outcome.size());
    _exit(0);
}

}  // namespace

std::string outcomeUnderLimits(const std::function<std::string()>& read, int extraMegabytes,
                               int cpuSeconds) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return "no pipe";
    const pid_t child = fork();
    if (child < 0) return "no child process";
    if (child == 0) {
        close(pipeEnds[0]);
        runChild(pipeEnds[1], read, extraMegabytes, cpuSeconds);
    }
    close(pipeEnds[1]);
    std::string outcome;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        outcome.append(buffer, n);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) return std::string("ended by signal ") + strsignal(WTERMSIG(status));
    return outcome;
}

int forEachDamagedCopy(const QString& originalPath, const QString& damagedPath, int copies,
                       const std::function<void(const QString& what)>& read) {
    const QByteArray original = readAll(originalPath);
    if (original.isEmpty()) return 0;
    QRandomGenerator random(static_cast<quint32>(original.size()));  // repeatable per file
    const int half = copies / 2;
    for (int i = 0; i < half; ++i) {
        const qsizetype length = original.size() * i / half;
        writeFile(damagedPath, original.left(length));
        read(QStringLiteral("truncated to %1 bytes").arg(length));
    }
    for (int i = 0; i < copies - half; ++i) {
        QByteArray damaged = original;
        const qsizetype offset = original.size() * i / (copies - half);
        const qsizetype span = std::min<qsizetype>(8, damaged.size() - offset);
        for (qsizetype k = 0; k < span; ++k)
            damaged[offset + k] = static_cast<char>(i % 3 == 0 ? 0xFF : random.bounded(256));
        writeFile(damagedPath, damaged);
        read(QStringLiteral("%1 bytes overwritten at offset %2").arg(span).arg(offset));
    }
    return copies;
}

}  // namespace keldara::test

#include "Bench.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace keldara::bench {

namespace {

using Clock = std::chrono::steady_clock;

// Runs the command in a child and returns its resource usage once it has ended.
rusage runChild(const QString& program, const QStringList& arguments, const QString& stdinFile) {
    std::vector<QByteArray> words{program.toLocal8Bit()};
    for (const QString& argument : arguments) words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const QByteArray input = stdinFile.toLocal8Bit();

    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        if (!input.isEmpty()) {
            const int fd = open(input.constData(), O_RDONLY);
            if (fd < 0 || dup2(fd, STDIN_FILENO) < 0) _exit(126);
        }
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) < 0) throw std::runtime_error("wait failed");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(
            QStringLiteral("%1 failed (status %2)").arg(program).arg(status).toStdString());
    return usage;
}

}  // namespace

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double seconds(const std::function<void()>& run) {
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int rounds() {
    const char* text = std::getenv("KELDARA_BENCH_ROUNDS");
    const int value = text ? std::atoi(text) : 0;
    return value > 0 ? value : 3;
}

double medianSeconds(const std::function<void()>& run) {
    return medianSeconds(run, [] {});
}

double medianSeconds(const std::function<void()>& run, const std::function<void()>& after) {
    std::vector<double> seconds;
    for (int round = 0; round < rounds(); ++round) {
        seconds.push_back(keldara::bench::seconds(run));
        after();
    }
    return median(seconds);
}

double commandSeconds(const QString& program, const QStringList& arguments,
                      const QString& stdinFile) {
    const auto start = Clock::now();
    runChild(program, arguments, stdinFile);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double medianCommandSeconds(const QString& program, const QStringList& arguments,
                            const QString& stdinFile) {
    std::vector<double> seconds;
    for (int round = 0; round < rounds(); ++round)
        seconds.push_back(commandSeconds(program, arguments, stdinFile));
    return median(seconds);
}

double peakMegabytes(const QString& program, const QStringList& arguments) {
    return runChild(program, arguments, {}).ru_maxrss / 1024.0;  // ru_maxrss is in kilobytes
}

int guarded(const std::function<int()>& body) {
    try {
        return body();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
        return 1;
    }
}

bool report(const Result& result) {
    const double ratio = result.reference > 0 ? result.ours / result.reference : 0;
    const bool met = result.reference > 0 && ratio <= result.target;
    std::printf("RESULT\t%s\t%s\t%.3f\t%s\t%.3f\t%.3f\t%.2f\t%s\n", qPrintable(result.benchmark),
                qPrintable(result.measure), result.ours, qPrintable(result.referenceName),
                result.reference, ratio, result.target, met ? "met" : "missed");
    std::fflush(stdout);
    return met;
}

namespace {

QString firstLine(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("?");
    return QString::fromUtf8(file.readLine()).trimmed();
}

// "always [madvise] never" -> "madvise"
QString chosenSetting(const QString& path) {
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("\\[(\\S+)\\]")).match(firstLine(path));
    return match.hasMatch() ? match.captured(1) : QStringLiteral("?");
}

QString cpuModel() {
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (!info.open(QIODevice::ReadOnly)) return QStringLiteral("?");
    for (const QByteArray& line : info.readAll().split('\n')) {
        if (line.startsWith("model name"))
            return QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
    }
    return QStringLiteral("?");
}

QString cacheSize(int name) {
    const long bytes = sysconf(name);
    return bytes > 0 ? QStringLiteral("%1 KB").arg(bytes / 1024) : QStringLiteral("?");
}

}  // namespace

QString machineState() {
    const QString thp = QStringLiteral("/sys/kernel/mm/transparent_hugepage/");
    const QByteArray tunables = qgetenv("GLIBC_TUNABLES");
    return QStringLiteral(
               "transparent huge pages %1, defrag %2; CPU %3, %4 cores; cache L1d %5, "
               "L2 %6, L3 %7; GLIBC_TUNABLES %8")
        .arg(chosenSetting(thp + QStringLiteral("enabled")),
             chosenSetting(thp + QStringLiteral("defrag")), cpuModel(),
             QString::number(sysconf(_SC_NPROCESSORS_ONLN)), cacheSize(_SC_LEVEL1_DCACHE_SIZE),
             cacheSize(_SC_LEVEL2_CACHE_SIZE), cacheSize(_SC_LEVEL3_CACHE_SIZE),
             tunables.isEmpty() ? QStringLiteral("unset") : QString::fromLocal8Bit(tunables));
}

}  // namespace keldara::bench

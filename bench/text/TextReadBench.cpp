// Reads a generated CSV file of a million lines through the text provider and prints the
// time against a reference measured in the same run: reading the same bytes from disk and
// counting their lines with a plain loop.
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLines = 1000000;
constexpr int kRounds = 3;

QByteArray generatedCsv() {
    QByteArray csv = "id,name,amount,when,code,note\r\n";
    csv.reserve(80LL * kLines);
    for (int i = 1; i < kLines; ++i) {
        csv += QByteArray::number(i);
        csv += i % 7 == 0 ? ",\"Smith, John \"\"J\"\"\"," : ",Customer number ";
        if (i % 7 != 0) csv += QByteArray::number(i % 9973) + ',';
        csv += QByteArray::number(i % 100000) + '.' + QByteArray::number(10 + i % 90) + ',';
        csv += "2024-" + QByteArray::number(10 + i % 3) + '-' + QByteArray::number(10 + i % 19) +
               ' ' + QByteArray::number(10 + i % 14) + ":30:00,";
        csv += '0' + QByteArray::number(i % 1000) + ',';
        if (i % 5 == 0) csv += "note \xC3\xA9";
        csv += "\r\n";
    }
    return csv;
}

long long countLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    const QByteArray bytes = file.readAll();
    long long lines = 0;
    for (const char c : bytes) lines += c == '\n' ? 1 : 0;
    return lines;
}

struct Timing {
    double wall = 1e300;  // seconds, best of the rounds
    double cpu = 1e300;   // processor seconds of the same round
};

Timing best(const std::function<void()>& run) {
    Timing timing;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = Clock::now();
        const std::clock_t cpuStart = std::clock();
        run();
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        if (wall < timing.wall) {
            timing.wall = wall;
            timing.cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        }
    }
    return timing;
}

}  // namespace

int main() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("million.csv"));
    {
        QFile file(path);
        if (!dir.isValid() || !file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        file.write(generatedCsv());
    }
    const auto size = QFile(path).size();

    long long lines = 0;
    const Timing reference = best([&] { lines = countLines(path); });

    long records = 0;
    const QString connectionString =
        QStringLiteral(
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1\\;Extended "
            "Properties=\"text;HDR=Yes;FMT=Delimited;\"")
            .arg(dir.path());
    try {
        const Timing provider = best([&] {
            auto connection = keldara::dao::openConnection(connectionString);
            records = connection->openRecordset(QStringLiteral("SELECT * FROM [million.csv]"))
                          ->recordCount();
        });
        std::printf("file: %lld bytes, %lld lines, %ld records read\n",
                    static_cast<long long>(size), lines, records);
        std::printf("reference (read bytes, count lines): %8.3f s (processor %.3f s)\n",
                    reference.wall, reference.cpu);
        std::printf("text provider (SELECT * FROM file):  %8.3f s (processor %.3f s)\n",
                    provider.wall, provider.cpu);
        std::printf("ratio provider / reference:          %8.1f\n", provider.wall / reference.wall);
    } catch (const keldara::dao::DaoError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.description()));
        return 1;
    }
    return 0;
}

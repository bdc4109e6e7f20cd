// Loads a generated CSV file of a million records and ten columns into a recordset through
// the text provider (types inferred) and compares it with pandas' read_csv of the same file,
// which infers types as well: the time of both, and our peak memory against the file size.
// Usage: keldara_text_bench [--quick]        the benchmark
//        keldara_text_bench --load FILE      loads FILE once (run as a child for peak memory)
//        keldara_text_bench --write FILE     writes the million-record file (for profiling)
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

#include "Bench.h"
#include "Data.h"
#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"

namespace {

using namespace keldara::bench;

// Times pandas.read_csv of argv[1] over argv[2] rounds after one untimed read and prints the
// median seconds; with a fourth argument reads once and ends (for its peak memory).
const char* const kPandasScript = R"(import sys, time, statistics
import pandas
path, rounds = sys.argv[1], int(sys.argv[2])
pandas.read_csv(path)
if len(sys.argv) > 3:
    sys.exit(0)
seconds = []
for _ in range(rounds):
    start = time.perf_counter()
    frame = pandas.read_csv(path)
    seconds.append(time.perf_counter() - start)
    del frame
print(statistics.median(seconds))
)";

long load(const QString& path) {
    auto connection = keldara::dao::openConnection(textConnectionString(path));
    auto records = connection->openRecordset(
        QStringLiteral("SELECT * FROM [%1]").arg(QFileInfo(path).fileName()));
    return records->recordCount();
}

// The seconds of one read_csv in a fresh Python, after an untimed one (as our rounds follow
// an untimed load).
double pandasSeconds(const QString& script, const QString& csv) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {script, csv, QStringLiteral("1")});
    if (!python.waitForFinished(-1) || python.exitCode() != 0)
        throw std::runtime_error("pandas failed: " + python.readAllStandardError().toStdString());
    return python.readAllStandardOutput().trimmed().toDouble();
}

int benchmark(bool quick) {
    const int records = quick ? 100000 : 1000000;
    QTemporaryDir dir(dataFolderPattern(QStringLiteral("text")));
    if (!dir.isValid()) throw std::runtime_error("cannot make a data folder");
    const QString csv = dir.filePath(QStringLiteral("orders.csv"));
    const QString script = dir.filePath(QStringLiteral("pandas_read.py"));
    writeOrdersCsv(csv, records);
    writeFile(script, kPandasScript);

    const QString name = QStringLiteral("CSV load, %1 records x 10 columns").arg(records);
    const double fileMegabytes = QFileInfo(csv).size() / (1024.0 * 1024.0);
    // The rounds of the two alternate, so that both meet the machine in the same moods.
    load(csv);
    std::vector<double> pandasRounds, ourRounds;
    for (int round = 0; round < keldara::bench::rounds(); ++round) {
        pandasRounds.push_back(pandasSeconds(script, csv));
        long loaded = 0;
        ourRounds.push_back(keldara::bench::seconds([&] { loaded = load(csv); }));
        if (loaded != records) throw std::runtime_error("the load missed records");
    }
    const double pandas = keldara::bench::median(pandasRounds);
    const double ours = keldara::bench::median(ourRounds);
    report({name, QStringLiteral("time s"), ours, QStringLiteral("pandas read_csv"), pandas, 0.50});

    const double peak =
        keldara::bench::peakMegabytes(QCoreApplication::applicationFilePath(), {"--load", csv});
    report({name, QStringLiteral("peak MB"), peak, QStringLiteral("file size MB"), fileMegabytes,
            2.0});
    const double pandasPeak = keldara::bench::peakMegabytes(QStringLiteral("/usr/bin/python3"),
                                                            {script, csv, "1", "--load"});
    std::printf("INFO\t%s\tpeak memory: ours %.1f MB, pandas read_csv %.1f MB, file %.1f MB\n",
                qPrintable(name), peak, pandasPeak, fileMegabytes);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    return keldara::bench::guarded([&] {
        if (arguments.size() == 3 && arguments[1] == QStringLiteral("--load"))
            return load(arguments[2]) >= 0 ? 0 : 1;
        if (arguments.size() == 3 && arguments[1] == QStringLiteral("--write")) {
            writeOrdersCsv(arguments[2], 1000000);
            return 0;
        }
        return benchmark(arguments.contains(QStringLiteral("--quick")));
    });
}

// Loads a generated CSV file of a million records and ten columns into a recordset through
// the text provider (types inferred) and compares it with pandas' read_csv of the same file
// and with DuckDB's read_csv into a table, which infer types as well: the time of each, and
// our peak memory against the file size. DuckDB is measured through its Node package when
// bench/run.sh has installed it, and skipped otherwise.
// Usage: keldara_text_bench [--quick]        the benchmark
//        keldara_text_bench --load FILE      loads FILE once (run as a child for peak memory)
//        keldara_text_bench --write FILE     writes the million-record file (for profiling)
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
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
// median seconds, page faults and CPU seconds of a read; with a fourth argument reads once and
// ends (for its peak memory). With KELDARA_BENCH_COLD set, the file is put out of the page
// cache before each timed read, as before each of our timed loads.
const char* const kPandasScript = R"(import os, resource, sys, time, statistics
import pandas
path, rounds = sys.argv[1], int(sys.argv[2])
pandas.read_csv(path)
if len(sys.argv) > 3:
    sys.exit(0)
seconds, faults, cpu = [], [], []
for _ in range(rounds):
    if os.environ.get("KELDARA_BENCH_COLD"):
        fd = os.open(path, os.O_RDONLY)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        os.close(fd)
    before = resource.getrusage(resource.RUSAGE_SELF)
    start = time.perf_counter()
    frame = pandas.read_csv(path)
    seconds.append(time.perf_counter() - start)
    after = resource.getrusage(resource.RUSAGE_SELF)
    faults.append(after.ru_minflt - before.ru_minflt)
    cpu.append(after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
    del frame
print(statistics.median(seconds), statistics.median(faults), statistics.median(cpu))
)";

// Reads argv[2] with DuckDB's read_csv into a table of a fresh in-memory database on two
// threads, once untimed (not with argv[3] "whole"), then once timed, and prints the seconds, page
// faults and CPU seconds of the timed read, the table's record count and DuckDB's version. With
// KELDARA_BENCH_COLD set, the file is put out of the page cache before the timed read, as for
// pandas.
const char* const kDuckdbScript = R"node(const { execFileSync } = require("child_process");
const { DuckDBInstance } = require("@duckdb/node-api");
const path = process.argv[2];
const readInto = (table) =>
  `CREATE TABLE ${table} AS SELECT * FROM read_csv('${path.replaceAll("'", "''")}')`;
const cpuSeconds = (usage) => (usage.userCPUTime + usage.systemCPUTime) / 1e6;
(async () => {
  const connection = await (await DuckDBInstance.create(":memory:")).connect();
  await connection.run("SET threads TO 2");
  if (process.argv[3] !== "whole") {
    await connection.run(readInto("untimed"));
    await connection.run("DROP TABLE untimed");
  }
  if (process.env.KELDARA_BENCH_COLD)
    execFileSync("dd", [`if=${path}`, "iflag=nocache", "count=0"], { stdio: "ignore" });
  const before = process.resourceUsage();
  const start = process.hrtime.bigint();
  await connection.run(readInto("t"));
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  const after = process.resourceUsage();
  const records = (await connection.runAndReadAll("SELECT count(*) FROM t")).getRows()[0][0];
  const version = (await connection.runAndReadAll("SELECT version()")).getRows()[0][0];
  console.log(seconds, after.minorPageFault - before.minorPageFault,
              cpuSeconds(after) - cpuSeconds(before), String(records), version);
})().catch((error) => {
  console.error(String(error));
  process.exit(1);
});
)node";

long load(const QString& path) {
    auto connection = keldara::dao::openConnection(textConnectionString(path));
    auto records = connection->openRecordset(
        QStringLiteral("SELECT * FROM [%1]").arg(QFileInfo(path).fileName()));
    return records->recordCount();
}

struct Round {
    double seconds = 0;
    double pageFaults = 0;
    double cpuSeconds = 0;  // of the process, user and system
};

// Puts the file out of the page cache (its pages are clean, so nothing is lost).
void evictFromPageCache(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0) return;
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

bool coldRounds() {
    return qEnvironmentVariableIsSet("KELDARA_BENCH_COLD");
}

rusage selfUsage() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage;
}

double cpuSeconds(const rusage& usage) {
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// One timed load; the file must hold `records` records.
Round ourRound(const QString& csv, long records) {
    if (coldRounds()) evictFromPageCache(csv);
    const rusage before = selfUsage();
    long loaded = 0;
    const double time = keldara::bench::seconds([&] { loaded = load(csv); });
    const rusage after = selfUsage();
    if (loaded != records) throw std::runtime_error("the load missed records");
    return {time, static_cast<double>(after.ru_minflt - before.ru_minflt),
            cpuSeconds(after) - cpuSeconds(before)};
}

// One read_csv in a fresh Python, after an untimed one (as our rounds follow an untimed
// load).
Round pandasRound(const QString& script, const QString& csv) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {script, csv, QStringLiteral("1")});
    if (!python.waitForFinished(-1) || python.exitCode() != 0)
        throw std::runtime_error("pandas failed: " + python.readAllStandardError().toStdString());
    const QList<QByteArray> figures = python.readAllStandardOutput().trimmed().split(' ');
    if (figures.size() != 3) throw std::runtime_error("pandas printed no time");
    return {figures[0].toDouble(), figures[1].toDouble(), figures[2].toDouble()};
}

// The node_modules folder holding DuckDB's Node package: KELDARA_BENCH_NODE_MODULES, or the
// one bench/run.sh installs into beside the build.
QString nodeModules() {
    const QString chosen = qEnvironmentVariable("KELDARA_BENCH_NODE_MODULES");
    return chosen.isEmpty() ? QStringLiteral(KELDARA_NODE_MODULES) : chosen;
}

// The environment a Node process finds DuckDB's package in.
QProcessEnvironment nodeEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NODE_PATH"), nodeModules());
    return environment;
}

// Why DuckDB cannot be measured on this machine, or empty when it can.
QString duckdbMissing() {
    if (QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty())
        return QStringLiteral("node is not installed");
    if (!QFileInfo::exists(nodeModules() + QStringLiteral("/@duckdb/node-api/package.json")))
        return QStringLiteral("@duckdb/node-api is not installed in %1 (bench/run.sh installs it)")
            .arg(nodeModules());
    return {};
}

// One read_csv into a table in a fresh Node process, after an untimed one (as the pandas
// rounds); the table must hold `records` records. Sets `version` to DuckDB's.
Round duckdbRound(const QString& script, const QString& csv, long records, QString& version) {
    QProcess node;
    node.setProcessEnvironment(nodeEnvironment());
    node.start(QStandardPaths::findExecutable(QStringLiteral("node")), {script, csv});
    if (!node.waitForFinished(-1) || node.exitCode() != 0)
        throw std::runtime_error("DuckDB failed: " + node.readAllStandardError().toStdString());
    const QList<QByteArray> figures = node.readAllStandardOutput().trimmed().split(' ');
    if (figures.size() != 5) throw std::runtime_error("DuckDB printed no time");
    if (figures[3].toLong() != records) throw std::runtime_error("DuckDB's table missed records");
    version = QString::fromUtf8(figures[4]);
    return {figures[0].toDouble(), figures[1].toDouble(), figures[2].toDouble()};
}

// One load in a process of its own, from its start to its exit, as someone who runs one waits
// for it; the process must end with status 0, and DuckDB's table hold `records` records.
double wholeProcessSeconds(const QString& program, const QStringList& arguments, long records) {
    QProcess process;
    process.setProcessEnvironment(nodeEnvironment());
    const double seconds = keldara::bench::seconds([&] {
        process.start(program, arguments);
        if (!process.waitForFinished(-1) || process.exitCode() != 0)
            throw std::runtime_error(program.toStdString() +
                                     " failed: " + process.readAllStandardError().toStdString());
    });
    const QList<QByteArray> printed = process.readAllStandardOutput().trimmed().split(' ');
    if (printed.size() > 3 && printed[3].toLong() != records)
        throw std::runtime_error("DuckDB's table missed records");
    return seconds;
}

// The lowest and highest of the rounds' `figure`, as "low to high".
QString spread(const std::vector<Round>& rounds, double Round::*figure) {
    std::vector<double> values;
    for (const Round& round : rounds) values.push_back(round.*figure);
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return QStringLiteral("%1 to %2").arg(*low, 0, 'f', 3).arg(*high, 0, 'f', 3);
}

// Our load and DuckDB's, each a whole process (ours this program's --load, DuckDB's Node with
// its package and one read_csv), in alternating rounds.
void wholeProcesses(const QString& name, const QString& csv, const QString& duckdbScript,
                    long records) {
    std::vector<double> ours, duckdb;
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    for (int round = 0; round < keldara::bench::rounds(); ++round) {
        ours.push_back(wholeProcessSeconds(QCoreApplication::applicationFilePath(),
                                           {QStringLiteral("--load"), csv}, records));
        duckdb.push_back(
            wholeProcessSeconds(node, {duckdbScript, csv, QStringLiteral("whole")}, records));
    }
    const auto [ourLow, ourHigh] = std::minmax_element(ours.begin(), ours.end());
    const auto [duckLow, duckHigh] = std::minmax_element(duckdb.begin(), duckdb.end());
    std::printf(
        "INFO\t%s\twhole processes, start to exit, %zu rounds: ours %.3f s (%.3f to %.3f), "
        "DuckDB %.3f s (%.3f to %.3f), ratio %.3f\n",
        qPrintable(name), ours.size(), keldara::bench::median(ours), *ourLow, *ourHigh,
        keldara::bench::median(duckdb), *duckLow, *duckHigh,
        keldara::bench::median(ours) / keldara::bench::median(duckdb));
}

int benchmark(bool quick) {
    const int records = quick ? 100000 : 1000000;
    QTemporaryDir dir(dataFolderPattern(QStringLiteral("text")));
    if (!dir.isValid()) throw std::runtime_error("cannot make a data folder");
    const QString csv = dir.filePath(QStringLiteral("orders.csv"));
    const QString script = dir.filePath(QStringLiteral("pandas_read.py"));
    writeOrdersCsv(csv, records);
    writeFile(script, kPandasScript);
    const QString duckdbScript = dir.filePath(QStringLiteral("duckdb_read.js"));
    const QString duckdbSkipped = duckdbMissing();
    if (duckdbSkipped.isEmpty()) writeFile(duckdbScript, kDuckdbScript);

    const QString name = QStringLiteral("CSV load, %1 records x 10 columns").arg(records);
    const double fileMegabytes = QFileInfo(csv).size() / (1024.0 * 1024.0);
    // The rounds of the sides alternate, so that all meet the machine in the same moods.
    load(csv);
    std::vector<Round> pandasRounds, ourRounds, duckdbRounds;
    QString duckdbVersion;
    for (int round = 0; round < keldara::bench::rounds(); ++round) {
        pandasRounds.push_back(pandasRound(script, csv));
        ourRounds.push_back(ourRound(csv, records));
        if (duckdbSkipped.isEmpty())
            duckdbRounds.push_back(duckdbRound(duckdbScript, csv, records, duckdbVersion));
    }
    const auto medianOf = [](const std::vector<Round>& rounds, double Round::*figure) {
        std::vector<double> values;
        for (const Round& round : rounds) values.push_back(round.*figure);
        return keldara::bench::median(values);
    };
    const double pandas = medianOf(pandasRounds, &Round::seconds);
    const double ours = medianOf(ourRounds, &Round::seconds);
    report({name, QStringLiteral("time s"), ours, QStringLiteral("pandas read_csv"), pandas, 0.50});
    // CPU time moves far less than wall time with what else the machine runs.
    const double ourCpu = medianOf(ourRounds, &Round::cpuSeconds);
    const double pandasCpu = medianOf(pandasRounds, &Round::cpuSeconds);
    std::printf(
        "INFO\t%s\tmachine: %s; page faults of a load: ours %.0f, pandas %.0f; CPU s of a "
        "load: ours %.3f, pandas %.3f, ratio %.3f%s\n",
        qPrintable(name), qPrintable(machineState()), medianOf(ourRounds, &Round::pageFaults),
        medianOf(pandasRounds, &Round::pageFaults), ourCpu, pandasCpu, ourCpu / pandasCpu,
        coldRounds() ? "; each round from a cold page cache" : "");
    if (duckdbSkipped.isEmpty()) {
        const double duckdb = medianOf(duckdbRounds, &Round::seconds);
        report({name, QStringLiteral("time s"), ours,
                QStringLiteral("DuckDB read_csv into a table"), duckdb, 0.50});
        const double duckdbCpu = medianOf(duckdbRounds, &Round::cpuSeconds);
        std::printf(
            "INFO\t%s\tDuckDB %s read_csv into a table, 2 threads, %zu rounds: ours %s s, DuckDB "
            "%s s; page faults of a load: DuckDB %.0f; CPU s of a load: ours %.3f, DuckDB %.3f, "
            "ratio %.3f\n",
            qPrintable(name), qPrintable(duckdbVersion), duckdbRounds.size(),
            qPrintable(spread(ourRounds, &Round::seconds)),
            qPrintable(spread(duckdbRounds, &Round::seconds)),
            medianOf(duckdbRounds, &Round::pageFaults), ourCpu, duckdbCpu, ourCpu / duckdbCpu);
        wholeProcesses(name, csv, duckdbScript, records);
    } else {
        std::printf("INFO\t%s\tDuckDB read_csv skipped: %s\n", qPrintable(name),
                    qPrintable(duckdbSkipped));
    }

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

#pragma once

// What every benchmark shares: rounds, medians, timing of reference commands, peak memory of
// a child process and the one result line `bench/run.sh` collects into bench/RESULTS.md.
//
// A result line on standard output reads, separated by tabs:
//   RESULT  benchmark  measure  ours  reference-name  reference  ratio  target  met|missed
// `ratio` is ours / reference and the target is met when ratio <= target. Times are the
// median seconds of the rounds; memory is peak resident megabytes.
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace keldara::bench {

// Rounds per measurement: KELDARA_BENCH_ROUNDS, 3 when unset.
int rounds();

// The wall-clock seconds of one call of `run`.
double seconds(const std::function<void()>& run);

// The median of the values (0 when there are none).
double median(std::vector<double> values);

// The median wall-clock seconds of `run` over rounds().
double medianSeconds(const std::function<void()>& run);
// The same, calling `after` (untimed) after each round, e.g. to undo what `run` did.
double medianSeconds(const std::function<void()>& run, const std::function<void()>& after);

// Runs `program` with `arguments` (standard input from `stdinFile` when not empty) and
// returns its wall-clock seconds; throws std::runtime_error when it fails to start or
// exits with a status other than 0.
double commandSeconds(const QString& program, const QStringList& arguments,
                      const QString& stdinFile = {});

// The median of commandSeconds over rounds().
double medianCommandSeconds(const QString& program, const QStringList& arguments,
                            const QString& stdinFile = {});

// Runs `program` with `arguments` to its end and returns its peak resident set in megabytes;
// throws std::runtime_error when it fails.
double peakMegabytes(const QString& program, const QStringList& arguments);

struct Result {
    QString benchmark;  // e.g. "insert transfer, 100,000 records"
    QString measure;    // "time s" or "peak MB"
    double ours = 0;
    QString referenceName;  // e.g. "mariadb client, same statements"
    double reference = 0;
    double target = 0;  // met when ours / reference <= target
};

// The machine state that moves timings: transparent huge pages (enabled, defrag), the CPU
// model and its cache sizes, the glibc malloc tunables set in the environment. One line.
QString machineState();

// Runs a benchmark's `body` and returns its exit status; an exception is printed on
// standard error and gives status 1.
int guarded(const std::function<int()>& body);

// Prints the RESULT line and returns whether the target was met.
bool report(const Result& result);

}  // namespace keldara::bench

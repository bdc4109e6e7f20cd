#pragma once

#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

#include "platform/dao/mysql/TlsSettings.h"
#include "tools/cli/TargetUrl.h"

// What keldara-cli was asked to do, read from its arguments and environment.
namespace keldara::cli {

// A problem the user must fix before anything can run: a wrong option, or a profile, file or
// server that cannot be opened. The program ends with status 2 and the message.
struct SetupError {
    QString message;
};

enum class Action { Insert, Merge, Script, Bulk, Upsert, BulkMerge, BulkUpsert };

// Whether the action finds target rows by a match field.
bool matchesRows(Action action);
// Whether the action only updates rows that exist (never inserts).
bool updatesOnly(Action action);
// Whether the action sends its records many at a time.
bool inBulk(Action action);

// One --map: the source field and the target field it is written to; an empty target
// leaves the source field out.
struct FieldMap {
    QString source;
    QString target;
};

struct RunOptions {
    QString profilePath;  // empty: the job is named by the three below
    QString sourcePath;
    QString sourceTable;  // empty: a text or dBase file's own table
    std::optional<TargetUrl> target;
    Action action = Action::Insert;
    QString matchField;
    QList<FieldMap> maps;
    bool dryRun = false;
    QString sourcePassword;
    // --ssl-mode and its files; nothing: the profile's own TLS settings.
    std::optional<dao::mysql::TlsSettings> tls;
    double progressSeconds = 5;  // between progress lines on a non-terminal; 0: none
    bool emptyTarget = false;
    QString rejectsPath;    // where refused records go; empty: the first one ends the run
    int retrySeconds = 60;  // how long transient errors are retried; 0: not at all
    QStringList servers;    // --server, in order; empty: the profile's
    QString resumePath;     // --resume: the run's state file; empty: none
};

// A text to print on standard output before ending with status 0 (--help, --version).
struct PrintAndExit {
    QString text;
};

// The TLS settings --ssl-mode and its files give; a wrong one is a usage error pointing to
// `helpCommand`.
dao::mysql::TlsSettings tlsSettingsOf(const QCommandLineParser& parser,
                                      const QCommandLineOption& mode, const QCommandLineOption& ca,
                                      const QCommandLineOption& cert, const QCommandLineOption& key,
                                      const QString& helpCommand);

// Prints "keldara-cli: " and `text` as one line on standard error.
void printMessage(const QString& text);

// A usage error: `problem`, then where to read more.
[[noreturn]] void usageError(const QString& problem, const QString& helpCommand);

// `arguments` without the program name. Throws SetupError for a usage error.
std::variant<RunOptions, PrintAndExit> parseCommandLine(const QStringList& arguments);

}  // namespace keldara::cli

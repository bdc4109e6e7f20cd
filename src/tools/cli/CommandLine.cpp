#include "tools/cli/CommandLine.h"

#include <QCommandLineParser>
#include <cmath>
#include <cstdio>

namespace keldara::cli {

[[noreturn]] void usageError(const QString& problem, const QString& helpCommand) {
    throw SetupError{problem + QStringLiteral("\nTry '") + helpCommand +
                     QStringLiteral("' for more information.")};
}

void printMessage(const QString& text) {
    std::fputs((QStringLiteral("keldara-cli: ") + text + QLatin1Char('\n')).toUtf8().constData(),
               stderr);
}

namespace {

const QString kProgramHelp = QStringLiteral(R"(Usage: keldara-cli COMMAND [OPTION]...

Runs a Keldara transfer without a window.

Commands:
  run PROFILE.pro   copy the profile's source table into its MySQL target table,
                    or print a script that creates and fills a table like it
                    (or a table that --source and --target name)
  migrate SOURCE TARGET
                    move every table of a file or folder, with its keys,
                    indexes and relationships, into a MySQL database

Options:
  -h, --help        show this help and exit
      --version     show the version and exit

Run 'keldara-cli run --help' or 'keldara-cli migrate --help' for their options.
)");

const QString kRunHelp =
    QStringLiteral(R"(Usage: keldara-cli run PROFILE.pro --action ACTION [OPTION]...
  or:  keldara-cli run --source FILE [--source-table TABLE]
         --target mysql://USER@HOST[:PORT]/DATABASE/TABLE --action ACTION [OPTION]...

Opens the source file and table, the MySQL server, database and target table that
the profile names (or --source, --source-table and --target name) and runs ACTION
over every source record. Fields are paired by
name, ignoring letter case; --map changes a pairing or leaves a field out.

Options:
  -a, --action ACTION        insert: one INSERT per record;
                             merge: one UPDATE per record, finding the target row
                               by the field --match names;
                             upsert: as merge, and a record whose match value
                               finds no row is inserted;
                             bulk: the records of insert, many at a time (by
                               one INSERT for many records, LOAD DATA LOCAL or
                               a multi-row INSERT); a refused record ends the
                               run as with insert
                             bulk-merge, bulk-upsert: the results of merge and
                               upsert, many at a time on a transactional table
                               (by a temporary table and a join)
                             script: print a script that drops, creates and fills
                               the table Tester; the server is not contacted
  -m, --match FIELD          the target field that finds the row (merge, upsert,
                             bulk-merge and bulk-upsert)
      --empty-target         delete every row of the target table first (with a
                             bulk action on a transactional table, in the same
                             transaction as the load: a failure keeps the old rows)
      --on-error stop|skip   stop: a refused record ends the run (the default);
                             skip: it is listed in --rejects FILE and the run goes on
      --rejects FILE         the CSV file of skipped records (with --on-error skip):
                             record number, the server's words, the values sent
      --retry-for SECONDS    for how long a lost connection, a deadlock or a
                             cluster node not ready is retried (default 60): the
                             connection is opened again and the run goes on from
                             the first record not known to be written; 0: the
                             first one ends the run
      --server HOST[:PORT]   a MySQL server to write to instead of the profile's (may
                             be given many times: the servers of one cluster, tried
                             in the order given; a lost one is replaced by the next)
      --resume STATEFILE     keep the run's state in STATEFILE: a run stopped or
                             failed and started again with the same profile,
                             action and STATEFILE goes on after the last record
                             it confirmed (an insert looks up those it may have
                             written by the key); a completed run removes it
      --source FILE          the source file, for a run without a profile
      --source-table TABLE   its table or sheet (a text or dBase file is its own)
      --target URL           mysql://USER@HOST[:PORT]/DATABASE/TABLE, the target
                             table for a run without a profile (blanks as %20);
                             the password comes from KELDARA_MYSQL_PASSWORD, the
                             keyring, or a prompt on a terminal
      --map SOURCE=TARGET    write source field SOURCE into target field TARGET
      --map SOURCE=          leave source field SOURCE out
                             (--map may be given many times)
  -n, --dry-run              print the statements instead of sending them; the
                             server is only asked for the target table's fields
                             (not with bulk actions; upsert prints each update)
      --source-password P    the password of an Access source file
      --ssl-mode MODE        how the MySQL connection is encrypted, instead of the
                             profile's choice: disabled; required (TLS, the
                             certificate is not checked); verify-ca (the server's
                             certificate must chain to --ssl-ca); verify-identity
                             (verify-ca, and it must name the server). No mode
                             but disabled falls back to an unencrypted connection
      --ssl-ca FILE          the CA certificates (PEM) the server's must chain to
      --ssl-cert FILE        a client certificate (PEM) for servers that ask for one
      --ssl-key FILE         the key of --ssl-cert
      --progress SECONDS     seconds between progress lines when standard error is
                             not a terminal (default 5; 0 shows no progress)
  -h, --help                 show this help and exit

Progress goes to standard error: a bar on a terminal, otherwise a line every few
seconds; one summary line ends the run. Statements (--dry-run) and the script go
to standard output.

Environment:
  KELDARA_SOURCE_PASSWORD    the source file's password when --source-password is
                             not given
  KELDARA_MYSQL_PASSWORD     when set and not empty, the MySQL password, used instead
                             of the system keyring's and the profile's; without it,
                             the password the system keyring keeps for the
                             profile's server, port and user comes before the
                             profile's own

Exit status:
  0  every record was written (or written into the script)
  1  the run stopped at a record: the server refused it, or the run was
     interrupted; the records before it stay in the target table; or
     records were refused and skipped into the rejects file
  2  a usage error, or a profile, source file, table or server that cannot be
     opened

Examples:
  keldara-cli run nightly.pro --action insert
  keldara-cli run nightly.pro --action bulk
  keldara-cli run nightly.pro --action bulk-upsert --match ID --on-error skip --rejects bad.csv
  keldara-cli run nightly.pro --action merge --match CustomerID --map "Company Name=name" --map Fax=
  keldara-cli run nightly.pro --action script > tester.sql
)");

[[noreturn]] void runUsageError(const QString& problem) {
    usageError(problem, QStringLiteral("keldara-cli run --help"));
}

Action actionNamed(const QString& name) {
    if (name == QLatin1String("insert")) return Action::Insert;
    if (name == QLatin1String("merge")) return Action::Merge;
    if (name == QLatin1String("script")) return Action::Script;
    if (name == QLatin1String("bulk")) return Action::Bulk;
    if (name == QLatin1String("upsert")) return Action::Upsert;
    if (name == QLatin1String("bulk-merge")) return Action::BulkMerge;
    if (name == QLatin1String("bulk-upsert")) return Action::BulkUpsert;
    runUsageError(QStringLiteral("unknown action '%1': choose insert, merge, upsert, bulk, "
                                 "bulk-merge, bulk-upsert or script")
                      .arg(name));
}

// The rejects file of --on-error skip; empty for stop.
QString rejectsPathOf(const QString& onError, const QString& rejects, bool rejectsGiven) {
    if (onError == QLatin1String("skip")) {
        if (rejects.isEmpty())
            runUsageError(QStringLiteral("--on-error skip needs --rejects FILE"));
        return rejects;
    }
    if (onError != QLatin1String("stop")) {
        runUsageError(QStringLiteral("--on-error '%1': choose stop or skip").arg(onError));
    }
    if (rejectsGiven) runUsageError(QStringLiteral("--rejects is used only with --on-error skip"));
    return {};
}

FieldMap fieldMapOf(const QString& text) {
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals <= 0) {
        runUsageError(QStringLiteral("--map '%1' is not SOURCE=TARGET or SOURCE=").arg(text));
    }
    return {text.left(equals), text.mid(equals + 1)};
}

int retrySecondsOf(const QString& text) {
    bool ok = false;
    const int seconds = text.toInt(&ok);
    if (!ok || seconds < 0) {
        runUsageError(QStringLiteral("--retry-for '%1' is not a number of seconds").arg(text));
    }
    return seconds;
}

double progressSecondsOf(const QString& text) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0) {
        runUsageError(QStringLiteral("--progress '%1' is not a number of seconds").arg(text));
    }
    return seconds;
}

// The job: a profile file, or --source [--source-table] and --target (the URL names the table).
void jobOf(const QCommandLineParser& parser, const QCommandLineOption& source,
           const QCommandLineOption& sourceTable, const QCommandLineOption& target,
           RunOptions& options) {
    const QStringList positional = parser.positionalArguments();
    const bool named = parser.isSet(source) || parser.isSet(target) || parser.isSet(sourceTable);
    if (!named) {
        if (positional.size() != 1) runUsageError(QStringLiteral("run needs one profile file"));
        options.profilePath = positional.first();
        return;
    }
    if (!positional.isEmpty())
        runUsageError(QStringLiteral("a profile file and --source or --target do not go together"));
    if (!parser.isSet(source) || !parser.isSet(target))
        runUsageError(QStringLiteral("--source FILE and --target URL go together"));
    options.sourcePath = parser.value(source);
    options.sourceTable = parser.value(sourceTable);
    options.target =
        parseTargetUrl(parser.value(target), true, QStringLiteral("keldara-cli run --help"));
}

std::variant<RunOptions, PrintAndExit> parseRun(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption help({"h", "help"}, {});
    const QCommandLineOption action({"a", "action"}, {}, "action");
    const QCommandLineOption match({"m", "match"}, {}, "field");
    const QCommandLineOption map("map", {}, "source=target");
    const QCommandLineOption dryRun({"n", "dry-run"}, {});
    const QCommandLineOption sourcePassword("source-password", {}, "password");
    const QCommandLineOption progress("progress", {}, "seconds");
    const QCommandLineOption sslMode("ssl-mode", {}, "mode");
    const QCommandLineOption sslCa("ssl-ca", {}, "file");
    const QCommandLineOption sslCert("ssl-cert", {}, "file");
    const QCommandLineOption sslKey("ssl-key", {}, "file");
    const QCommandLineOption emptyTarget("empty-target", {});
    const QCommandLineOption onError("on-error", {}, "stop|skip", QStringLiteral("stop"));
    const QCommandLineOption rejects("rejects", {}, "file");
    const QCommandLineOption retryFor("retry-for", {}, "seconds");
    const QCommandLineOption server("server", {}, "host[:port]");
    const QCommandLineOption resume("resume", {}, "statefile");
    const QCommandLineOption source("source", {}, "file");
    const QCommandLineOption sourceTable("source-table", {}, "table");
    const QCommandLineOption target("target", {}, "url");
    parser.addOptions({help,     action, match,   map,    dryRun,      sourcePassword, progress,
                       sslMode,  sslCa,  sslCert, sslKey, emptyTarget, onError,        rejects,
                       retryFor, server, resume,  source, sourceTable, target});
    if (!parser.parse(QStringList{QStringLiteral("keldara-cli run")} + arguments)) {
        runUsageError(parser.errorText());
    }
    if (parser.isSet(help)) return PrintAndExit{kRunHelp};

    if (!parser.isSet(action)) runUsageError(QStringLiteral("--action is missing"));
    RunOptions options;
    jobOf(parser, source, sourceTable, target, options);
    options.action = actionNamed(parser.value(action));
    options.matchField = parser.value(match);
    if (matchesRows(options.action) && options.matchField.isEmpty()) {
        runUsageError(QStringLiteral("--action %1 needs --match FIELD").arg(parser.value(action)));
    }
    if (!matchesRows(options.action) && parser.isSet(match)) {
        runUsageError(QStringLiteral(
            "--match is used only with --action merge, upsert, bulk-merge or bulk-upsert"));
    }
    if (options.action == Action::Script &&
        (parser.isSet(emptyTarget) || parser.isSet(onError) || parser.isSet(rejects))) {
        runUsageError(QStringLiteral(
            "--empty-target, --on-error and --rejects are not used with --action script"));
    }
    options.emptyTarget = parser.isSet(emptyTarget);
    if (options.emptyTarget && updatesOnly(options.action)) {
        runUsageError(QStringLiteral(
            "--empty-target is not used with --action merge or bulk-merge: they only update "
            "rows, and an emptied table has none (update-or-insert with upsert or bulk-upsert)"));
    }
    options.rejectsPath =
        rejectsPathOf(parser.value(onError), parser.value(rejects), parser.isSet(rejects));
    if (options.action == Action::Script && parser.isSet(map)) {
        runUsageError(
            QStringLiteral("--map is not used with --action script: the script "
                           "holds every source field"));
    }
    for (const QString& text : parser.values(map)) options.maps << fieldMapOf(text);
    options.dryRun = parser.isSet(dryRun);
    if (inBulk(options.action) && options.dryRun) {
        runUsageError(QStringLiteral(
            "--dry-run is not used with a bulk action: it asks the server about the table; "
            "see the records' statements with --action insert, merge or upsert --dry-run"));
    }
    if (options.dryRun && (options.emptyTarget || !options.rejectsPath.isEmpty())) {
        runUsageError(QStringLiteral(
            "--empty-target and --on-error skip are not used with --dry-run, which sends "
            "nothing"));
    }
    options.sourcePassword = parser.isSet(sourcePassword)
                                 ? parser.value(sourcePassword)
                                 : qEnvironmentVariable("KELDARA_SOURCE_PASSWORD");
    if (parser.isSet(sslMode)) {
        options.tls = tlsSettingsOf(parser, sslMode, sslCa, sslCert, sslKey,
                                    QStringLiteral("keldara-cli run --help"));
    } else if (parser.isSet(sslCa) || parser.isSet(sslCert) || parser.isSet(sslKey)) {
        runUsageError(QStringLiteral("--ssl-ca, --ssl-cert and --ssl-key need --ssl-mode"));
    }
    for (const QString& name : parser.values(server)) {
        if (name.trimmed().isEmpty() || name.contains(QLatin1Char(',')))
            runUsageError(QStringLiteral("--server '%1' is not HOST or HOST:PORT").arg(name));
        options.servers << name.trimmed();
    }
    options.resumePath = parser.value(resume);
    if (!options.resumePath.isEmpty() && (options.dryRun || options.action == Action::Script))
        runUsageError(QStringLiteral("--resume is not used with --dry-run or --action script"));
    if (parser.isSet(retryFor)) options.retrySeconds = retrySecondsOf(parser.value(retryFor));
    if (parser.isSet(progress)) options.progressSeconds = progressSecondsOf(parser.value(progress));
    return options;
}

}  // namespace

dao::mysql::TlsSettings tlsSettingsOf(const QCommandLineParser& parser,
                                      const QCommandLineOption& mode, const QCommandLineOption& ca,
                                      const QCommandLineOption& cert, const QCommandLineOption& key,
                                      const QString& helpCommand) {
    dao::mysql::TlsSettings tls;
    const QString modeName = parser.value(mode);
    const auto named = dao::mysql::tlsModeNamed(modeName);
    if (!named) {
        usageError(QStringLiteral("unknown --ssl-mode '%1': choose %2")
                       .arg(modeName, dao::mysql::tlsModeNames().join(QStringLiteral(", "))),
                   helpCommand);
    }
    tls.mode = *named;
    tls.caFile = parser.value(ca);
    tls.certFile = parser.value(cert);
    tls.keyFile = parser.value(key);
    if (tls.checksCertificate() && tls.caFile.isEmpty()) {
        usageError(QStringLiteral("--ssl-mode %1 needs --ssl-ca FILE").arg(modeName), helpCommand);
    }
    if (tls.certFile.isEmpty() != tls.keyFile.isEmpty()) {
        usageError(QStringLiteral("--ssl-cert and --ssl-key go together"), helpCommand);
    }
    return tls;
}

bool matchesRows(Action action) {
    return action == Action::Merge || action == Action::Upsert || action == Action::BulkMerge ||
           action == Action::BulkUpsert;
}

bool updatesOnly(Action action) {
    return action == Action::Merge || action == Action::BulkMerge;
}

bool inBulk(Action action) {
    return action == Action::Bulk || action == Action::BulkMerge || action == Action::BulkUpsert;
}

std::variant<RunOptions, PrintAndExit> parseCommandLine(const QStringList& arguments) {
    const QString first = arguments.value(0);
    if (first == QLatin1String("-h") || first == QLatin1String("--help")) {
        return PrintAndExit{kProgramHelp};
    }
    if (first == QLatin1String("--version")) {
        return PrintAndExit{
            QStringLiteral("keldara-cli %1\n").arg(QStringLiteral(KELDARA_VERSION))};
    }
    const QString helpCommand = QStringLiteral("keldara-cli --help");
    if (first.isEmpty()) usageError(QStringLiteral("no command given"), helpCommand);
    if (first != QLatin1String("run")) {
        usageError(QStringLiteral("unknown command '%1'").arg(first), helpCommand);
    }
    return parseRun(arguments.mid(1));
}

}  // namespace keldara::cli

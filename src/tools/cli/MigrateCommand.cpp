#include "tools/cli/MigrateCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <atomic>
#include <csignal>
#include <cstdio>

#include "platform/dao/DaoError.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "profiles/ProfileFile.h"
#include "shell/ProcedureError.h"
#include "source/WholeSource.h"
#include "target/DBBits.h"
#include "tools/cli/TargetPassword.h"
#include "transfer/TableFacts.h"
#include "transfer/migration/MigrationPlan.h"
#include "transfer/migration/MigrationRun.h"

namespace keldara::cli {

namespace {

using namespace transfer::migration;

const QString kHelpCommand = QStringLiteral("keldara-cli migrate --help");

const QString kMigrateHelp = QStringLiteral(R"(Usage: keldara-cli migrate SOURCE TARGET [OPTION]...

Moves every table of SOURCE into the MySQL database TARGET in one run, with its
structure: primary keys, indexes, relationships as foreign keys, AutoNumber
counters, Required fields, defaults and descriptions where the source has them.

SOURCE is a file (.mdb, .accdb, .xls, .xlsx, .xlsm, .ods, .dbf, .csv, .txt) or a
folder of .dbf or .csv/.txt files. TARGET is mysql://USER@HOST[:PORT]/DATABASE
(blanks as %20) or a profile file (.pro) whose server, user and database are used.
The database is created when missing.

Options:
      --tables A,B           only these source tables
      --exclude C,D          every table but these
      --if-exists MODE       what to do with a table that exists already:
                             fail (the default: name them all and change nothing),
                             skip, replace (drop and create it), append
  -j, --jobs N               tables loaded at once (default 2)
      --report FILE          write the report as JSON to FILE
  -n, --dry-run              print the DDL (CREATE TABLEs, then the ALTER TABLEs
                             adding relationships); the server is not contacted
      --resume STATEFILE     keep what the run has done in STATEFILE: a run
                             stopped, killed or cut off and started again with the
                             same STATEFILE leaves the tables it finished and loads
                             the others again; a completed run removes it
      --retry-for SECONDS    for how long a lost connection is retried (default 60)
      --source-password P    the password of an Access source file
      --ssl-mode MODE, --ssl-ca FILE, --ssl-cert FILE, --ssl-key FILE
                             as for run
  -h, --help                 show this help and exit

Environment:
  KELDARA_MYSQL_PASSWORD     the MySQL password; without it the keyring's, then a
                             prompt on a terminal
  KELDARA_SOURCE_PASSWORD    the source file's password

Exit status:
  0  every table was moved and holds the source's rows
  1  a table failed or the run was stopped (the report names it)
  2  a usage error, a source or server that cannot be opened, or tables that
     exist where --if-exists is fail (nothing was changed)

Examples:
  keldara-cli migrate Northwind.mdb mysql://admin@db.example.com/northwind
  keldara-cli migrate exports/ mysql://admin@localhost:3307/sales --jobs 4
  keldara-cli migrate Northwind.mdb mysql://admin@localhost/nw --dry-run > nw.sql
)");

// A stop asked for by Ctrl+C: the tables being loaded stop, no other is begun.
std::atomic<bool> interrupted = false;

void onInterrupt(int /*signal*/) {
    interrupted = true;
}

QStringList listOf(const QString& text) {
    QStringList names;
    for (const QString& name : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        names << name.trimmed();
    return names;
}

int jobsOf(const QString& text) {
    bool ok = false;
    const int jobs = text.toInt(&ok);
    if (!ok || jobs < 1 || jobs > 64)
        usageError(QStringLiteral("--jobs '%1' is not a number from 1 to 64").arg(text),
                   kHelpCommand);
    return jobs;
}

}  // namespace

std::variant<MigrateOptions, PrintAndExit> parseMigrate(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption help({"h", "help"}, {});
    const QCommandLineOption tables("tables", {}, "names");
    const QCommandLineOption exclude("exclude", {}, "names");
    const QCommandLineOption ifExists("if-exists", {}, "mode", QStringLiteral("fail"));
    const QCommandLineOption jobs({"j", "jobs"}, {}, "n");
    const QCommandLineOption report("report", {}, "file");
    const QCommandLineOption dryRun({"n", "dry-run"}, {});
    const QCommandLineOption resume("resume", {}, "statefile");
    const QCommandLineOption retryFor("retry-for", {}, "seconds");
    const QCommandLineOption sourcePassword("source-password", {}, "password");
    const QCommandLineOption sslMode("ssl-mode", {}, "mode");
    const QCommandLineOption sslCa("ssl-ca", {}, "file");
    const QCommandLineOption sslCert("ssl-cert", {}, "file");
    const QCommandLineOption sslKey("ssl-key", {}, "file");
    parser.addOptions({help, tables, exclude, ifExists, jobs, report, dryRun, resume, retryFor,
                       sourcePassword, sslMode, sslCa, sslCert, sslKey});
    if (!parser.parse(QStringList{QStringLiteral("keldara-cli migrate")} + arguments))
        usageError(parser.errorText(), kHelpCommand);
    if (parser.isSet(help)) return PrintAndExit{kMigrateHelp};
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2)
        usageError(QStringLiteral("migrate needs SOURCE and TARGET"), kHelpCommand);
    MigrateOptions options;
    options.sourcePath = positional[0];
    if (positional[1].startsWith(QLatin1String("mysql:")))
        options.target = parseTargetUrl(positional[1], false, kHelpCommand);
    else
        options.profilePath = positional[1];
    options.tables = listOf(parser.value(tables));
    options.excluded = listOf(parser.value(exclude));
    if (!options.tables.isEmpty() && !options.excluded.isEmpty())
        usageError(QStringLiteral("--tables and --exclude do not go together"), kHelpCommand);
    options.ifExists = parser.value(ifExists);
    if (!QStringList{"fail", "skip", "replace", "append"}.contains(options.ifExists))
        usageError(QStringLiteral("--if-exists '%1': choose fail, skip, replace or append")
                       .arg(options.ifExists),
                   kHelpCommand);
    if (parser.isSet(jobs)) options.jobs = jobsOf(parser.value(jobs));
    options.reportPath = parser.value(report);
    options.dryRun = parser.isSet(dryRun);
    options.resumePath = parser.value(resume);
    if (options.dryRun && !options.resumePath.isEmpty())
        usageError(QStringLiteral("--resume is not used with --dry-run"), kHelpCommand);
    if (parser.isSet(retryFor)) {
        bool ok = false;
        options.retrySeconds = parser.value(retryFor).toInt(&ok);
        if (!ok || options.retrySeconds < 0)
            usageError(QStringLiteral("--retry-for '%1' is not a number of seconds")
                           .arg(parser.value(retryFor)),
                       kHelpCommand);
    }
    options.sourcePassword = parser.isSet(sourcePassword)
                                 ? parser.value(sourcePassword)
                                 : qEnvironmentVariable("KELDARA_SOURCE_PASSWORD");
    if (parser.isSet(sslMode))
        options.tls = tlsSettingsOf(parser, sslMode, sslCa, sslCert, sslKey, kHelpCommand);
    else if (parser.isSet(sslCa) || parser.isSet(sslCert) || parser.isSet(sslKey))
        usageError(QStringLiteral("--ssl-ca, --ssl-cert and --ssl-key need --ssl-mode"),
                   kHelpCommand);
    return options;
}

namespace {

// The source's tables, those --tables and --exclude choose.
source::WholeSource sourceTables(const MigrateOptions& options) {
    if (!QFileInfo::exists(options.sourcePath))
        throw SetupError{
            QStringLiteral("the source \"%1\" does not exist").arg(options.sourcePath)};
    try {
        source::WholeSource tables = source::OpenWholeSource(
            options.sourcePath, options.sourcePassword, transfer::StreamedBulkRows);
        for (const QString& name : options.tables + options.excluded) {
            if (!tables.names.contains(name))
                throw SetupError{QStringLiteral("the source has no table \"%1\"").arg(name)};
        }
        if (!options.tables.isEmpty()) tables.names = options.tables;
        for (const QString& name : options.excluded) tables.names.removeAll(name);
        return tables;
    } catch (const SetupError&) {
        throw;
    } catch (const std::exception& e) {
        throw SetupError{QStringLiteral("cannot open the source \"%1\": %2")
                             .arg(options.sourcePath, shell::errorDescription(e))};
    }
}

// Where the migration writes: the URL's server and database, or a profile's.
struct Target {
    QString server, port, user, password, database;
    dao::mysql::TlsSettings tls;
};

Target targetOf(const MigrateOptions& options) {
    Target target;
    profiles::Profile profile;
    if (options.target) {
        target.server = options.target->host;
        target.port = options.target->port;
        target.user = options.target->user;
        target.database = options.target->database;
    } else {
        const auto read = profiles::readProfileFile(options.profilePath);
        if (!read)
            throw SetupError{QStringLiteral("\"%1\" is neither a mysql:// URL nor a Keldara "
                                            "profile file")
                                 .arg(options.profilePath)};
        profile = *read;
        target.server = profile.server;
        target.port = profile.port;
        target.user = profile.user;
        target.database = profile.database;
        if (target.database.isEmpty())
            throw SetupError{
                QStringLiteral("the profile \"%1\" names no database").arg(options.profilePath)};
    }
    target.tls = profiles::tlsForRun(options.tls, profile);
    target.password = targetPassword(target.server, target.port, target.user, profile.password,
                                     options.target.has_value());
    return target;
}

QString connectionString(const Target& target, const QString& database) {
    return target::ConnectionString(target.server, target.user, target.password, database,
                                    target.port) +
           dao::mysql::tlsConnectionStringClause(target.tls) + QStringLiteral(";COPY=1");
}

// Connects, creating the database when it is missing; a server that cannot be reached or a
// wrong password is a SetupError before anything is written.
void createDatabase(const Target& target) {
    try {
        const auto server = dao::openConnection(connectionString(target, {}));
        server->execute(QStringLiteral("CREATE DATABASE IF NOT EXISTS %1 CHARACTER SET utf8mb4")
                            .arg(dao::mysql::QuoteIdentifier(target.database)));
    } catch (const std::exception& e) {
        throw SetupError{QStringLiteral("cannot connect to the MySQL server \"%1\" (port %2, user "
                                        "\"%3\") and create the database \"%4\": %5")
                             .arg(target.server, target.port, target.user, target.database,
                                  shell::errorDescription(e))};
    }
}

// Progress on standard error: a line a table.
class LineProgress : public MigrationProgress {
  public:
    explicit LineProgress(std::size_t tables) : tables_(tables) {}
    void tableStarted(const QString& target, long rows) override {
        printMessage(QStringLiteral("%1: loading %2 rows").arg(target, QString::number(rows)));
    }
    void tableDone(const TableReport& table) override {
        QMutexLocker lock(&mutex_);
        ++done_;
        const QString state = !table.error.isEmpty() ? QStringLiteral("FAILED: ") + table.error
                              : table.stopped        ? QStringLiteral("stopped")
                              : table.skipped        ? QStringLiteral("exists, skipped")
                              : table.earlier        ? QStringLiteral("moved earlier")
                                              : QStringLiteral("%1 rows").arg(table.rowsWritten);
        printMessage(
            QStringLiteral("%1: %2 (%3 of %4 tables)")
                .arg(table.target, state, QString::number(done_), QString::number(tables_)));
    }
    bool stopRequested() override { return interrupted; }

  private:
    QMutex mutex_;
    std::size_t tables_;
    std::size_t done_ = 0;
};

IfExists ifExistsOf(const QString& mode) {
    if (mode == QLatin1String("skip")) return IfExists::Skip;
    if (mode == QLatin1String("replace")) return IfExists::Replace;
    if (mode == QLatin1String("append")) return IfExists::Append;
    return IfExists::Fail;
}

void writeReport(const QString& path, const MigrationReport& report) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(report.json()) < 0) {
        printMessage(
            QStringLiteral("cannot write the report \"%1\": %2").arg(path, file.errorString()));
    }
}

}  // namespace

int runMigrate(const MigrateOptions& options) {
    const source::WholeSource tables = sourceTables(options);
    std::vector<TableReport> refused;
    dao::DatabaseSchema schema;
    try {
        for (const auto& [table, error] : source::ReadWholeSchema(tables, schema)) {
            TableReport report;
            report.source = report.target = table;
            report.error = error;
            refused.push_back(report);
        }
    } catch (const std::exception& e) {
        throw SetupError{QStringLiteral("cannot read the structure of \"%1\": %2")
                             .arg(options.sourcePath, shell::errorDescription(e))};
    }
    const MigrationPlan plan =
        PlanMigration(schema, tables.targetNames, source::LongestTexts(tables));
    if (options.dryRun) {
        std::fputs(MigrationScript(plan).toUtf8().constData(), stdout);
        for (const TableReport& table : refused)
            printMessage(QStringLiteral("%1: left out: %2").arg(table.source, table.error));
        return refused.empty() ? 0 : 1;
    }
    const Target target = targetOf(options);
    createDatabase(target);
    MigrationEnds ends;
    ends.openTable = tables.open;
    ends.connect = [&] { return dao::openConnection(connectionString(target, target.database)); };
    MigrationOptions run;
    run.ifExists = ifExistsOf(options.ifExists);
    run.jobs = options.jobs;
    run.retryForSeconds = options.retrySeconds;
    run.statePath = options.resumePath;
    run.sourceName = QFileInfo(options.sourcePath).absoluteFilePath();
    std::signal(SIGINT, onInterrupt);
    LineProgress progress(plan.tables.size());
    MigrationReport report;
    try {
        report = Migrate(plan, ends, run, progress);
    } catch (const MigrationRefused& refusal) {
        throw SetupError{refusal.message +
                         QStringLiteral(" (--if-exists skip, replace or append say what to do "
                                        "with them)")};
    } catch (const std::exception& e) {
        throw SetupError{QStringLiteral("cannot migrate into \"%1\": %2")
                             .arg(target.database, shell::errorDescription(e))};
    }
    report.tables.insert(report.tables.end(), refused.begin(), refused.end());
    std::fputs(report.text().toUtf8().constData(), stdout);
    if (!options.reportPath.isEmpty()) writeReport(options.reportPath, report);
    return report.failed() || report.stopped ? 1 : 0;
}

}  // namespace keldara::cli

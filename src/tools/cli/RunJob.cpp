#include "tools/cli/RunJob.h"

#include <unistd.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>
#include <memory>
#include <optional>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "profiles/ProfileFile.h"
#include "shell/ProcedureError.h"
#include "source/SourceFiles.h"
#include "target/DBBits.h"
#include "tools/cli/FieldPairs.h"
#include "tools/cli/ProgressReporter.h"
#include "tools/cli/ResumeState.h"
#include "tools/cli/StatementPrinter.h"
#include "tools/cli/TargetPassword.h"
#include "transfer/CreateTableScript.h"
#include "transfer/SqlText.h"
#include "transfer/TableFacts.h"
#include "transfer/Transfer.h"

namespace keldara::cli {

namespace {

using profiles::Profile;

// The table the script creates, as the window's script action names it.
const QString kScriptTable = QStringLiteral("Tester");

void requireChoice(const QString& value, const QString& what, const QString& profilePath) {
    if (value.trimmed().isEmpty()) {
        throw SetupError{QStringLiteral("the profile \"%1\" names no %2; save it again from "
                                        "Keldara with the %2 chosen")
                             .arg(profilePath, what)};
    }
}

Profile openProfile(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        throw SetupError{QStringLiteral("the profile \"%1\" does not exist").arg(path)};
    }
    std::optional<Profile> profile = profiles::readProfileFile(path);
    if (!profile) {
        throw SetupError{
            QStringLiteral("\"%1\" cannot be read as a Keldara profile file").arg(path)};
    }
    requireChoice(profile->sourceFile, QStringLiteral("source file"), path);
    requireChoice(profile->sourceTable, QStringLiteral("source table"), path);
    return *profile;
}

// The source records, streamed where the source's provider can: the table is not held whole.
std::unique_ptr<dao::Recordset> readSource(const Profile& profile, const QString& password) {
    const QString file = profile.sourceFile.trimmed();
    if (!QFileInfo(file).isFile()) {
        throw SetupError{QStringLiteral("the source file \"%1\" that the profile names does not "
                                        "exist; check the path or the profile")
                             .arg(file)};
    }
    std::unique_ptr<dao::Connection> connection;
    try {
        connection = source::OpenSourceConnection(file, source::SourcePasswordClause(password));
    } catch (const std::exception& e) {
        const QString kind = source::SourceFileKind(file);
        const bool access = kind == QLatin1String("mdb") || kind == QLatin1String("accdb");
        throw SetupError{QStringLiteral("cannot open the source file \"%1\": %2%3")
                             .arg(file, shell::errorDescription(e),
                                  access ? QStringLiteral(" (a password goes in --source-password "
                                                          "or KELDARA_SOURCE_PASSWORD)")
                                         : QString())};
    }
    try {
        return connection->openStreamedRecordset(
            QStringLiteral("SELECT * FROM [") + profile.sourceTable + QLatin1Char(']'),
            transfer::StreamedBulkRows);
    } catch (const std::exception& e) {
        throw SetupError{QStringLiteral("cannot read the source table \"%1\" of \"%2\": %3")
                             .arg(profile.sourceTable, file, shell::errorDescription(e))};
    }
}

// The job a run without a profile names by --source, --source-table and --target.
Profile profileOfOptions(const RunOptions& options) {
    Profile profile;
    profile.sourceFile = options.sourcePath;
    profile.sourceTable = options.sourceTable;
    if (profile.sourceTable.isEmpty()) {
        // A text or dBase file is its own one table; other files name theirs.
        const QString kind = source::SourceFileKind(options.sourcePath);
        if (kind != QLatin1String("csv") && kind != QLatin1String("txt") &&
            kind != QLatin1String("dbf")) {
            throw SetupError{QStringLiteral("--source-table TABLE is missing: \"%1\" holds tables "
                                            "of its own; name the one to read")
                                 .arg(options.sourcePath)};
        }
        profile.sourceTable = source::FileNameOfPath(options.sourcePath);
    }
    if (options.target) {
        profile.server = options.target->host;
        profile.port = options.target->port;
        profile.user = options.target->user;
        profile.database = options.target->database;
        profile.targetTable = options.target->table;
    }
    return profile;
}

QStringList fieldNames(const dao::Recordset& records) {
    QStringList names;
    for (int i = 0; i < records.fieldCount(); ++i) names << records.fieldInfo(i).name;
    return names;
}

// The profile's server, or the servers `servers` name in its place (a list the connection
// tries in turn). A job without a profile file may ask for the password.
std::unique_ptr<dao::Connection> connectTarget(const Profile& profile,
                                               const dao::mysql::TlsSettings& tls,
                                               const QStringList& servers, bool mayAsk) {
    const QString server = servers.isEmpty() ? profile.server : servers.join(QLatin1Char(','));
    const QString password =
        targetPassword(profile.server, profile.port, profile.user, profile.password, mayAsk);
    try {
        return dao::openConnection(target::ConnectionString(server, profile.user, password,
                                                            profile.database, profile.port) +
                                   dao::mysql::tlsConnectionStringClause(tls));
    } catch (const std::exception& e) {
        throw SetupError{QStringLiteral("cannot connect to the MySQL server \"%1\" (port %2, "
                                        "user \"%3\", database \"%4\"): %5; check the profile "
                                        "or KELDARA_MYSQL_PASSWORD")
                             .arg(server, profile.port, profile.user, profile.database,
                                  shell::errorDescription(e))};
    }
}

QStringList targetFieldNames(dao::Connection& target, const QString& table) {
    try {
        const auto fields =
            target.openRecordset(QStringLiteral("SELECT * FROM ") +
                                 dao::mysql::QuoteIdentifier(table) + QStringLiteral(" LIMIT 0"));
        return fieldNames(*fields);
    } catch (const std::exception& e) {
        throw SetupError{QStringLiteral("cannot read the target table \"%1\": %2")
                             .arg(table, shell::errorDescription(e))};
    }
}

void writeOut(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

QString recordsText(long count) {
    return count == 1 ? QStringLiteral("1 record") : QStringLiteral("%1 records").arg(count);
}

// The records skipped into the rejects file, when there are any.
QString refusedText(const RunOptions& options, const transfer::TransferResult& result) {
    if (result.recordsRefused == 0) return {};
    return QStringLiteral("; %1 refused, listed in \"%2\"")
        .arg(recordsText(result.recordsRefused), options.rejectsPath);
}

// What the summary says of a run that completed.
QString completedText(const RunOptions& options, const transfer::TransferResult& result) {
    const QString records = recordsText(result.recordsDone);
    if (options.action == Action::Script)
        return records + QStringLiteral(" written into the script");
    if (options.dryRun) return records + QStringLiteral(" printed as statements, none sent");
    QString text = recordsText(result.recordsWritten()) + QStringLiteral(" sent");
    if (options.action == Action::Upsert || options.action == Action::BulkUpsert) {
        text += QStringLiteral(": %1 updated, %2 inserted")
                    .arg(result.recordsUpdated)
                    .arg(result.recordsInserted);
    }
    if (options.action == Action::Merge || options.action == Action::BulkMerge) {
        text += QStringLiteral(", %1 matched no target row").arg(result.recordsUnmatched);
    }
    return text + refusedText(options, result);
}

QString endedText(const RunOptions& options, const transfer::TransferResult& result, long total) {
    const QString record = QStringLiteral("record %1 of %2").arg(result.endedAtRecord).arg(total);
    QString kept;
    if (result.undone) {
        kept = QStringLiteral("; the run is undone: the target table holds what it held before");
    } else if (options.action != Action::Script && !options.dryRun) {
        kept = result.recordsWritten() == 0
                   ? QStringLiteral("; nothing was sent")
                   : QStringLiteral("; the records before it (%1) stay in the target table")
                         .arg(result.recordsWritten());
        kept += refusedText(options, result);
    }
    if (result.outcome == transfer::TransferResult::Outcome::Stopped) {
        return QStringLiteral("stopped on request before ") + record + kept;
    }
    if (result.lostAfterLastRecord) return transfer::lostConnectionText(result);
    if (result.connectionLost)
        return record + QStringLiteral(": ") + transfer::lostConnectionText(result);
    const QString failed = options.action == Action::Script
                               ? QStringLiteral(" could not be written into the script: ")
                               : QStringLiteral(" was refused: ");
    return record + failed + result.errorDescription + kept;
}

ExitStatus finishRun(const RunOptions& options, const transfer::TransferResult& result, long total,
                     const QElapsedTimer& clock) {
    for (const QString& note : result.resumeNotes) printMessage(note);
    const QString time = QStringLiteral(" (%1)").arg(durationText(clock.elapsed() / 1000.0));
    if (result.completed()) {
        printMessage(completedText(options, result) + time);
        return result.recordsRefused == 0 ? AllSent : StoppedAtRecord;
    }
    if (result.endedAtRecord == 0) throw SetupError{result.errorDescription};
    printMessage(endedText(options, result, total) + time);
    return StoppedAtRecord;
}

transfer::TransferResult printScript(const dao::Recordset& records, ProgressReporter& progress) {
    const transfer::ScriptResult script =
        transfer::CreateTableScript(kScriptTable, records, progress);
    writeOut(script.script);
    return script;
}

// Where a resumed run goes on: after the records the earlier run confirmed, with those it may
// have written meanwhile in doubt, its refused records listed after the earlier ones.
void resumeChoices(transfer::RunChoices& choices, const ResumeState& resumed,
                   transfer::RejectsFile* rejects) {
    choices.emptyTarget = false;
    choices.resumeAt = resumed.confirmed;
    choices.inDoubtUntil = resumed.inDoubtUntil;
    choices.refusedBefore = resumed.refused;
    choices.rowsAtStart = resumed.rowsAtStart;
    try {
        if (rejects) rejects->continueAfter(resumed.rejectsSize, resumed.refused);
    } catch (const std::runtime_error& e) {
        throw SetupError{QString::fromUtf8(e.what())};
    }
}

// The engine's name of an action that writes records.
QString transferAction(Action action) {
    switch (action) {
        case Action::Merge:
            return QStringLiteral("UPDATE");
        case Action::Upsert:
            return QStringLiteral("UPSERT");
        case Action::Bulk:
            return QStringLiteral("BULK");
        case Action::BulkMerge:
            return QStringLiteral("BULK-MERGE");
        case Action::BulkUpsert:
            return QStringLiteral("BULK-UPSERT");
        default:
            return QStringLiteral("INSERT");
    }
}

transfer::TransferResult transferRecords(const RunOptions& options, const Profile& profile,
                                         const dao::Recordset& records, dao::Connection& target,
                                         const QStringList& targetNames,
                                         transfer::TransferProgress& progress,
                                         const std::optional<ResumeState>& resumed,
                                         transfer::RejectsFile* rejects) {
    const shell::FieldPairing pairing = pairFields(fieldNames(records), targetNames, options.maps);
    const QString match = matchesRows(options.action)
                              ? matchTargetName(options.matchField, targetNames, pairing)
                              : QString();
    transfer::RunChoices choices;
    choices.emptyTarget = options.emptyTarget;
    choices.retryForSeconds = options.dryRun ? 0 : options.retrySeconds;
    choices.resumable = !options.resumePath.isEmpty();
    choices.rejects = rejects;
    if (resumed) resumeChoices(choices, *resumed, rejects);
    StatementPrinter printer(stdout);
    dao::Connection& destination = options.dryRun ? printer : target;
    choices.literalStatements = options.dryRun;
    return transfer::Transfer(transferAction(options.action), profile.targetTable, match, records,
                              pairing, destination, progress, choices);
}

// The state of this run as --resume keeps it: what identifies the run, from record 1.
ResumeState stateOf(const RunOptions& options, const Profile& profile) {
    ResumeState state;
    state.profile = QFileInfo(options.profilePath).absoluteFilePath();
    state.source = QFileInfo(profile.sourceFile.trimmed()).absoluteFilePath() +
                   QStringLiteral(" | ") + profile.sourceTable;
    state.target = QStringList{options.servers.isEmpty() ? profile.server
                                                         : options.servers.join(QLatin1Char(',')),
                               profile.port, profile.database, profile.targetTable}
                       .join(QStringLiteral(" | "));
    state.action = QStringLiteral("%1 %2 %3")
                       .arg(static_cast<int>(options.action))
                       .arg(options.matchField, options.emptyTarget ? "empty-target" : "");
    return state;
}

// The earlier run's state when --resume names a file of the same run; refuses another run's.
// A run that was to empty the table and confirmed no record starts anew.
std::optional<ResumeState> resumedState(const RunOptions& options, const ResumeState& current) {
    if (options.resumePath.isEmpty()) return std::nullopt;
    std::optional<ResumeState> earlier = readResumeState(options.resumePath);
    if (earlier && options.emptyTarget && earlier->sameRunAs(current) && earlier->confirmed == 0) {
        printMessage(QStringLiteral("\"%1\": the earlier run confirmed no record; this one "
                                    "starts again from the first, emptying the table first")
                         .arg(options.resumePath));
        return std::nullopt;
    }
    if (earlier && !earlier->sameRunAs(current)) {
        throw SetupError{
            QStringLiteral("--resume \"%1\" is the state of another run (%2, %3 into "
                           "%4); give this run a state file of its own")
                .arg(options.resumePath, earlier->profile, earlier->source, earlier->target)};
    }
    return earlier;
}

}  // namespace

ExitStatus runProfile(const RunOptions& options) {
    QElapsedTimer clock;
    clock.start();
    const Profile profile = options.profilePath.isEmpty() ? profileOfOptions(options)
                                                          : openProfile(options.profilePath);
    // The server first, so that a wrong password is told before a large source is read.
    std::unique_ptr<dao::Connection> target;
    QStringList targetNames;
    if (options.action != Action::Script) {
        requireChoice(profile.database, QStringLiteral("database"), options.profilePath);
        requireChoice(profile.targetTable, QStringLiteral("target table"), options.profilePath);
        target = connectTarget(profile, profiles::tlsForRun(options.tls, profile), options.servers,
                               options.profilePath.isEmpty());
        targetNames = targetFieldNames(*target, profile.targetTable);
    }
    const std::unique_ptr<dao::Recordset> records = readSource(profile, options.sourcePassword);
    ProgressReporter progress(stderr, isatty(STDERR_FILENO) != 0, options.progressSeconds);
    if (!target) {
        const transfer::TransferResult result = printScript(*records, progress);
        progress.finish();
        return finishRun(options, result, records->recordCount(), clock);
    }
    const ResumeState current = stateOf(options, profile);
    const std::optional<ResumeState> resumed = resumedState(options, current);
    std::optional<transfer::RejectsFile> rejects;
    if (!options.rejectsPath.isEmpty()) rejects.emplace(options.rejectsPath);
    std::optional<StateKeepingProgress> keeping;
    if (!options.resumePath.isEmpty()) {
        keeping.emplace(progress, options.resumePath, resumed.value_or(current),
                        rejects ? &*rejects : nullptr);
    }
    if (resumed) {
        printMessage(QStringLiteral("resuming after record %1 (\"%2\")")
                         .arg(resumed->confirmed)
                         .arg(options.resumePath));
    }
    transfer::TransferResult result =
        transferRecords(options, profile, *records, *target, targetNames,
                        keeping ? static_cast<transfer::TransferProgress&>(*keeping) : progress,
                        resumed, rejects ? &*rejects : nullptr);
    // Those of every part of the run.
    if (rejects) result.recordsRefused = rejects->count();
    progress.finish();
    return finishRun(options, result, records->recordCount(), clock);
}

}  // namespace keldara::cli

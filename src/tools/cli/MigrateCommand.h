#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

#include "platform/dao/mysql/TlsSettings.h"
#include "tools/cli/CommandLine.h"
#include "tools/cli/TargetUrl.h"

namespace keldara::cli {

struct MigrateOptions {
    QString sourcePath;  // a file, or a folder of .dbf or .csv/.txt files
    std::optional<TargetUrl> target;
    QString profilePath;  // a profile standing in for the target URL
    QStringList tables;   // --tables: only these (source names)
    QStringList excluded;
    QString ifExists = QStringLiteral("fail");
    int jobs = 2;
    QString reportPath;
    bool dryRun = false;
    QString resumePath;
    QString sourcePassword;
    std::optional<dao::mysql::TlsSettings> tls;
    int retrySeconds = 60;
};

// `arguments` after "migrate". Throws SetupError for a usage error.
std::variant<MigrateOptions, PrintAndExit> parseMigrate(const QStringList& arguments);

// Moves the source's tables into the target database; the report to standard output,
// progress to standard error. 0: every table moved; 1: a table failed or the run was stopped;
// 2 (SetupError): nothing could start.
int runMigrate(const MigrateOptions& options);

}  // namespace keldara::cli

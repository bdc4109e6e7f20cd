#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace keldara::test {

// How a run of the built keldara-cli ended: its exit status (-1 when it crashed) and output.
struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs `command` (the built keldara-cli, or a launcher before it) with `arguments` in
// `environment` to its end.
inline CliRun runCommand(const QStringList& command, const QStringList& arguments,
                         const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(command.first(), command.mid(1) + arguments);
    process.waitForFinished(600000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace keldara::test

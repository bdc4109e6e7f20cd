#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace keldara::test {

struct ProcessResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end (at most `timeoutMs`), in `workingDirectory` when one is given,
// and returns its exit code and output.
ProcessResult runProcess(const QString& program, const QStringList& arguments,
                         int timeoutMs = 120000, const QString& workingDirectory = {});

}  // namespace keldara::test

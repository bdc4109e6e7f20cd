// keldara-cli: runs a saved profile's transfer without a window, for scheduled imports.
// "keldara-cli --help" and "keldara-cli run --help" describe its use.
#include <QCoreApplication>
#include <cstdio>

#include "tools/cli/CommandLine.h"
#include "tools/cli/RunJob.h"

using namespace keldara::cli;

namespace {

int runCommandLine(const QStringList& arguments) {
    const auto parsed = parseCommandLine(arguments);
    if (const auto* print = std::get_if<PrintAndExit>(&parsed)) {
        std::fputs(print->text.toUtf8().constData(), stdout);
        return 0;
    }
    return runProfile(std::get<RunOptions>(parsed));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    try {
        return runCommandLine(app.arguments().mid(1));
    } catch (const SetupError& error) {
        std::fputs((QStringLiteral("keldara-cli: ") + error.message + QLatin1Char('\n'))
                       .toUtf8()
                       .constData(),
                   stderr);
        return CannotStart;
    }
}

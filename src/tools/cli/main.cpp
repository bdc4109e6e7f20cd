// keldara-cli: runs a saved profile's transfer, or moves a whole database, without a window.
// "keldara-cli --help", "keldara-cli run --help" and "keldara-cli migrate --help" describe it.
#include <QCoreApplication>
#include <cstdio>

#include "platform/FreedMemory.h"
#include "tools/cli/CommandLine.h"
#include "tools/cli/MigrateCommand.h"
#include "tools/cli/RunJob.h"

using namespace keldara::cli;

namespace {

int runCommandLine(const QStringList& arguments) {
    if (arguments.value(0) == QLatin1String("migrate")) {
        const auto parsed = parseMigrate(arguments.mid(1));
        if (const auto* print = std::get_if<PrintAndExit>(&parsed)) {
            std::fputs(print->text.toUtf8().constData(), stdout);
            return 0;
        }
        return runMigrate(std::get<MigrateOptions>(parsed));
    }
    const auto parsed = parseCommandLine(arguments);
    if (const auto* print = std::get_if<PrintAndExit>(&parsed)) {
        std::fputs(print->text.toUtf8().constData(), stdout);
        return 0;
    }
    return runProfile(std::get<RunOptions>(parsed));
}

}  // namespace

int main(int argc, char** argv) {
    keldara::platform::keepFreedMemory();
    QCoreApplication app(argc, argv);
    try {
        return runCommandLine(app.arguments().mid(1));
    } catch (const SetupError& error) {
        printMessage(error.message);
        return CannotStart;
    }
}

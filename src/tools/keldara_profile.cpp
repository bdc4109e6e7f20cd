// keldara-profile: writes a profile file with the window's own profile code.
//   keldara-profile OUT.pro --source-file F --source-table T --server S --port N
//                   --user U --password P --database D --table T
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <cstdio>

#include "profiles/ProfileFile.h"

using namespace keldara::profiles;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Writes a Keldara profile file.");
    parser.addPositionalArgument("file", "the profile file to write");
    struct Option {
        const char* name;
        QString Profile::*field;
    } const options[] = {
        {"source-file", &Profile::sourceFile},
        {"source-table", &Profile::sourceTable},
        {"server", &Profile::server},
        {"port", &Profile::port},
        {"user", &Profile::user},
        {"password", &Profile::password},
        {"database", &Profile::database},
        {"table", &Profile::targetTable},
    };
    for (const Option& option : options) {
        parser.addOption({QString::fromLatin1(option.name), QString(), QStringLiteral("text")});
    }
    parser.process(app);
    if (parser.positionalArguments().size() != 1) {
        std::fputs("usage: keldara-profile OUT.pro --server S --port N ...\n", stderr);
        return 2;
    }
    Profile profile;
    profile.port = QStringLiteral("3306");
    for (const Option& option : options) {
        const QString name = QString::fromLatin1(option.name);
        if (parser.isSet(name)) profile.*option.field = parser.value(name);
    }
    if (const QString problem = profileProblem(profile); !problem.isEmpty()) {
        std::fprintf(stderr, "keldara-profile: %s\n", qPrintable(problem));
        return 1;
    }
    const auto record = recordFromProfile(profile, QDateTime::currentDateTime());
    const QString path = parser.positionalArguments().first();
    if (!WriteProfile(path, *record)) {
        std::fprintf(stderr, "keldara-profile: cannot write %s\n", qPrintable(path));
        return 1;
    }
    return 0;
}

#include "tools/cli/TargetPassword.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "platform/PasswordKeyring.h"

namespace keldara::cli {

namespace {

// Reads a line from the terminal on standard input without echoing it.
QString askHidden(const QString& prompt) {
    std::fputs(prompt.toUtf8().constData(), stderr);
    std::fflush(stderr);
    termios before{};
    const bool terminal = tcgetattr(STDIN_FILENO, &before) == 0;
    if (terminal) {
        termios hidden = before;
        hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &hidden);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &before);
    std::fputs("\n", stderr);
    return QString::fromStdString(line);
}

}  // namespace

QString targetPassword(const QString& server, const QString& port, const QString& user,
                       const QString& kept, bool mayAsk) {
    const QString fromEnvironment = qEnvironmentVariable("KELDARA_MYSQL_PASSWORD");
    if (!fromEnvironment.isEmpty()) return fromEnvironment;
    platform::SecretServiceKeyring keyring;
    if (keyring.isAvailable()) {
        if (auto found = keyring.findPassword({server, port, user})) return *found;
    }
    if (!kept.isEmpty() || !mayAsk || isatty(STDIN_FILENO) == 0) return kept;
    return askHidden(QStringLiteral("MySQL password for %1@%2: ").arg(user, server));
}

}  // namespace keldara::cli

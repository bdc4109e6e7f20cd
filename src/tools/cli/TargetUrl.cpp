#include "tools/cli/TargetUrl.h"

#include <QUrl>

#include "tools/cli/CommandLine.h"

namespace keldara::cli {

TargetUrl parseTargetUrl(const QString& text, bool withTable, const QString& helpCommand) {
    const QString form = withTable ? QStringLiteral("mysql://USER@HOST[:PORT]/DATABASE/TABLE")
                                   : QStringLiteral("mysql://USER@HOST[:PORT]/DATABASE");
    const auto refuse = [&](const QString& why) {
        throw SetupError{QStringLiteral("the target '%1' %2; write it as %3\nTry '%4' for more "
                                        "information.")
                             .arg(text, why, form, helpCommand)};
    };
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("mysql")) refuse("is not a mysql:// URL");
    if (!url.password().isEmpty())
        refuse(
            "holds a password, which is never given on the command line "
            "(KELDARA_MYSQL_PASSWORD, the keyring or the prompt give it)");
    TargetUrl target;
    target.user = url.userName(QUrl::FullyDecoded);
    target.host = url.host(QUrl::FullyDecoded);
    if (url.port() >= 0) target.port = QString::number(url.port());
    const QStringList parts =
        url.path(QUrl::FullyDecoded).mid(1).split(QLatin1Char('/'), Qt::KeepEmptyParts);
    target.database = parts.value(0);
    if (withTable) target.table = parts.value(1);
    if (target.user.isEmpty()) refuse("names no user");
    if (target.host.isEmpty()) refuse("names no server");
    if (target.database.isEmpty()) refuse("names no database");
    if (withTable && target.table.isEmpty()) refuse("names no table");
    if (parts.size() > (withTable ? 2 : 1) || !url.query().isEmpty()) refuse("has more parts");
    return target;
}

}  // namespace keldara::cli

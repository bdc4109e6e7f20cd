#include "support/TestServer.h"

#include <QFile>
#include <QString>

namespace keldara::test {

void useTestServerOfTheBuild() {
    if (qEnvironmentVariableIsSet("KELDARA_MYSQL_HOST")) return;
    QFile env(QStringLiteral(KELDARA_TEST_SERVER_ENV));
    if (!env.open(QIODevice::ReadOnly | QIODevice::Text)) return;
    while (!env.atEnd()) {  // lines of NAME=value, as scripts/mariadb-server.sh writes them
        const QByteArray line = env.readLine().trimmed();
        const qsizetype equals = line.indexOf('=');
        if (line.startsWith("KELDARA_MYSQL_") && equals > 0) {
            qputenv(line.left(equals).constData(), line.mid(equals + 1));
        }
    }
}

}  // namespace keldara::test

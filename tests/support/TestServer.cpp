#include "support/TestServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>

#include "platform/dao/ConnectionString.h"
#include "platform/dao/Recordset.h"

namespace keldara::test {

QString Server::connectionString(const QString& database) const {
    using dao::braceQuoteIfNeeded;
    return "DRIVER={MySQL ODBC 3.51 Driver};SERVER=" + braceQuoteIfNeeded(host) +
           ";UID=" + braceQuoteIfNeeded(user) + ";PWD=" + braceQuoteIfNeeded(password) +
           ";PORT=" + braceQuoteIfNeeded(port) + ";DATABASE=" + braceQuoteIfNeeded(database);
}

Server serverOf(const QByteArray& lines) {
    Server server;
    const std::pair<const char*, QString*> keys[] = {{"HOST", &server.host},
                                                     {"PORT", &server.port},
                                                     {"USER", &server.user},
                                                     {"PASSWORD", &server.password}};
    for (const QByteArray& line : lines.split('\n')) {
        for (const auto& [key, value] : keys) {
            const QByteArray prefix = QByteArray("KELDARA_MYSQL_") + key + '=';
            if (line.startsWith(prefix)) *value = QString::fromUtf8(line.mid(prefix.size()));
        }
    }
    return server;
}

Server testServer() {
    const auto env = [](const char* key) {
        return qEnvironmentVariable(QByteArray("KELDARA_MYSQL_") + key);
    };
    return {env("HOST"), env("PORT"), env("USER"), env("PASSWORD")};
}

void useTestServerOfTheBuild() {
    QFile env(QStringLiteral(KELDARA_TEST_SERVER_ENV));
    if (qEnvironmentVariableIsSet("KELDARA_MYSQL_HOST") || !env.open(QIODevice::ReadOnly)) return;
    const Server server = serverOf(env.readAll());
    qputenv("KELDARA_MYSQL_HOST", server.host.toUtf8());
    qputenv("KELDARA_MYSQL_PORT", server.port.toUtf8());
    qputenv("KELDARA_MYSQL_USER", server.user.toUtf8());
    qputenv("KELDARA_MYSQL_PASSWORD", server.password.toUtf8());
}

QString runThroughClient(const Server& server, const QString& database, const QString& script) {
    QProcess client;
    client.start("mariadb", {"--no-defaults", "--protocol=TCP", "-h", server.host, "-P",
                             server.port, "-u", server.user, "-p" + server.password, database});
    client.write(script.toUtf8());
    client.closeWriteChannel();
    client.waitForFinished(120000);
    return client.readAllStandardError() + QString::number(client.exitCode());
}

std::vector<QString> rowsOf(const dao::Recordset& records, long count) {
    std::vector<QString> rows;
    for (long r = 0; r < (count < 0 ? records.recordCount() : count); ++r) {
        QStringList row;
        for (int c = 0; c < records.fieldCount(); ++c) {
            const dao::Value v = records.valueAt(r, c);
            QString text = v.isNull() ? "<NULL>" : v.standardText();
            if (v.isDateLike())
                text = dao::isoDateText(v.toDateTime()) + ' ' + dao::isoTimeText(v.toDateTime());
            if (v.kind() == dao::ValueKind::Decimal && text.contains('.'))
                text.remove(QRegularExpression("\\.?0+$"));
            row << text;
        }
        rows.push_back(row.join(" | "));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

dao::DaoError errorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const dao::DaoError& e) {
        return e;
    }
    ADD_FAILURE() << "no error";
    return dao::DaoError(0, QString());
}

QString uniqueName(const QString& tag) {
    static std::atomic<int> counter{0};
    return QStringLiteral("kt_%1_%2_%3")
        .arg(QCoreApplication::applicationPid())
        .arg(++counter)
        .arg(tag)
        .replace(QRegularExpression("[^A-Za-z0-9_]"), "_")
        .left(64);
}

ScratchDatabase::ScratchDatabase(const Server& server, const QString& tag)
    : server(server), name(uniqueName(tag)) {
    dao::openConnection(server.connectionString({}))
        ->execute(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4").arg(name));
    connection = dao::openConnection(server.connectionString(name));
}

ScratchDatabase::~ScratchDatabase() {
    connection.reset();
    try {
        dao::openConnection(server.connectionString({}))
            ->execute(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(name));
    } catch (const dao::DaoError& e) {
        ADD_FAILURE() << "the scratch database stays: " << e.description().toStdString();
    }
}

}  // namespace keldara::test

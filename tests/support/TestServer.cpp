#include "support/TestServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QMap>
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
           ";PORT=" + braceQuoteIfNeeded(port) + ";DATABASE=" + braceQuoteIfNeeded(database) +
           tlsClause;
}

Server serverOf(const QByteArray& lines) {
    QMap<QByteArray, QString> values;
    for (const QByteArray& line : lines.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (line.startsWith("KELDARA_MYSQL_") && equals > 0)
            values[line.mid(14, equals - 14)] = QString::fromUtf8(line.mid(equals + 1));
    }
    return {values["HOST"], values["PORT"], values["USER"], values["PASSWORD"]};
}

Server testServer() {
    const auto env = [](const char* key) {
        return qEnvironmentVariable(QByteArray("KELDARA_MYSQL_") + key);
    };
    return {env("HOST"), env("PORT"), env("USER"), env("PASSWORD")};
}

TlsServer tlsTestServer() {
    QString path = qEnvironmentVariable("KELDARA_TLS_SERVER_ENV");
    if (path.isEmpty()) path = QStringLiteral(KELDARA_TLS_TEST_SERVER_ENV);
    QFile env(path);
    if (!env.open(QIODevice::ReadOnly)) return {};
    const QByteArray lines = env.readAll();
    TlsServer tls{serverOf(lines), {}, {}, {}, {}};
    for (const QByteArray& line : lines.split('\n')) {
        const QString value = QString::fromUtf8(line.mid(line.indexOf('=') + 1));
        if (line.startsWith("KELDARA_MYSQL_SSL_CA=")) tls.caFile = value;
        if (line.startsWith("KELDARA_MYSQL_OTHER_CA=")) tls.otherCaFile = value;
        if (line.startsWith("KELDARA_MYSQL_SSL_CERT=")) tls.clientCertFile = value;
        if (line.startsWith("KELDARA_MYSQL_SSL_KEY=")) tls.clientKeyFile = value;
    }
    return tls;
}

void useTestServerOfTheBuild() {
    QFile env(QStringLiteral(KELDARA_TEST_SERVER_ENV));
    if (qEnvironmentVariableIsSet("KELDARA_MYSQL_HOST") || !env.open(QIODevice::ReadOnly)) return;
    for (const QByteArray& line : env.readAll().split('\n'))
        if (line.startsWith("KELDARA_MYSQL_"))
            qputenv(line.left(line.indexOf('=')), line.mid(line.indexOf('=') + 1));
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

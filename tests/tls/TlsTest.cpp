// The MySQL connection and keldara-cli against the TLS-only test server (require_secure_transport,
// a throw-away CA): each TLS mode connects or is refused as it should, and never falls back to
// an unencrypted connection.
#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/dao/mysql/TlsSettings.h"
#include "profiles/ProfileFile.h"
#include "shell/ui/StatusBar.h"
#include "support/Files.h"
#include "support/TestServer.h"
#include "support/WindowFixture.h"
#include "target/DBBits.h"
#include "target/ui/TargetPanel.h"

using namespace keldara;
using dao::mysql::TlsMode;
using dao::mysql::TlsSettings;
using test::Server;

namespace {

QString tlsVersionOf(dao::Connection& connection) {
    const auto records = connection.openRecordset("SHOW SESSION STATUS LIKE 'Ssl_version'");
    return records->recordCount() == 1 ? records->valueAt(0, 1).standardText() : QString();
}

template <typename Base>
class TlsServerTest : public test::ScratchDatabaseTest<Base> {
  protected:
    void SetUp() override {
        tls_ = test::tlsTestServer();
        ASSERT_FALSE(tls_.server.port.isEmpty() || tls_.caFile.isEmpty())
            << "No TLS test server: ctest starts one (scripts/mariadb-server.sh start --tls), or "
               "set KELDARA_TLS_SERVER_ENV to the env file of one.";
        test::ScratchDatabaseTest<Base>::SetUp();
    }
    Server serverForTest() override {
        return withTls({TlsMode::VerifyIdentity, tls_.caFile}, QStringLiteral("localhost"));
    }
    Server withTls(const TlsSettings& tls, const QString& host) const {
        Server server = tls_.server;
        server.host = host;
        server.tlsClause = dao::mysql::tlsConnectionStringClause(tls);
        return server;
    }

    test::TlsServer tls_;
};
using TlsTest = TlsServerTest<::testing::Test>;

TEST_F(TlsTest, EachModeConnectsOrIsRefusedWithItsReason) {
    const QString ca = tls_.caFile;
    const QString localhost = QStringLiteral("localhost");
    const QString address = QStringLiteral("127.0.0.1");  // not a name the certificate holds
    struct Case {
        TlsSettings tls;
        QString host;
        QString refusal;  // empty: connects encrypted
    } cases[] = {
        {{TlsMode::Disabled}, address, "Access denied"},  // the server's answer
        {{TlsMode::Required}, address, {}},
        {{TlsMode::VerifyCa, ca}, address, {}},
        {{TlsMode::VerifyCa, tls_.otherCaFile}, localhost, "did not pass the verify-ca check"},
        {{TlsMode::VerifyIdentity, ca}, localhost, {}},
        {{TlsMode::VerifyIdentity, ca}, address, "did not pass the verify-identity check"},
        {{TlsMode::VerifyIdentity}, localhost, "needs a CA file"},
        {{TlsMode::Required, "/nonexistent/ca.pem"}, localhost, "cannot be read"},
    };
    for (const Case& c : cases) {
        const QString connectionString = withTls(c.tls, c.host).connectionString({});
        SCOPED_TRACE(connectionString.toStdString());
        auto connection = dao::createConnection(connectionString);
        if (c.refusal.isEmpty()) {
            connection->open(connectionString);
            EXPECT_TRUE(tlsVersionOf(*connection).startsWith("TLSv"));
        } else {
            const dao::DaoError e = test::errorOf([&] { connection->open(connectionString); });
            EXPECT_TRUE(e.description().contains(c.refusal, Qt::CaseInsensitive))
                << e.description().toStdString();
            EXPECT_FALSE(e.description().contains(tls_.server.password));
        }
    }
}

// A server without TLS is refused, not used unencrypted.
TEST_F(TlsTest, NoModeButDisabledFallsBackToAPlainConnection) {
    Server plain = test::testServer();
    ASSERT_FALSE(plain.port.isEmpty()) << "No plain test server";
    auto connection = dao::openConnection(plain.connectionString({}));
    EXPECT_EQ(tlsVersionOf(*connection), "");
    plain.tlsClause = dao::mysql::tlsConnectionStringClause({TlsMode::Required});
    const dao::DaoError e = test::errorOf([&] { dao::openConnection(plain.connectionString({})); });
    EXPECT_TRUE(e.description().contains("TLS connection was refused"))
        << e.description().toStdString();
}

// keldara-cli with --ssl-mode copies a table, and with the profile's own TLS settings too; a
// wrong CA is refused with status 2 and the password appears in no output.
TEST_F(TlsTest, CliCopiesATableOverTls) {
    QTemporaryDir folder;
    const QString csv = test::writeFile(folder.filePath("people.csv"), "id,name\n1,Ann\n2,Bo\n");
    connection_->execute("CREATE TABLE people (id INT, name VARCHAR(20))");
    const Server& s = db_->server;
    profiles::Profile profile{csv,        "people.csv", s.host,   s.user,
                              s.password, db_->name,    "people", s.port};
    const QString profilePath = folder.filePath("job.pro");
    const auto write = [&] {
        const auto record = profiles::recordFromProfile(profile, QDateTime::currentDateTime());
        ASSERT_TRUE(record && profiles::WriteProfile(profilePath, *record));
    };
    const auto cli = [&](const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("KELDARA_MYSQL_PASSWORD");
        process.setProcessEnvironment(environment);
        process.start(KELDARA_CLI_PATH,
                      QStringList{"run", profilePath, "--action", "insert"} + arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        const QString output = process.readAllStandardOutput() + process.readAllStandardError();
        EXPECT_FALSE(output.contains(s.password)) << output.toStdString();
        return std::pair{process.exitCode(), output};
    };
    write();
    const auto [refused, refusal] = cli({"--ssl-mode", "verify-ca", "--ssl-ca", tls_.otherCaFile});
    EXPECT_EQ(refused, 2);
    EXPECT_TRUE(refusal.contains("did not pass the verify-ca check")) << refusal.toStdString();
    const auto [plainStatus, plainRefusal] = cli({"--ssl-mode", "disabled"});
    EXPECT_EQ(plainStatus, 2) << plainRefusal.toStdString();

    const auto [sent, summary] = cli({"--ssl-mode", "verify-identity", "--ssl-ca", tls_.caFile});
    EXPECT_EQ(sent, 0) << summary.toStdString();
    profile.tls = {TlsMode::VerifyCa, tls_.caFile};
    write();
    const auto [sentAgain, summaryAgain] = cli({});
    EXPECT_EQ(sentAgain, 0) << summaryAgain.toStdString();
    const auto rows = connection_->openRecordset("SELECT COUNT(*) FROM people");
    EXPECT_EQ(rows->valueAt(0, 0).standardText(), "4");
}

// The window: the TLS choice and the CA file chooser beside the target fields; a certificate
// that does not verify is refused with a message, the status bar tells the TLS version, and a
// profile keeps the choice.
class TlsWindowTest : public TlsServerTest<test::WindowFixture> {
  protected:
    void connectVerifyingWith(const QString& caFile) {
        doubles.messages.shown.clear();
        doubles.files.queueAnswer(caFile);
        clickButton("cmdTargetCaFile");
        clickButton("cmdTargetConnect");
    }
};

TEST_F(TlsWindowTest, ConnectsVerifyingTheCertificateAndKeepsTheChoice) {
    const Server& s = db_->server;
    textBox("txtTargetServer")->setText(s.host);
    textBox("txtTargetUsername")->setText(s.user);
    textBox("txtTargetPassword")->setText(s.password);
    textBox("txtTargetPort")->setText(s.port);
    EXPECT_FALSE(textBox("txtTargetCaFile")->isEnabled());
    combo("cboTargetTls")->setCurrentIndex(3);  // verify CA and host name

    connectVerifyingWith(tls_.otherCaFile);
    EXPECT_EQ(doubles.files.calls.last().kind, "open");
    EXPECT_FALSE(target::MySQLConnectionIsOpen(ws().state));
    ASSERT_EQ(doubles.messages.shown.size(), 1);
    const QString refusal = doubles.messages.shown[0].text;
    EXPECT_TRUE(refusal.contains("did not pass the verify-identity check"))
        << refusal.toStdString();
    EXPECT_FALSE(refusal.contains(s.password));

    connectVerifyingWith(tls_.caFile);
    ASSERT_TRUE(target::MySQLConnectionIsOpen(ws().state));
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
    const QString status = window->workspace().SB->panelText(1);
    EXPECT_TRUE(status.startsWith("Connected To Target Server (encrypted: TLSv1."))
        << status.toStdString();
    connection_->execute("CREATE TABLE t (id INT)");
    choose("cboTargetDatabase", db_->name);
    choose("cboTargetTable", "t");
    EXPECT_TRUE(ws().state.bTargetLoaded);

    profiles::Profile saved;
    window->target()->fillProfile(saved);
    EXPECT_EQ(saved.tls, (TlsSettings{TlsMode::VerifyIdentity, tls_.caFile}));
    const auto record = profiles::recordFromProfile(saved, QDateTime::currentDateTime());
    const auto read = profiles::parseRecord(profiles::serializeRecord(*record));
    ASSERT_TRUE(read);
    EXPECT_EQ(profiles::profileFromRecord(*read).tls, saved.tls);
}

}  // namespace

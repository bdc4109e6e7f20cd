// The MySQL connection, keldara-cli and the window against the TLS-only test server
// (require_secure_transport, a throw-away CA whose certificate names only "localhost").
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
        ASSERT_FALSE(tls_.caFile.isEmpty()) << "No TLS test server: ctest starts one, or set "
                                               "KELDARA_TLS_SERVER_ENV to the env file of one.";
        test::ScratchDatabaseTest<Base>::SetUp();
    }
    Server serverForTest() override { return withTls({TlsMode::VerifyIdentity, tls_.caFile}); }
    Server withTls(const TlsSettings& tls, const QString& host = "localhost") const {
        Server server = tls_.server;
        server.host = host;
        server.tlsClause = dao::mysql::tlsConnectionStringClause(tls);
        return server;
    }

    const test::TlsServer tls_ = test::tlsTestServer();
};
using TlsTest = TlsServerTest<::testing::Test>;

// Each mode connects encrypted or is refused with its reason; 127.0.0.1 is a wrong host name.
// A server without TLS is refused too, never used unencrypted.
TEST_F(TlsTest, EachModeConnectsOrIsRefusedWithItsReason) {
    const QString ca = tls_.caFile, address = "127.0.0.1";
    Server plain = test::testServer();
    plain.tlsClause = dao::mysql::tlsConnectionStringClause({TlsMode::Required});
    const struct {
        Server server;
        QString refusal;  // empty: connects encrypted
    } cases[] = {
        {withTls({TlsMode::Disabled}, address), "Access denied"},  // the server's answer
        {withTls({TlsMode::Required}, address), {}},
        {withTls({TlsMode::VerifyCa, ca}, address), {}},
        {withTls({TlsMode::VerifyCa, tls_.otherCaFile}), "did not pass the verify-ca check"},
        {withTls({TlsMode::VerifyIdentity, ca}), {}},
        {withTls({TlsMode::VerifyIdentity, ca}, address), "did not pass the verify-identity check"},
        {withTls({TlsMode::VerifyIdentity}), "needs a CA file"},
        {withTls({TlsMode::Required, "/nonexistent/ca.pem"}), "cannot be read"},
        {plain, "does not offer TLS"},
    };
    for (const auto& [server, refusal] : cases) {
        const QString connectionString = server.connectionString({});
        SCOPED_TRACE(connectionString.toStdString());
        auto connection = dao::createConnection(connectionString);
        if (refusal.isEmpty()) {
            connection->open(connectionString);
            EXPECT_TRUE(tlsVersionOf(*connection).startsWith("TLSv"));
            continue;
        }
        const QString text =
            test::errorOf([&] { connection->open(connectionString); }).description();
        EXPECT_TRUE(text.contains(refusal)) << text.toStdString();
        EXPECT_FALSE(text.contains(server.password));
    }
}

// keldara-cli copies a table with --ssl-mode, and with the profile's own TLS choice; a wrong CA
// or no TLS ends with status 2, and no output holds the password.
TEST_F(TlsTest, CliCopiesATableOverTls) {
    QTemporaryDir folder;
    connection_->execute("CREATE TABLE people (id INT, name VARCHAR(20))");
    const Server& s = db_->server;
    const QString csv = test::writeFile(folder.filePath("p.csv"), "id,name\n1,Ann\n2,Bo\n");
    profiles::Profile profile{csv,        "p.csv",   s.host,   s.user,
                              s.password, db_->name, "people", s.port};
    const QString path = folder.filePath("job.pro");
    const auto cli = [&](const QStringList& arguments) {
        EXPECT_TRUE(profiles::WriteProfile(path, *profiles::recordFromProfile(profile, {})));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("KELDARA_MYSQL_PASSWORD");
        process.setProcessEnvironment(environment);
        process.start(KELDARA_CLI_PATH, QStringList{"run", path, "--action", "insert"} + arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        const QString output = process.readAllStandardOutput() + process.readAllStandardError();
        EXPECT_FALSE(output.contains(s.password)) << output.toStdString();
        EXPECT_TRUE(process.exitCode() == 0 || output.contains("TLS") ||
                    output.contains("Access denied"))
            << output.toStdString();
        return process.exitCode();
    };
    EXPECT_EQ(cli({"--ssl-mode", "verify-ca", "--ssl-ca", tls_.otherCaFile}), 2);
    EXPECT_EQ(cli({"--ssl-mode", "disabled"}), 2);
    EXPECT_EQ(cli({"--ssl-mode", "verify-identity", "--ssl-ca", tls_.caFile}), 0);
    profile.tls = {TlsMode::VerifyCa, tls_.caFile};
    EXPECT_EQ(cli({}), 0);
    EXPECT_EQ(connection_->openRecordset("SELECT * FROM people")->recordCount(), 4);
}

// The window: a certificate that does not verify is refused with a message; one that does
// connects, the status bar names the TLS version, and the profile gets the choice.
class TlsWindowTest : public TlsServerTest<test::WindowFixture> {};

TEST_F(TlsWindowTest, ConnectsVerifyingTheCertificateAndKeepsTheChoice) {
    const Server& s = db_->server;
    for (const auto& [box, text] : {std::pair{"txtTargetServer", s.host},
                                    {"txtTargetPort", s.port},
                                    {"txtTargetUsername", s.user},
                                    {"txtTargetPassword", s.password}})
        textBox(box)->setText(text);
    EXPECT_FALSE(textBox("txtTargetCaFile")->isEnabled());
    combo("cboTargetTls")->setCurrentIndex(3);  // verify CA and host name
    for (const QString& ca : {tls_.otherCaFile, tls_.caFile}) {
        doubles.files.queueAnswer(ca);
        clickButton("cmdTargetCaFile");
        clickButton("cmdTargetConnect");
    }
    ASSERT_EQ(doubles.messages.shown.size(), 1);
    EXPECT_TRUE(doubles.messages.shown[0].text.contains("did not pass the verify-identity check"));
    ASSERT_TRUE(target::MySQLConnectionIsOpen(ws().state));
    EXPECT_FALSE(combo("cboTargetTls")->isEnabled() || textBox("txtTargetCaFile")->isEnabled());
    const QString status = ws().SB->panelText(1);
    EXPECT_TRUE(status.startsWith("Connected To Target Server (encrypted: TLSv1."))
        << status.toStdString();
    connection_->execute("CREATE TABLE t (id INT)");
    choose("cboTargetDatabase", db_->name);
    choose("cboTargetTable", "t");
    EXPECT_TRUE(ws().state.bTargetLoaded);
    profiles::Profile saved;
    window->target()->fillProfile(saved);
    EXPECT_EQ(saved.tls, (TlsSettings{TlsMode::VerifyIdentity, tls_.caFile}));
}

}  // namespace

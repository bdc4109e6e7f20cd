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
    void TearDown() override {
        for (const QString& user : users_)
            this->connection_->execute(QStringLiteral("DROP USER IF EXISTS '%1'@'%'").arg(user));
        test::ScratchDatabaseTest<Base>::TearDown();
    }
    Server serverForTest() override { return withTls({TlsMode::VerifyIdentity, tls_.caFile}); }
    // A fresh account of the scratch database, with the password "pw", that connects only with
    // a client certificate signed by the test CA.
    QString certificateUser() {
        const QString user = test::uniqueName("cert");
        users_ << user;
        this->run({QStringLiteral("CREATE USER '%1'@'%' IDENTIFIED BY 'pw' REQUIRE X509").arg(user),
                   QStringLiteral("GRANT ALL ON `%1`.* TO '%2'@'%'").arg(this->db_->name, user)});
        return user;
    }
    TlsSettings withClientCertificate(TlsSettings tls) const {
        tls.certFile = tls_.clientCertFile;
        tls.keyFile = tls_.clientKeyFile;
        return tls;
    }
    Server withTls(const TlsSettings& tls, const QString& host = "localhost") const {
        Server server = tls_.server;
        server.host = host;
        server.tlsClause = dao::mysql::tlsConnectionStringClause(tls);
        return server;
    }

    const test::TlsServer tls_ = test::tlsTestServer();

  private:
    QStringList users_;
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

    // An account that requires a client certificate: the profile's certificate and key are
    // used, also beside a TLS mode given on the command line.
    profile.user = certificateUser();
    profile.password = "pw";
    EXPECT_EQ(cli({}), 2);
    profile.tls = withClientCertificate({TlsMode::VerifyCa, tls_.caFile});
    EXPECT_EQ(cli({}), 0);
    EXPECT_EQ(cli({"--ssl-mode", "verify-identity", "--ssl-ca", tls_.caFile}), 0);
    EXPECT_EQ(connection_->openRecordset("SELECT * FROM people")->recordCount(), 8);
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

// An account that requires a client certificate: refused without one; with the certificate and
// key chosen beside the CA file (each through the file dialog) it connects, and a profile keeps
// and gives back all three. A profile without TLS clears them.
TEST_F(TlsWindowTest, ConnectsWithAClientCertificateAndKeepsItInTheProfile) {
    const Server& s = db_->server;
    const QString user = certificateUser();
    for (const auto& [box, text] : {std::pair{"txtTargetServer", s.host},
                                    {"txtTargetPort", s.port},
                                    {"txtTargetUsername", user},
                                    {"txtTargetPassword", QString("pw")}})
        textBox(box)->setText(text);
    combo("cboTargetTls")->setCurrentIndex(2);  // verify CA
    EXPECT_TRUE(textBox("txtTargetCertFile")->isEnabled() &&
                button("cmdTargetKeyFile")->isEnabled());
    doubles.files.queueAnswer(tls_.caFile);
    clickButton("cmdTargetCaFile");
    clickButton("cmdTargetConnect");
    ASSERT_EQ(doubles.messages.shown.size(), 1);
    EXPECT_TRUE(doubles.messages.shown[0].text.contains("Access denied"))
        << doubles.messages.shown[0].text.toStdString();
    EXPECT_FALSE(target::MySQLConnectionIsOpen(ws().state));

    doubles.files.queueAnswer(tls_.clientCertFile);
    clickButton("cmdTargetCertFile");
    doubles.files.queueAnswer(tls_.clientKeyFile);
    clickButton("cmdTargetKeyFile");
    clickButton("cmdTargetConnect");
    ASSERT_TRUE(target::MySQLConnectionIsOpen(ws().state));
    EXPECT_EQ(doubles.messages.shown.size(), 1);
    dao::Connection& connection = *ws().state.gMySQLConnection;
    EXPECT_EQ(connection.openRecordset("SELECT CURRENT_USER()")->valueAt(0, 0).standardText(),
              user + "@%");
    EXPECT_TRUE(tlsVersionOf(connection).startsWith("TLSv"));
    QStringList titles;
    for (const auto& call : doubles.files.calls) titles << call.kind + " " + call.request.title;
    EXPECT_EQ(titles, QStringList({"open CA File", "open Client Certificate", "open Client Key"}));

    const TlsSettings chosen{TlsMode::VerifyCa, tls_.caFile, tls_.clientCertFile,
                             tls_.clientKeyFile};
    profiles::Profile saved;
    window->target()->fillProfile(saved);
    EXPECT_EQ(saved.tls, chosen);
    const auto reread = profiles::profileFromRecord(
        *profiles::parseRecord(profiles::serializeRecord(*profiles::recordFromProfile(saved, {}))));
    clickButton("cmdTargetClose");
    window->target()->applyProfile(profiles::Profile{});
    EXPECT_EQ(window->target()->tlsSettings(), TlsSettings{});
    EXPECT_TRUE(textBox("txtTargetCertFile")->text().isEmpty() &&
                textBox("txtTargetKeyFile")->text().isEmpty());
    window->target()->applyProfile(reread);
    EXPECT_EQ(window->target()->tlsSettings(), chosen);
    EXPECT_EQ(textBox("txtTargetKeyFile")->text(), tls_.clientKeyFile);
}

}  // namespace

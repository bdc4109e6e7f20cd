// The system keyring for real: a throw-away GNOME Keyring on a session bus of the test's own
// (CTest runs this program through scripts/keyring-session.sh). Saving a profile from the
// window puts the password there and none in the file; loading, the window and keldara-cli
// take it back out.
#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>

#include "profiles/ProfileFile.h"
#include "profiles/ui/ProfileCommands.h"
#include "support/Damage.h"
#include "support/Files.h"
#include "support/TestServer.h"
#include "support/WindowFixture.h"

using namespace keldara;

namespace {

// What an independent client of the Secret Service (libsecret's secret-tool) finds for an
// account; empty when nothing.
QString secretToolLookup(const platform::KeyringAccount& account) {
    QProcess tool;
    tool.start("secret-tool",
               {"lookup", "server", account.server, "port", account.port, "user", account.user});
    tool.waitForFinished(30000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

class KeyringTest : public test::ScratchDatabaseTest<test::WindowFixture> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(keyring.isAvailable())
            << "No Secret Service: run this program as CTest does, "
               "dbus-run-session -- bash scripts/keyring-session.sh PROGRAM ("
            << keyring.errorString().toStdString() << ")";
        ScratchDatabaseTest::SetUp();
        // The window with the real keyring; the other facilities stay doubles.
        window = std::make_unique<shell::MainWindow>(withRealKeyring());
        window->show();
    }
    platform::Platform withRealKeyring() {
        platform::Platform p = doubles.platform();
        return {p.messages, p.files, p.settings, p.keys, p.processes, keyring};
    }
    void fillTarget(const test::Server& s, const QString& password) {
        textBox("txtTargetServer")->setText(s.host);
        textBox("txtTargetUsername")->setText(s.user);
        textBox("txtTargetPassword")->setText(password);
        textBox("txtTargetPort")->setText(s.port);
        combo("cboTargetDatabase")->setEditText(db_->name);
        combo("cboTargetTable")->setEditText("people");
        textBox("txtSourceFileName")->setText(csv_);
        combo("cboSourceTable")->setEditText("people.csv");
    }
    void saveAs(const QString& path) {
        doubles.files.queueAnswer(path);
        control<QAction>("mnuProfileSaveAS")->trigger();
    }

    platform::SecretServiceKeyring keyring;
    QTemporaryDir folder;
    QString csv_ = test::writeFile(folder.filePath("people.csv"), "id,name\n1,Ann\n2,Bo\n");
};

TEST_F(KeyringTest, TheProfileKeepsNoPasswordTheKeyringDoes) {
    const test::Server& s = db_->server;
    const platform::KeyringAccount account{s.host, s.port, s.user};
    keyring.removePassword(account);
    fillTarget(s, s.password);
    const QString path = folder.filePath("job.pro");
    saveAs(path);
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
    EXPECT_EQ(secretToolLookup(account), s.password);

    // Byte for byte the profile of an empty password.
    const QByteArray saved = test::readAll(path);
    const auto record = profiles::parseRecord(saved);
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->password.isEmpty() && record->tlsMode.isEmpty());
    EXPECT_EQ(saved, profiles::serializeRecord(*record));  // no field beyond the known ones
    EXPECT_FALSE(saved.contains(profiles::SwapHexDigits(s.password.toUtf8())));
    EXPECT_FALSE(saved.contains(s.password.toUtf8()));

    // A new window loads it with the keyring's password.
    window = std::make_unique<shell::MainWindow>(withRealKeyring());
    window->profiles()->openProfile(path);
    EXPECT_EQ(textBox("txtTargetPassword")->text(), s.password);
    EXPECT_TRUE(doubles.messages.shown.isEmpty());

    // keldara-cli finds it too, without KELDARA_MYSQL_PASSWORD.
    connection_->execute("CREATE TABLE people (id INT, name VARCHAR(20))");
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("KELDARA_MYSQL_PASSWORD");
    cli.setProcessEnvironment(environment);
    cli.start(KELDARA_CLI_PATH, {"run", path, "--action", "insert"});
    ASSERT_TRUE(cli.waitForFinished(60000));
    const QString output = cli.readAllStandardOutput() + cli.readAllStandardError();
    EXPECT_EQ(cli.exitCode(), 0) << output.toStdString();
    EXPECT_FALSE(output.contains(s.password));
    EXPECT_EQ(connection_->openRecordset("SELECT * FROM people")->recordCount(), 2);

    EXPECT_TRUE(keyring.removePassword(account));
    EXPECT_EQ(secretToolLookup(account), "");
    EXPECT_FALSE(keyring.findPassword(account));
}

}  // namespace

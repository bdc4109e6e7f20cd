// The system keyring for real: a throw-away GNOME Keyring on a session bus of the test's own
// (CTest runs this program through scripts/keyring-session.sh).
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

class KeyringTest : public test::ScratchDatabaseTest<test::WindowFixture> {
  protected:
    // The window with the real keyring; the other facilities stay doubles.
    void openWindow() {
        platform::Platform p = doubles.platform();
        window = std::make_unique<shell::MainWindow>(platform::Platform{
            p.messages, p.files, p.settings, p.keys, p.processes, keyring, p.memory});
    }
    platform::SecretServiceKeyring keyring;
};

// Saving a profile puts the password into the keyring (as libsecret's own secret-tool finds
// it) and none into the file; a new window and keldara-cli take it back out.
TEST_F(KeyringTest, TheProfileKeepsNoPasswordTheKeyringDoes) {
    ASSERT_TRUE(keyring.isAvailable()) << keyring.errorString().toStdString();
    const test::Server& s = db_->server;
    QTemporaryDir folder;
    const QString csv = test::writeFile(folder.filePath("p.csv"), "id\n1\n2\n");
    const QString path = folder.filePath("job.pro");
    openWindow();
    const QStringList texts{csv, s.host, s.user, s.password, s.port, "p.csv", db_->name, "t"};
    const char* const boxes[] = {"txtSourceFileName", "txtTargetServer", "txtTargetUsername",
                                 "txtTargetPassword", "txtTargetPort",   "cboSourceTable",
                                 "cboTargetDatabase", "cboTargetTable"};
    for (int i = 0; i < 8; ++i)
        i < 5 ? textBox(boxes[i])->setText(texts[i]) : combo(boxes[i])->setEditText(texts[i]);
    doubles.files.queueAnswer(path);
    control<QAction>("mnuProfileSaveAS")->trigger();
    QProcess lookup;
    lookup.start("secret-tool", {"lookup", "server", s.host, "port", s.port, "user", s.user});
    lookup.waitForFinished();
    EXPECT_EQ(lookup.readAllStandardOutput(), s.password.toUtf8());
    const QByteArray saved = test::readAll(path);
    const auto record = profiles::parseRecord(saved);
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->password.isEmpty());
    EXPECT_EQ(saved, profiles::serializeRecord(*record));  // no field beyond the known ones

    openWindow();
    window->profiles()->openProfile(path);
    EXPECT_EQ(textBox("txtTargetPassword")->text(), s.password);
    EXPECT_TRUE(doubles.messages.shown.isEmpty());

    connection_->execute("CREATE TABLE t (id INT)");
    // keldara-cli finds it; without a session bus it falls back to the profile's empty field.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("KELDARA_MYSQL_PASSWORD");
    for (const char* bus : {"", "unix:path=/nonexistent"}) {
        if (*bus) environment.insert("DBUS_SESSION_BUS_ADDRESS", bus);
        QProcess cli;
        cli.setProcessEnvironment(environment);
        cli.start(KELDARA_CLI_PATH, {"run", path, "--action", "insert"});
        ASSERT_TRUE(cli.waitForFinished(60000));
        const QByteArray err = cli.readAllStandardError();
        EXPECT_EQ(cli.exitCode(), *bus ? 2 : 0) << err.constData();
        EXPECT_EQ(err.contains("Access denied"), bool(*bus)) << err.constData();
    }
    EXPECT_EQ(connection_->openRecordset("SELECT * FROM t")->recordCount(), 2);
    EXPECT_TRUE(keyring.removePassword({s.host, s.port, s.user}));
}

}  // namespace

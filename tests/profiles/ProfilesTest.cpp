#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "mapping/ui/MappingPage.h"
#include "platform/doubles/PlatformDoubles.h"
#include "profiles/MRUList.h"
#include "profiles/ProfileFile.h"
#include "profiles/ui/ProfileCommands.h"
#include "shell/ui/StatusBar.h"
#include "support/Damage.h"
#include "support/Files.h"
#include "support/WindowFixture.h"

using namespace keldara;
using namespace keldara::profiles;

namespace {

QStringList items(const MRUList& list) {
    QStringList all;
    for (int i = 0; i <= list.Count() + 1; ++i) all << list.Item(i);  // empty at both ends
    return all;
}

// Paths that differ only in letter case name two files.
TEST(MRUList, KeysAreExactPathsDropTheOldestAndLoadByKeyNumber) {
    platform::MemorySettingsStore store;
    MRUList list(store);
    for (const char* file : {"/p/a.pro", "/p/b.pro", "/P/A.PRO", "/p/b.pro"}) list.Add(file);
    EXPECT_EQ(items(list), (QStringList{"", "/p/b.pro", "/P/A.PRO", "/p/a.pro", ""}));
    list.Remove("/p/B.pro");
    list.Remove("/p/b.pro");
    EXPECT_EQ(items(list), (QStringList{"", "/P/A.PRO", "/p/a.pro", ""}));
    for (const char* file : {"1", "2", "3", "4", "5"}) list.Add(file);
    EXPECT_EQ(items(list), (QStringList{"", "5", "4", "3", "2", ""}));
    list.setNumber(2);  // later additions keep to it; the list is not cut at once
    list.Add("6");
    EXPECT_EQ(list.Count(), 4);

    // Saving writes every entry; loading reads them by key number, more than Number() and a
    // repeat among them. (The commands' test follows a save into the next window.)
    list.Save("App");
    list.Clear();
    list.Save("App");
    EXPECT_TRUE(store.allSettings("App", "MRUFiles").isEmpty());
    for (int key : {1, 10, 2, 3, 4, 5, 6, 7, 8, 9})
        store.saveSetting("App", "MRUFiles", QString::number(key), QString("/%1.pro").arg(key));
    store.saveSetting("App", "MRUFiles", "11", "/1.pro");
    list.Load("App");
    ASSERT_EQ(list.Count(), 10);
    EXPECT_EQ(list.Item(1) + list.Item(10), "/1.pro/10.pro");
}

TEST(MRUList, LongDirFixShortensLongPaths) {
    const QString p35 = "C:\\Profiles\\Customers\\Nightly\\a.pro";
    EXPECT_EQ(LongDirFix(p35, 35), p35);
    EXPECT_EQ(LongDirFix("C:\\Documents and Settings\\Owner\\Profiles\\2024\\March\\x.pro", 35),
              "C:\\...\\Profiles\\2024\\March\\x.pro");
    EXPECT_EQ(LongDirFix("/home/someone/profiles/nightly/customers.pro", 35),
              "/ho.../nightly/customers.pro");
    EXPECT_EQ(LongDirFix("C:" + QString(40, 'x'), 35), "C:x...");
}

// A text as the file holds it: a 16-bit length, then the bytes.
QByteArray text(const QByteArray& bytes) {
    return QByteArray(1, char(bytes.size())) + '\0' + bytes;
}

const Profile Sample = {"C:\\data\\a.csv", "a.csv", "abc", "root", "", "db", "t", "3306"};

QByteArray savedBytes(const Profile& profile) {
    return serializeRecord(*recordFromProfile(profile, QDateTime({2026, 1, 2}, {3, 4, 5})));
}

Profile roundTrip(const Profile& profile) {
    return profileFromRecord(*parseRecord(savedBytes(profile)));
}

// Laid out by hand after the saved-at text: the server and user are coded (hex digits swapped).
TEST(ProfileFile, WritesTheRecordByteForByteAndReadsAHandBuiltOne) {
    const QByteArray tail = text("C:\\data\\a.csv") + text("a.csv") + text("") + "\xFF\xFF" +
                            text("\x16\x26\x36") + text("\x27\xF6\xF6\x47") + text("") +
                            text("db") + text("t") + QByteArray("\xEA\x0C\x00\x00", 4) +
                            text("Mappings From Here") + text("Mappings To Here");
    const QByteArray bytes = savedBytes(Sample);
    EXPECT_EQ(bytes.left(150), HeaderText + QByteArray(150 - HeaderText.size(), ' '));
    EXPECT_EQ(bytes.mid(150, 6), text("Test"));
    EXPECT_EQ(bytes.mid(158 + quint8(bytes[156])), tail);

    const QByteArray header = QByteArray("Some other header").leftJustified(150, '.');
    const auto record = parseRecord(header + text("Test") + text("1/2/2026") + tail + "junk");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->flag, -1);
    EXPECT_EQ(savedBytes(profileFromRecord(*record)), bytes);  // every field read back as saved
}

// Windows-1252 texts are stored as their own bytes; any other text comes back intact. Coded
// texts drop NUL.
TEST(ProfileFile, TextsKeepEveryCharacter) {
    Profile p = Sample;
    p.server = QString("a") + QChar(0) + "b";
    EXPECT_EQ(roundTrip(p).server, "ab");
    EXPECT_EQ(encodeProfileText("M\u00fcller \u20ac\u0178"), "M\xFCller \x80\x9F");
    p.sourceFile = p.password = QString(QChar(0x81)) + "A";  // undefined in Windows-1252
    const Profile back = roundTrip(p);
    EXPECT_EQ(back.sourceFile + back.password, p.sourceFile + p.password);
}

TEST(ProfileFile, OnlyAWholePortAndTextsThatFitAreSavedAndOnlyWholeFilesRead) {
    for (const char* port : {"", "abc", "-1", "65536", "33.06", "99999999999"})
        EXPECT_FALSE(portNumber(port)) << port;
    EXPECT_EQ(portNumber(" 3306 "), 3306);
    EXPECT_EQ(portNumber("65535"), 65535);
    Profile p = Sample;
    p.sourceFile = QString(0xFFFF, 'a');
    EXPECT_TRUE(recordFromProfile(p, QDateTime::currentDateTime()));
    p.sourceFile += 'a';
    EXPECT_FALSE(recordFromProfile(p, QDateTime::currentDateTime()));

    const QByteArray bytes = savedBytes(Sample);
    for (qsizetype length = 0; length < bytes.size(); ++length)
        EXPECT_FALSE(parseRecord(bytes.left(length))) << "cut at " << length;
    QByteArray absurd = bytes;
    absurd.replace(150, 2, "\xFF\xFF");  // the marker's length
    EXPECT_FALSE(parseRecord(absurd));
}

TEST(ProfileFile, WriteReplacesTheFileOrLeavesItAlone) {
    QTemporaryDir dir;
    const QString path = keldara::test::writeFile(dir.filePath("a.pro"), QByteArray(1000, 'x'));
    const auto record = *recordFromProfile(Sample, QDateTime::currentDateTime());
    ASSERT_TRUE(WriteProfile(path, record));
    EXPECT_EQ(keldara::test::readAll(path), serializeRecord(record));
    EXPECT_EQ(readProfileFile(path)->server, "abc");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.pro"});
    EXPECT_FALSE(WriteProfile(dir.filePath("missing/b.pro"), record));
    EXPECT_FALSE(ReadProfile(dir.filePath("missing/b.pro")));
}

// TLS settings go into a block after the mappings' start mark, in place of the end mark's
// length: a reader without TLS finds a length longer than the rest of the file and refuses
// the file. A profile without TLS is written as before (above).
TEST(ProfileFile, TlsSettingsRoundTripAndReadersWithoutThemRefuseTheFile) {
    Profile p = Sample;
    p.tls = {dao::mysql::TlsMode::VerifyIdentity, "/etc/ca \u00e9.pem", "/c.pem", "/k.pem"};
    const QByteArray bytes = savedBytes(p);
    EXPECT_EQ(roundTrip(p).tls, p.tls);
    const QByteArray startMark = text("Mappings From Here");
    const qsizetype block = bytes.indexOf(startMark) + startMark.size();
    EXPECT_EQ(bytes.mid(block, 2), "\xFF\xFF");
    EXPECT_LT(bytes.size() - block - 2, 0xFFFF);
    EXPECT_TRUE(bytes.endsWith(text("Mappings To Here")));

    for (const auto& [from, to] :
         {std::pair<QByteArray, QByteArray>{"verify-identity", "verify-all"},
          {"Keldara TLS", "Keldara TLX"}}) {
        QByteArray changed = bytes;
        changed.replace(from, to);
        EXPECT_FALSE(parseRecord(changed)) << to.constData();
    }
    p.tls.caFile = QString(0xF001, 'a');
    EXPECT_FALSE(recordFromProfile(p, QDateTime::currentDateTime()));
}

// The boxes, then the lists, a profile keeps.
const char* const ProfileFields[] = {"txtSourceFileName", "txtTargetServer", "txtTargetUsername",
                                     "txtTargetPassword", "txtTargetPort",   "cboSourceTable",
                                     "cboTargetDatabase", "cboTargetTable"};

QStringList fields(const QWidget& window) {
    QStringList all;
    for (const char* name : ProfileFields) {
        if (auto* box = window.findChild<QLineEdit*>(name)) all << box->text();
        if (auto* list = window.findChild<QComboBox*>(name)) all << list->currentText();
    }
    return all;
}

class ProfileCommandsTest : public test::WindowFixture {
  protected:
    void fill(const QStringList& values) {
        for (int i = 0; i < 5; ++i) textBox(ProfileFields[i])->setText(values[i]);
        for (int i = 5; i < 8; ++i) combo(ProfileFields[i])->setEditText(values[i]);
    }
    void trigger(const char* action) { control<QAction>(action)->trigger(); }
    void saveAs(const QString& name) {
        doubles.files.queueAnswer(path(name));
        trigger("mnuProfileSaveAS");
    }
    QString status() { return ws().SB->panelText(1); }
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    const QStringList chosen = {
        "/data/été/中.csv", "db.example", "ana", "päss\u03c9", "3307", "c.csv", "shop", "clients"};
};

TEST_F(ProfileCommandsTest, SavesAndLoadsTheChoicesAskingForANameOnceAndRefusesBadOnes) {
    fill(chosen);
    doubles.files.queueAnswer(path("a.pro"));
    trigger("mnuProfileSave");
    EXPECT_EQ(status(), "Settings Saved");
    QStringList changed = chosen;
    changed[1] = "other.example";
    fill(changed);
    trigger("mnuProfileSave");
    ASSERT_EQ(doubles.files.calls.size(), 1);

    // Loading changes the kept choices only, and connects nothing.
    combo("cboAction")->setCurrentIndex(1);
    window->mapping()->setRows(3);
    window->mapping()->setTextMatrix(1, 2, "kept");
    fill(QStringList(8, "other"));
    doubles.files.queueAnswer(path("a.pro"));
    trigger("mnuProfileLoad");
    EXPECT_EQ(fields(*window), changed);
    EXPECT_EQ(combo("cboAction")->currentIndex(), 1);
    EXPECT_EQ(window->mapping()->textMatrix(1, 2), "kept");
    EXPECT_FALSE(ws().state.gSourceConnection || ws().state.gMySQLConnection);

    // A bad port or a damaged file changes nothing.
    const QByteArray saved = test::readAll(path("a.pro"));
    textBox("txtTargetPort")->setText("33o6");
    trigger("mnuProfileSave");
    EXPECT_NE(status(), "Settings Saved");
    EXPECT_EQ(test::readAll(path("a.pro")), saved);
    fill(QStringList(8, "mine"));
    window->profiles()->openProfile(test::writeFile(path("cut.pro"), saved.chopped(1)));
    ASSERT_EQ(doubles.messages.shown.size(), 1);
    EXPECT_EQ(doubles.messages.shown[0].text, "Invalid Profile Configuration File");
    EXPECT_EQ(fields(*window), QStringList(8, "mine"));
    EXPECT_TRUE(window->profiles()->profileFileName().isEmpty());
}

// The recent entries follow the list; the close box keeps it for the next window, which opens
// its profile the way main() hands over the program's arguments. (The main window's test shows
// that Exit skips the close box's steps.)
TEST_F(ProfileCommandsTest, RecentEntriesFollowTheListIntoTheNextWindow) {
    auto entry = [&](int i) {
        return control<QAction>(qPrintable(QString("mnuMRUFiles_%1").arg(i)));
    };
    EXPECT_FALSE(entry(0)->isVisible());
    fill(chosen);
    saveAs("one.pro");
    saveAs("two.pro");
    EXPECT_EQ(entry(0)->text(), profiles::LongDirFix(path("two.pro"), 35));
    EXPECT_FALSE(entry(2)->isVisible());
    fill(QStringList(8, "x"));
    entry(1)->trigger();
    EXPECT_EQ(fields(*window), chosen);
    EXPECT_EQ(entry(0)->data().toString(), path("one.pro"));
    QFile::remove(path("two.pro"));
    entry(1)->trigger();
    ASSERT_EQ(doubles.messages.shown.size(), 1);
    EXPECT_EQ(doubles.messages.shown[0].text, "Profile not found");
    EXPECT_EQ(window->profiles()->recentList().Count(), 2);
    window->close();

    auto second = std::make_unique<shell::MainWindow>(doubles.platform());
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    second->profiles()->openFromCommandLine({"keldara", "one.pro"});
    QDir::setCurrent(before);
    EXPECT_EQ(fields(*second), chosen);
    second->close();
    shell::MainWindow third(doubles.platform());
    EXPECT_EQ(third.findChild<QAction*>("mnuMRUFiles_0")->data().toString(), path("one.pro"));
}

// Only files that are profiles load; only saved files join the recent list, each under its
// exact path; the dialogs start where the last profile lies, and a name gets ".pro".
TEST_F(ProfileCommandsTest, RefusesNonProfilesAndListsOnlyWrittenFiles) {
    const QByteArray record = serializeRecord(*recordFromProfile(Sample, {}));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    const QString fifo = path("fifo.pro");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString large = test::writeFile(path("large.pro"), record + QByteArray(1 << 20, '\0'));
    fill(QStringList(8, "mine"));
    for (const QString& notAProfile : {QString("/dev/zero"), path("folder"), fifo, large}) {
        SCOPED_TRACE(notAProfile.toStdString());
        doubles.messages.shown.clear();
        window->profiles()->openProfile(notAProfile);
        ASSERT_EQ(doubles.messages.shown.size(), 1);
        EXPECT_EQ(doubles.messages.shown[0].text, "Invalid Profile Configuration File");
        EXPECT_EQ(fields(*window), QStringList(8, "mine"));
    }
    EXPECT_EQ(window->profiles()->recentList().Count(), 0);

    trigger("mnuProfileLoad");  // cancelled
    EXPECT_EQ(doubles.files.calls.last().request.initialFolder, QDir::homePath());
    fill(chosen);
    saveAs("missing/x.pro");
    EXPECT_NE(status(), "Settings Saved");
    EXPECT_EQ(window->profiles()->recentList().Count(), 0);
    saveAs("Case");
    saveAs("case.pro");
    EXPECT_TRUE(QFile::exists(path("Case.pro")));
    EXPECT_EQ(::items(window->profiles()->recentList()),
              (QStringList{"", path("case.pro"), path("Case.pro"), ""}));
    trigger("mnuProfileLoad");
    EXPECT_EQ(doubles.files.calls.last().request.initialFolder, dir.path());
}

// "Remember password in the system keyring" (on for a new profile) keeps the password in the
// keyring and none in the file; a profile with a coded password loads and saves as before;
// without a keyring the window says so and asks for the password.
TEST_F(ProfileCommandsTest, ThePasswordGoesIntoTheKeyringWhereThereIsOne) {
    fill(chosen);
    auto* remember = control<QCheckBox>("chkRememberPassword");
    EXPECT_TRUE(remember->isChecked());
    saveAs("kept.pro");
    EXPECT_EQ(readProfileFile(path("kept.pro"))->password, "");
    EXPECT_EQ(doubles.keyring.passwords.value("db.example:3307:ana"), chosen[3]);

    Profile coded = *readProfileFile(path("kept.pro"));
    coded.password = "coded pw";
    ASSERT_TRUE(WriteProfile(path("coded.pro"), *recordFromProfile(coded, {})));
    window->profiles()->openProfile(path("coded.pro"));
    EXPECT_EQ(textBox("txtTargetPassword")->text(), "coded pw");
    EXPECT_FALSE(remember->isChecked());
    saveAs("coded-again.pro");
    EXPECT_EQ(readProfileFile(path("coded-again.pro"))->password, "coded pw");
    EXPECT_EQ(doubles.keyring.passwords.size(), 1);
    EXPECT_TRUE(doubles.messages.shown.isEmpty());

    doubles.keyring.available = false;
    window->profiles()->openProfile(path("kept.pro"));
    EXPECT_EQ(textBox("txtTargetPassword")->text(), "");
    EXPECT_TRUE(remember->isChecked());
    ASSERT_EQ(doubles.messages.shown.size(), 1);
    EXPECT_TRUE(doubles.messages.shown[0].text.startsWith("No system keyring is running"));
    textBox("txtTargetPassword")->setText("typed");
    saveAs("file.pro");
    ASSERT_EQ(doubles.messages.shown.size(), 2);
    EXPECT_TRUE(doubles.messages.shown[1].text.contains("kept in the profile file"));
    EXPECT_EQ(readProfileFile(path("file.pro"))->password, "typed");
}

}  // namespace

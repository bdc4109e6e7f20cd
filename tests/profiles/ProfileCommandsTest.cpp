#include <QAction>
#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>

#include "mapping/ui/MappingPage.h"
#include "profiles/ui/ProfileCommands.h"
#include "shell/ui/StatusBar.h"
#include "support/Damage.h"
#include "support/WindowFixture.h"

using namespace keldara;

namespace {

const char* const ProfileBoxes[] = {"txtSourceFileName", "txtTargetServer", "txtTargetUsername",
                                    "txtTargetPassword", "txtTargetPort"};
const char* const ProfileCombos[] = {"cboSourceTable", "cboTargetDatabase", "cboTargetTable"};

class ProfileCommandsTest : public test::WindowFixture {
  protected:
    // Every field a profile keeps, as the window shows it.
    QStringList fields() const {
        QStringList all;
        for (const char* name : ProfileBoxes) all << textBox(name)->text();
        for (const char* name : ProfileCombos) all << combo(name)->currentText();
        return all;
    }
    void fill(const QStringList& values) {
        int i = 0;
        for (const char* name : ProfileBoxes) textBox(name)->setText(values[i++]);
        for (const char* name : ProfileCombos) combo(name)->setEditText(values[i++]);
    }
    void trigger(const char* action) { control<QAction>(action)->trigger(); }
    QString status() { return ws().SB->panelText(1); }
    profiles::ProfileCommands& commands() { return *ws().profiles; }
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    // file, server, user, password, port, table, database, target table
    const QStringList chosen = {QString::fromUtf8("/data/\u00e9t\u00e9/\u4e2d.csv"),
                                "db.example",
                                "ana",
                                QString::fromUtf8("p\u00e4ss\u03c9"),
                                "3307",
                                "customers.csv",
                                "shop",
                                "clients"};
};

TEST_F(ProfileCommandsTest, SavesAndLoadsTheChoicesAskingForANameOnce) {
    fill(chosen);
    doubles.files.queueAnswer(path("a.pro"));
    trigger("mnuProfileSave");
    EXPECT_EQ(status(), "Settings Saved");
    QStringList changed = chosen;
    changed[1] = "other.example";
    fill(changed);
    trigger("mnuProfileSave");
    ASSERT_EQ(doubles.files.calls.size(), 1);
    EXPECT_EQ(doubles.files.calls[0].kind, "save");
    EXPECT_EQ(doubles.files.calls[0].request.title, "Save Profile File");
    EXPECT_EQ(control<QAction>("mnuMRUFiles_0")->data().toString(), path("a.pro"));

    fill(chosen);
    doubles.files.queueAnswer(path("b.pro"));
    trigger("mnuProfileSaveAS");
    EXPECT_EQ(doubles.files.calls.size(), 2);

    auto* actions = combo("cboAction");
    actions->setCurrentIndex(1);
    ws().mapping->setRows(3);
    ws().mapping->setTextMatrix(1, 2, "kept");
    fill(QStringList(8, "other"));
    doubles.files.queueAnswer(path("b.pro"));
    trigger("mnuProfileLoad");
    EXPECT_EQ(doubles.files.calls.last().request.title, "Open Profile File");
    EXPECT_EQ(fields(), chosen);
    EXPECT_EQ(actions->currentIndex(), 1);
    EXPECT_EQ(actions->count(), 3);
    EXPECT_EQ(ws().mapping->grdFieldMappings()->rowCount(), 2);
    EXPECT_EQ(ws().mapping->textMatrix(1, 2), "kept");
    EXPECT_FALSE(ws().state.gSourceConnection);
    EXPECT_FALSE(ws().state.gMySQLConnection);

    commands().openProfile(path("a.pro"));
    EXPECT_EQ(fields(), changed);
}

TEST_F(ProfileCommandsTest, RefusesBadFilesAndPortsChangingNothing) {
    fill(chosen);
    doubles.files.queueAnswer(path("a.pro"));
    trigger("mnuProfileSave");
    const QByteArray saved = test::readAll(path("a.pro"));

    textBox("txtTargetPort")->setText("33o6");
    trigger("mnuProfileSave");
    EXPECT_NE(status(), "Settings Saved");
    EXPECT_EQ(test::readAll(path("a.pro")), saved);

    QFile cut(path("cut.pro"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(saved.left(saved.size() - 1));
    cut.close();
    fill(QStringList(8, "mine"));
    commands().openProfile(path("cut.pro"));
    ASSERT_EQ(doubles.messages.shown.size(), 1);
    EXPECT_EQ(doubles.messages.shown[0].text, "Invalid Profile Configuration File");
    EXPECT_EQ(fields(), QStringList(8, "mine"));
    EXPECT_TRUE(commands().profileFileName().isEmpty());
    EXPECT_FALSE(commands().profileRead());
}

TEST_F(ProfileCommandsTest, RecentEntriesFollowTheList) {
    for (const char* entry :
         {"mnuMRUFiles_0", "mnuMRUFiles_1", "mnuMRUFiles_2", "mnuMRUFiles_3", "mnuMRUFiles_4"}) {
        EXPECT_FALSE(control<QAction>(entry)->isVisible());
    }
    fill(chosen);
    for (const char* name : {"one.pro", "two.pro"}) {
        doubles.files.queueAnswer(path(name));
        trigger("mnuProfileSaveAS");
    }
    auto* first = control<QAction>("mnuMRUFiles_0");
    auto* second = control<QAction>("mnuMRUFiles_1");
    EXPECT_EQ(first->text(), profiles::LongDirFix(path("two.pro"), 35));
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(control<QAction>("mnuMRUFiles_2")->isVisible());

    fill(QStringList(8, "x"));
    second->trigger();
    EXPECT_EQ(fields(), chosen);
    EXPECT_EQ(first->data().toString(), path("one.pro"));

    QFile::remove(path("two.pro"));
    second->trigger();
    ASSERT_EQ(doubles.messages.shown.size(), 1);
    EXPECT_EQ(doubles.messages.shown[0].text, "Profile not found");
    EXPECT_EQ(doubles.messages.shown[0].title, "Keldara");
    EXPECT_EQ(doubles.messages.shown[0].icon, platform::MessageIcon::Critical);
    EXPECT_EQ(commands().recentList().Count(), 2);
}

TEST_F(ProfileCommandsTest, TheCloseBoxKeepsTheListAndExitDoesNot) {
    auto storedList = [&] {
        return doubles.settings.allSettings("Tamrix MySQL Tools", "MRUFiles");
    };
    fill(chosen);
    doubles.files.queueAnswer(path("a.pro"));
    trigger("mnuProfileSave");
    trigger("mnuExit");
    window->close();
    EXPECT_TRUE(storedList().isEmpty());

    auto second = std::make_unique<shell::MainWindow>(doubles.platform());
    second->workspace().profiles->openProfile(path("a.pro"));
    second->close();
    ASSERT_EQ(storedList().size(), 1);
    EXPECT_EQ(storedList()[0].second, path("a.pro"));

    shell::MainWindow third(doubles.platform());
    EXPECT_EQ(third.findChild<QAction*>("mnuMRUFiles_0")->data().toString(), path("a.pro"));
}

// The path main() hands over from its arguments.
TEST_F(ProfileCommandsTest, OpensTheProfileNamedOnTheCommandLine) {
    fill(chosen);
    doubles.files.queueAnswer(path("cli.pro"));
    trigger("mnuProfileSave");
    auto fresh = std::make_unique<shell::MainWindow>(doubles.platform());
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    fresh->workspace().profiles->openFromCommandLine({"keldara", "cli.pro"});
    QDir::setCurrent(before);
    EXPECT_EQ(fresh->workspace().profiles->profileFileName(), path("cli.pro"));
    EXPECT_EQ(fresh->findChild<QLineEdit*>("txtTargetPassword")->text(), chosen[3]);
    EXPECT_EQ(fresh->findChild<QComboBox*>("cboTargetTable")->currentText(), "clients");
}

}  // namespace

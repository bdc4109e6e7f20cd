#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "mapping/ui/MappingPage.h"
#include "profiles/ui/ProfileCommands.h"
#include "shell/ui/StatusBar.h"
#include "support/Damage.h"
#include "support/Files.h"
#include "support/WindowFixture.h"

using namespace keldara;

namespace {

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
    EXPECT_EQ(doubles.files.calls[0].request.title, "Save Profile File");

    // Loading changes the kept choices only, and connects nothing.
    combo("cboAction")->setCurrentIndex(1);
    window->mapping()->setRows(3);
    window->mapping()->setTextMatrix(1, 2, "kept");
    fill(QStringList(8, "other"));
    doubles.files.queueAnswer(path("a.pro"));
    trigger("mnuProfileLoad");
    EXPECT_EQ(doubles.files.calls.last().request.title, "Open Profile File");
    EXPECT_EQ(fields(*window), changed);
    EXPECT_EQ(combo("cboAction")->currentIndex(), 1);
    EXPECT_EQ(window->mapping()->textMatrix(1, 2), "kept");
    EXPECT_FALSE(ws().state.gSourceConnection || ws().state.gMySQLConnection);
}

TEST_F(ProfileCommandsTest, RefusesBadFilesAndPortsChangingNothing) {
    fill(chosen);
    saveAs("a.pro");
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

TEST_F(ProfileCommandsTest, RecentEntriesFollowTheList) {
    auto entry = [&](int i) {
        return control<QAction>(qPrintable(QString("mnuMRUFiles_%1").arg(i)));
    };
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(entry(i)->isVisible()) << i;
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
    EXPECT_EQ(doubles.messages.shown[0].title, "Keldara");
    EXPECT_EQ(doubles.messages.shown[0].icon, platform::MessageIcon::Critical);
    EXPECT_EQ(window->profiles()->recentList().Count(), 2);
}

// The second window opens its profile the way main() hands over the program's arguments.
TEST_F(ProfileCommandsTest, TheCloseBoxKeepsTheListAndExitDoesNot) {
    auto stored = [&] { return doubles.settings.allSettings("Tamrix MySQL Tools", "MRUFiles"); };
    fill(chosen);
    saveAs("a.pro");
    trigger("mnuExit");
    window->close();
    EXPECT_TRUE(stored().isEmpty());

    auto second = std::make_unique<shell::MainWindow>(doubles.platform());
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    second->profiles()->openFromCommandLine({"keldara", "a.pro"});
    QDir::setCurrent(before);
    EXPECT_EQ(fields(*second), chosen);
    second->close();
    ASSERT_EQ(stored().size(), 1);
    EXPECT_EQ(stored()[0].second, path("a.pro"));
    shell::MainWindow third(doubles.platform());
    EXPECT_EQ(third.findChild<QAction*>("mnuMRUFiles_0")->data().toString(), path("a.pro"));
}

}  // namespace

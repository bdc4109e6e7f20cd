#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "dialogs/KeyValue.h"
#include "dialogs/ui/AboutBox.h"
#include "platform/ui/QtPlatform.h"
#include "support/WindowFixture.h"

using namespace keldara;
using platform::KeyValue;

namespace {

// "System Info..." starts the program the PATH value names, else MSINFO32.EXE in the folder
// the location value names; when neither can be started it says so and the box stays open.
// Enter and Esc close the box.
TEST(AboutBox, SystemInfoStartsTheProgramTheKeysNameOrSaysItIsUnavailable) {
    QTemporaryDir folder;
    const QString inFolder = QDir(folder.path()).filePath("MSINFO32.EXE");
    const QString msinfo = R"(SOFTWARE\Microsoft\Shared Tools\MSINFO)";
    const QString location = R"(SOFTWARE\Microsoft\Shared Tools Location)";
    const struct {
        QString key, value;
        QByteArray data;
        bool startSucceeds;
        QStringList started;
    } cases[] = {
        {{}, {}, {}, true, {}},
        {msinfo, "PATH", QByteArray("/opt/sysinfo\0", 13), true, {"/opt/sysinfo"}},
        {msinfo, "PATH", "/missing/tool", false, {"/missing/tool"}},
        {location, "MSINFO", folder.path().toLocal8Bit(), true, {}},
        {location, "MSINFO", folder.path().toLocal8Bit(), true, {inFolder}},  // now there
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data.toStdString());
        platform::PlatformDoubles doubles;
        dialogs::AboutBox box{doubles.platform(), nullptr};
        if (!c.key.isEmpty()) doubles.keys.set(c.key, c.value, {KeyValue::RegSz, c.data});
        if (c.started.contains(inFolder)) QFile(inFolder).open(QIODevice::WriteOnly);
        doubles.processes.succeed = c.startSucceeds;
        box.show();
        box.findChild<QPushButton*>("cmdSysInfo")->click();
        EXPECT_EQ(doubles.processes.started, c.started);
        EXPECT_TRUE(box.isVisible());
        EXPECT_EQ(doubles.messages.shown.size(), c.startSucceeds && !c.started.isEmpty() ? 0 : 1);
        for (const auto& message : doubles.messages.shown)
            EXPECT_EQ(message.text, "System Information Is Unavailable At This Time");
        QTest::keyClick(&box, c.startSucceeds ? Qt::Key_Return : Qt::Key_Escape);
        EXPECT_FALSE(box.isVisible());
    }
}

TEST(GetKeyValue, DecodesStringsAndSignedLittleEndianNumbers) {
    const struct {
        int type;
        QByteArray bytes;
        bool ok;
        QString text;
    } cases[] = {
        {KeyValue::RegDword, QByteArray("\x05\x01\x00\x80", 4), true, "-2147483387"},
        {KeyValue::RegSz, QByteArray(1025, 'a'), false, ""},
        {3 /* binary */, QByteArray("\x01\x02", 2), true, "as passed"},
    };
    for (const auto& c : cases) {
        platform::MemoryKeyStore store;
        store.set("K", "V", {c.type, c.bytes});
        QString text = "as passed";
        EXPECT_EQ(dialogs::GetKeyValue(store, platform::KeyRoot::LocalMachine, "K", "V", text),
                  c.ok)
            << c.bytes.toHex().constData();
        EXPECT_EQ(text, c.text) << c.bytes.toHex().constData();
    }
}

class AboutCommand : public keldara::test::WindowFixture {};

TEST_F(AboutCommand, ShowsAFreshModalBoxEachTime) {
    QList<QWidget*> seen;
    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, [&] {
            seen.append(QApplication::activeModalWidget());
            ASSERT_TRUE(seen.last() && seen.last()->parentWidget() == window.get());
            seen.last()->close();
        });
        control<QAction>("mnuAbout")->trigger();
    }
    EXPECT_EQ(seen.size(), 2);
    EXPECT_TRUE(window->findChildren<dialogs::AboutBox*>().isEmpty()) << "released after use";
}

// (The source panel's and profile commands' tests follow the file dialogs through the window.)
TEST(FileDialogFilters, BecomeQtNameFiltersWithDuplicatesFolded) {
    EXPECT_EQ(platform::qtNameFilters("Text Files|*.csv;*.csv;*.txt|All Files (*.*)|*.*"),
              (QStringList{"Text Files (*.csv *.txt)", "All Files (*.*) (*.*)"}));
    EXPECT_EQ(platform::qtNameFilters("odd|"), QStringList{"odd ()"});
}

}  // namespace

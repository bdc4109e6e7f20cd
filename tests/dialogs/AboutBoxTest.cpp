#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "dialogs/KeyValue.h"
#include "dialogs/ui/AboutBox.h"
#include "support/WindowFixture.h"

using namespace keldara;
using platform::KeyValue;

namespace {

const QString MsinfoKey = R"(SOFTWARE\Microsoft\Shared Tools\MSINFO)";
const QString LocationKey = R"(SOFTWARE\Microsoft\Shared Tools Location)";

class AboutBoxTest : public ::testing::Test {
  protected:
    platform::PlatformDoubles doubles;
    dialogs::AboutBox box{doubles.platform(), nullptr};

    void expectUnavailableMessage() {
        ASSERT_EQ(doubles.messages.shown.size(), 1);
        const auto& message = doubles.messages.shown.first();
        EXPECT_EQ(message.text, "System Information Is Unavailable At This Time");
        EXPECT_EQ(message.buttons, platform::MessageButtons::Ok);
        EXPECT_EQ(message.icon, platform::MessageIcon::None);
        EXPECT_TRUE(doubles.processes.started.isEmpty());
    }
};

TEST_F(AboutBoxTest, ShowsItsFixedTexts) {
    EXPECT_EQ(box.windowTitle(), "About MyApp");
    EXPECT_EQ(box.findChild<QLabel*>("LblTitle")->text(), "Tamrix Keldara");
    EXPECT_EQ(box.findChild<QLabel*>("lblVersion")->text(), "Version 1.1");
    EXPECT_EQ(box.findChild<QLabel*>("LbEdition")->text(), "Version 1.1");
    EXPECT_EQ(box.findChild<QLabel*>("Label2_0")->text(), "Product Information :");
    EXPECT_TRUE(box.findChild<QLabel*>("LbEmail")->text().startsWith("E-mail :"));
    EXPECT_EQ(box.findChild<QPushButton*>("cmdSysInfo")->text(), "&System Info...");
    EXPECT_TRUE(box.findChild<QPushButton*>("cmdOK")->isDefault());
}

TEST_F(AboutBoxTest, EnterAndEscBothClose) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        QTest::keyClick(&box, key);
        EXPECT_FALSE(box.isVisible()) << key;
    }
}

TEST_F(AboutBoxTest, WithoutAnyKeySaysTheToolIsUnavailableAndStaysOpen) {
    box.show();
    box.findChild<QPushButton*>("cmdSysInfo")->click();
    expectUnavailableMessage();
    EXPECT_TRUE(box.isVisible());
}

TEST_F(AboutBoxTest, StartsTheProgramNamedByThePathValue) {
    doubles.keys.set(MsinfoKey, "PATH", {KeyValue::RegSz, QByteArray("/opt/sysinfo\0", 13)});
    box.StartSysInfo();
    EXPECT_EQ(doubles.processes.started, QStringList{"/opt/sysinfo"});
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

TEST_F(AboutBoxTest, APathThatCannotBeStartedGivesTheMessage) {
    doubles.keys.set(MsinfoKey, "PATH", {KeyValue::RegSz, "/missing/tool"});
    doubles.processes.succeed = false;
    box.StartSysInfo();
    ASSERT_EQ(doubles.messages.shown.size(), 1);
    EXPECT_EQ(doubles.messages.shown.first().text,
              "System Information Is Unavailable At This Time");
}

TEST_F(AboutBoxTest, LooksForTheProgramInTheLocationFolder) {
    QTemporaryDir folder;
    doubles.keys.set(LocationKey, "MSINFO", {KeyValue::RegSz, folder.path().toLocal8Bit()});
    box.StartSysInfo();
    expectUnavailableMessage();

    QFile program(QDir(folder.path()).filePath("MSINFO32.EXE"));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.close();
    doubles.messages.shown.clear();
    box.StartSysInfo();
    EXPECT_EQ(doubles.processes.started, QStringList{program.fileName()});
    EXPECT_TRUE(doubles.messages.shown.isEmpty());
}

struct KeyCase {
    int type;
    QByteArray bytes;
    bool ok;
    QString text;
};

TEST(GetKeyValue, DecodesStringsAndSignedLittleEndianNumbers) {
    const KeyCase cases[] = {
        {KeyValue::RegDword, QByteArray("\x05\x01\x00\x00", 4), true, "261"},
        {KeyValue::RegDword, QByteArray("\xFF\xFF\xFF\xFF", 4), true, "-1"},
        {KeyValue::RegDword, QByteArray("\x00\x00\x00\x80", 4), true, "-2147483648"},
        {KeyValue::RegSz, QByteArray("C:\\x\0", 5), true, "C:\\x"},
        {KeyValue::RegSz, QByteArray(""), true, ""},
        {KeyValue::RegSz, QByteArray(1025, 'a'), false, ""},
        {3 /* binary */, QByteArray("\x01\x02", 2), true, "as passed"},
    };
    for (const KeyCase& c : cases) {
        platform::MemoryKeyStore store;
        store.set("K", "V", {c.type, c.bytes});
        QString text = "as passed";
        EXPECT_EQ(dialogs::GetKeyValue(store, platform::KeyRoot::LocalMachine, "K", "V", text),
                  c.ok)
            << c.bytes.toHex().constData();
        EXPECT_EQ(text, c.text) << c.bytes.toHex().constData();
    }
    platform::MemoryKeyStore empty;
    QString text = "as passed";
    EXPECT_FALSE(dialogs::GetKeyValue(empty, platform::KeyRoot::LocalMachine, "K", "V", text));
    EXPECT_EQ(text, "");
}

class AboutCommand : public keldara::test::WindowFixture {};

TEST_F(AboutCommand, ShowsAFreshModalBoxEachTime) {
    QList<QWidget*> seen;
    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            seen.append(modal);
            if (modal) {
                EXPECT_EQ(modal->objectName(), "frmAbout");
                EXPECT_EQ(modal->parentWidget(), window.get());
                modal->close();
            }
        });
        control<QAction>("mnuAbout")->trigger();
    }
    ASSERT_EQ(seen.size(), 2);
    EXPECT_NE(seen[0], nullptr);
    EXPECT_TRUE(window->findChildren<dialogs::AboutBox*>().isEmpty()) << "released after use";
}

}  // namespace

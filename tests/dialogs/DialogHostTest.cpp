#include <gtest/gtest.h>

#include "dialogs/DialogHost.h"
#include "platform/doubles/PlatformDoubles.h"
#include "platform/ui/QtPlatform.h"

using namespace keldara;
using dialogs::DialogHost;

namespace {

DialogHost::CommonDialog profileSettings() {
    DialogHost::CommonDialog cd;
    cd.DialogTitle = "Open Profile File";
    cd.InitDir = "/home/user";
    cd.Filter = "MySQL Profile Files|*.pro|All Files (*.*)|*.*";
    cd.Flags = 4096;
    return cd;
}

TEST(DialogHost, TurnsEveryOutcomeIntoAPathOrCancel) {
    platform::FakeFileDialogs files;
    files.queueAnswer(QString("/data/a.pro"));
    files.queueAnswer(std::nullopt);
    EXPECT_EQ(dialogs::askForFile(files, dialogs::FileDialogKind::Open, profileSettings(), 10, 20),
              "/data/a.pro");
    EXPECT_EQ(dialogs::askForFile(files, dialogs::FileDialogKind::Save, profileSettings(), 10, 20),
              "Cancel");
    ASSERT_EQ(files.calls.size(), 2);
    EXPECT_EQ(files.calls[0].kind, "open");
    EXPECT_EQ(files.calls[1].kind, "save");
    const auto& request = files.calls[0].request;
    EXPECT_EQ(request.title, "Open Profile File");
    EXPECT_EQ(request.initialFolder, "/home/user");
    EXPECT_EQ(request.flags, platform::FileDialogRequest::FileMustExist);
    EXPECT_EQ(request.left, 10);
    EXPECT_EQ(request.top, 20);
}

TEST(DialogHost, EachUseStartsFromAFreshHost) {
    platform::FakeFileDialogs files;
    dialogs::askForFile(files, dialogs::FileDialogKind::Open, profileSettings(), 0, 0);
    DialogHost::CommonDialog plain;
    plain.DialogTitle = "Select your Target File";
    dialogs::askForFile(files, dialogs::FileDialogKind::Open, plain, 0, 0);
    ASSERT_EQ(files.calls.size(), 2);
    EXPECT_EQ(files.calls[1].request.filter, "");
    EXPECT_EQ(files.calls[1].request.flags, 0);
    EXPECT_EQ(files.calls[1].request.initialFolder, "");
}

TEST(DialogHost, FontDialogListsScreenFontsAndCancels) {
    platform::FakeFileDialogs files;
    DialogHost host(files);
    host.ShowFont();
    EXPECT_EQ(host.Tag, "Cancel");
    EXPECT_EQ(files.calls.at(0).request.flags, 1);
    files.queueAnswer(QString("DejaVu Sans"));
    host.ShowFont();
    EXPECT_EQ(host.Tag, "DejaVu Sans");
}

TEST(FileDialogFilters, BecomeQtNameFiltersWithDuplicatesFolded) {
    EXPECT_EQ(platform::qtNameFilters("Text Files|*.csv;*.csv;*.txt|All Files (*.*)|*.*"),
              (QStringList{"Text Files (*.csv *.txt)", "All Files (*.*) (*.*)"}));
    EXPECT_EQ(platform::qtNameFilters(""), QStringList{});
    EXPECT_EQ(platform::qtNameFilters("odd|"), QStringList{"odd ()"});
}

}  // namespace

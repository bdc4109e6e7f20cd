#include <gtest/gtest.h>

#include "dialogs/DialogHost.h"
#include "platform/doubles/PlatformDoubles.h"
#include "platform/ui/QtPlatform.h"

using namespace keldara;
using dialogs::DialogHost;

namespace {

// A cancel comes back as "Cancel"; each use starts from a fresh host, so nothing of an earlier
// request carries over. (The source panel's test follows an answered "open" through the window.)
TEST(DialogHost, TurnsACancelIntoCancelAndStartsEachUseAfresh) {
    DialogHost::CommonDialog profile;
    profile.DialogTitle = "Open Profile File";
    profile.InitDir = "/home/user";
    profile.Filter = "MySQL Profile Files|*.pro|All Files (*.*)|*.*";
    profile.Flags = 4096;
    platform::FakeFileDialogs files;
    EXPECT_EQ(dialogs::askForFile(files, dialogs::FileDialogKind::Save, profile, 10, 20), "Cancel");
    EXPECT_EQ(dialogs::askForFile(files, dialogs::FileDialogKind::Save, {}, 0, 0), "Cancel");
    ASSERT_EQ(files.calls.size(), 2);
    EXPECT_EQ(files.calls[0].kind, "save");
    EXPECT_EQ(files.calls[0].request.title, "Open Profile File");
    EXPECT_EQ(QPoint(files.calls[0].request.left, files.calls[0].request.top), QPoint(10, 20));
    const auto& fresh = files.calls[1].request;
    EXPECT_EQ(QStringList({fresh.title, fresh.filter, fresh.initialFolder}), QStringList(3, ""));
    EXPECT_EQ(fresh.flags, 0);
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

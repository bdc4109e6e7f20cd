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
    profile.Filter = "MySQL Profile Files|*.pro";
    platform::FakeFileDialogs files;
    EXPECT_EQ(dialogs::askForFile(files, dialogs::FileDialogKind::Save, profile, 10, 20), "Cancel");
    EXPECT_EQ(dialogs::askForFile(files, dialogs::FileDialogKind::Save, {}, 0, 0), "Cancel");
    ASSERT_EQ(files.calls.size(), 2);
    EXPECT_EQ(files.calls[0].kind, "save");
    EXPECT_EQ(files.calls[0].request.title, "Open Profile File");
    EXPECT_EQ(QPoint(files.calls[0].request.left, files.calls[0].request.top), QPoint(10, 20));
    EXPECT_EQ(files.calls[1].request.title + files.calls[1].request.filter, "");

    DialogHost host(files);
    host.ShowFont();
    EXPECT_EQ(host.Tag, "Cancel");
    files.queueAnswer(QString("DejaVu Sans"));
    host.ShowFont();
    EXPECT_EQ(host.Tag, "DejaVu Sans");
}

TEST(FileDialogFilters, BecomeQtNameFiltersWithDuplicatesFolded) {
    EXPECT_EQ(platform::qtNameFilters("Text Files|*.csv;*.csv;*.txt|All Files (*.*)|*.*"),
              (QStringList{"Text Files (*.csv *.txt)", "All Files (*.*) (*.*)"}));
    EXPECT_EQ(platform::qtNameFilters("odd|"), QStringList{"odd ()"});
}

}  // namespace

#include <gtest/gtest.h>

#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include "platform/dao/TypeCodes.h"
#include "shell/ui/RecordsetModel.h"
#include "shell/window/ui/SplashScreen.h"

using namespace keldara;

namespace {

// Each tick adds five; the twentieth hands over, and later ticks change nothing. The last
// tick here comes from the splash screen's own timer.
TEST(SplashScreen, HandsOverAfterTwentyTicksAndNeverPassesOneHundred) {
    shell::SplashScreen splash;
    splash.show();
    QSignalSpy finished(&splash, &shell::SplashScreen::finished);
    for (int tick = 1; tick <= 19; ++tick) {
        splash.Timer1_Timer();
        EXPECT_EQ(splash.ProgLoad()->value(), 5 * tick);
    }
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(finished.wait(5000));
    EXPECT_EQ(splash.ProgLoad()->value(), 100);
    EXPECT_FALSE(splash.isVisible());
    splash.Timer1_Timer();
    EXPECT_EQ(splash.ProgLoad()->value(), 100);
    EXPECT_EQ(finished.count(), 1);
}

TEST(RecordsetModel, ShowsTheRecordsetItHoldsWithoutCopies) {
    dao::Recordset rs({{"Name", dao::adType::VarWChar, 20}, {"Amount", dao::adType::Double, 8}});
    for (int i = 0; i < 100000; ++i) {
        const dao::Value row[] = {
            i % 7 ? dao::Value::text(QString("n%1").arg(i)) : dao::Value::null(),
            dao::Value::floating(i / 4.0)};
        rs.appendRow(row);
    }
    shell::RecordsetModel model;
    model.setRecordset(&rs);
    EXPECT_EQ(model.rowCount(), 100000);
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Amount");
    EXPECT_EQ(model.data(model.index(99999, 0), Qt::DisplayRole).toString(), "n99999");
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), "") << "Null shows empty";
    EXPECT_EQ(model.data(model.index(6, 1), Qt::DisplayRole).toString(),
              dao::Value::floating(1.5).displayText());
    model.setRecordset(nullptr);
    EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace

#include <gtest/gtest.h>

#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

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

}  // namespace

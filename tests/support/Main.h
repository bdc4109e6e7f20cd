#pragma once

#include <gtest/gtest.h>

#include "support/TestServer.h"

namespace keldara::test {

// The body of a test program's main: an application object of type `App` (QCoreApplication
// for widget-free tests, QApplication for window tests), then every test.
template <typename App>
int runAllTests(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    App app(argc, argv);
    useTestServerOfTheBuild();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

}  // namespace keldara::test

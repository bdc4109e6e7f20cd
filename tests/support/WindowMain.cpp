#include <QApplication>

#include "support/Main.h"

// Window test programs run with a real, offscreen QApplication.
int main(int argc, char** argv) {
    return keldara::test::runAllTests<QApplication>(argc, argv);
}

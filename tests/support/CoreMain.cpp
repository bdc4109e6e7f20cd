#include <QCoreApplication>

#include "support/Main.h"

// Widget-free test programs run with a QCoreApplication: nothing there may need widgets.
int main(int argc, char** argv) {
    return keldara::test::runAllTests<QCoreApplication>(argc, argv);
}

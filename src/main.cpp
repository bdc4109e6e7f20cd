#include <QApplication>
#include <QScreen>
#include <memory>

#include "platform/ui/QtPlatform.h"
#include "profiles/ui/ProfileCommands.h"
#include "window/ui/MainWindow.h"
#include "window/ui/SplashScreen.h"

using namespace keldara;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Keldara");
    QApplication::setQuitOnLastWindowClosed(false);

    platform::QtPlatform platform;
    std::unique_ptr<shell::MainWindow> frmMain;

    auto* splash = new shell::SplashScreen;
    splash->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(splash, &shell::SplashScreen::finished, [&] {
        frmMain = std::make_unique<shell::MainWindow>(platform.platform());
        platform.setOwner(frmMain.get());
        QObject::connect(frmMain.get(), &shell::MainWindow::exitRequested,
                         [] { QCoreApplication::exit(0); });
        QApplication::setQuitOnLastWindowClosed(true);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frmMain->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            frmMain->move(frame.topLeft());
        }
        frmMain->show();
        frmMain->profiles()->openFromCommandLine(QCoreApplication::arguments());
    });
    splash->show();
    return app.exec();
}

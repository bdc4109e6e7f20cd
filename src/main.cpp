#include <QApplication>
#include <QScreen>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/FreedMemory.h"
#include "platform/ui/QtPlatform.h"
#include "profiles/ui/ProfileCommands.h"
#include "window/ui/MainWindow.h"
#include "window/ui/SplashScreen.h"

using namespace keldara;

namespace {

const char* const kHelp = R"(Usage: keldara [PROFILE.pro]

Copies the tables of desktop data files (Access .mdb, Excel .xls, text .csv and
.txt, dBase .dbf) into a MySQL or MariaDB database, in a window: pick a source
table and a target table, pair their fields, then update matching rows, insert
new rows, or generate a script that creates and fills a table like the source.

Arguments:
  PROFILE.pro    start with this profile loaded: the source file and table, the
                 server, port, user name, password, database and target table

Options:
  -h, --help     show this help and exit
      --version  show the version and exit

Run 'keldara-cli --help' for transfers without a window.
)";

// --help and --version are answered before anything opens a window or needs a display.
bool answeredWithoutWindow(int argc, char** argv) {
    if (argc < 2) return false;
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kHelp, stdout);
        return true;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::puts("keldara " KELDARA_VERSION);
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (answeredWithoutWindow(argc, argv)) return 0;
    platform::keepFreedMemory();
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

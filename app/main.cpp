#include "app/commandline.h"
#include "app/program.h"
#include "ui/appearance.h"
#include "ui/qthost.h"

#include <QApplication>
#include <QIcon>

#ifdef KELDAR_EARLY_SESSION_BUS
#include <QDBusConnection>
#include <thread>
#endif

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("keldar"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELDAR_VERSION));
    // Help and version need no display, so they work on any terminal.
    if (keldar::commandline::asksForTextOnly(argc, argv)) {
        QCoreApplication app(argc, argv);
        keldar::commandline::process(app);
        return 0;
    }
#ifdef KELDAR_EARLY_SESSION_BUS
    // The first control built wakes the accessibility bridge, which connects
    // to the session bus and waits for it; where none runs yet, one is started
    // first, which takes longer than building all the windows.  Connecting
    // from here lets that wait overlap the toolkit's own start.
    std::thread sessionBus([] { QDBusConnection::sessionBus(); });
#endif
    QApplication app(argc, argv);
    keldar::commandline::process(app);
    // Ties the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("keldar"));
    QApplication::setWindowIcon(keldar::programIcon());
    keldar::applyAppearance();

    keldar::QtHost host(keldar::DrivePaths::forThisHost());
    keldar::Program program(host);
    program.start();
    const int status = QApplication::exec();
#ifdef KELDAR_EARLY_SESSION_BUS
    sessionBus.join();
#endif
    return status;
}

#include "app/commandline.h"
#include "app/earlystart.h"
#include "app/program.h"
#include "ui/appearance.h"
#include "ui/qthost.h"

#include <QApplication>
#include <QIcon>

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
    keldar::EarlyStart early;
    QApplication app(argc, argv);
    keldar::commandline::process(app);
    // Ties the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("keldar"));
    QApplication::setWindowIcon(keldar::programIcon());
    keldar::applyAppearance();

    early.waitForFonts();
    keldar::QtHost host(keldar::DrivePaths::forThisHost());
    keldar::Program program(host);
    program.start();
    return QApplication::exec();
}

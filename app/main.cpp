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
        return keldar::commandline::process(app);
    }
    keldar::EarlyStart early;
    QApplication app(argc, argv);
    if (const int refused = keldar::commandline::process(app))
        return refused;
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

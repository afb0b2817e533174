#include "app/appearance.h"
#include "app/commandline.h"
#include "app/program.h"
#include "app/qthost.h"

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
    QApplication app(argc, argv);
    keldar::commandline::process(app);
    // Ties the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("keldar"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("keldar")));
    keldar::applyAppearance();

    keldar::QtHost host(keldar::DrivePaths::forThisHost());
    keldar::Program program(host);
    program.start();
    return QApplication::exec();
}

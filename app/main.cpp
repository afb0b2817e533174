#include "app/program.h"
#include "ui/appearance.h"
#include "ui/qthost.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("keldar"));
    QApplication::setApplicationVersion(QStringLiteral(KELDAR_VERSION));
    // Ties the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("keldar"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("keldar")));
    keldar::applyAppearance();

    keldar::QtHost host(keldar::DrivePaths::forThisHost());
    keldar::Program program(host);
    program.start();
    return QApplication::exec();
}

// The yardstick for KELDAR's start-up: an empty Qt window of the same size.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(464, 478);
    window.show();
    return QApplication::exec();
}

// The yardstick for KELDAR's start-up: an empty Qt window of the same size.
// Built a second time with one line of text in it (startup-label-window), it
// shows what drawing any text at all costs: the font configuration, a font
// and the text-shaping libraries.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(464, 478);
#ifdef KELDAR_BENCH_ONE_LABEL
    QLabel label(QStringLiteral("KELDAR"), &window);
    label.move(8, 8);
#endif
    window.show();
    return QApplication::exec();
}

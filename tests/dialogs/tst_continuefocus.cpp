// The continue dialog opens with "Yes" focused right after the success box
// has gone, so Enter answers it, whatever the window manager does on its own.
// Runs twice: under Xvfb and openbox with real key presses
// (tests/support/under-wm.sh), and on the minimal platform, which like a
// window manager that prevents focus stealing activates no window by itself.
#include "tests/support/guitest.h"

#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QTimer>

using namespace keldar::test;

namespace {

bool onX()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// Enter as the user presses it: on X, to whichever window the window manager
// has given the keyboard; elsewhere, to the focus widget, if there is one.
void pressEnter()
{
    if (onX())
        QProcess::execute(QStringLiteral("xdotool"),
                          {QStringLiteral("key"), QStringLiteral("Return")});
    else if (QWidget *w = QApplication::focusWidget())
        QTest::keyClick(w, Qt::Key_Return);
}

} // namespace

class TestContinueFocus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Batch after batch in one program, as a user goes on with "Yes"; the
    // generator leaves its read mark at varying times after its start, the
    // success box comes, and the dialog opens once it has gone.
    void enterAnswersYes()
    {
        Fixture f;
        f.host.realBoxes = true;
        f.host.processRunning = true;
        int markAfterMs = 0;
        f.host.onStart = [&](const ScriptedHost::Start &) {
            QTimer::singleShot(markAfterMs,
                               [&] { QVERIFY(writeFile(f.mark(), "4242\naccepted 10\n")); });
        };
        for (int opening = 1; opening <= 12; ++opening) {
            markAfterMs = (opening * 37) % 120;
            // What the user's clicks would activate, the test activates.
            f.program->start();
            f.parameters() = exampleBatch();
            f.window().show();
            QVERIFY(activate(&f.window()));
            ModalAnswerer::answerNext([](QWidget *box) {
                // A key lost on a loaded machine must not hang the run: the
                // box's own focus is not what this test is about.
                QTimer::singleShot(3000, box, [box] {
                    qWarning("the success box did not take Enter; closed");
                    box->close();
                });
                if (activate(box))
                    pressEnter();
                else
                    box->close();
            });
            f.generate(QStringLiteral("10"), QStringLiteral("1"), QStringLiteral("/srv"));
            QTRY_VERIFY(f.dialog().isVisible());
            QCOMPARE(f.host.messages.size(), opening);
            QTRY_COMPARE_WITH_TIMEOUT(focused(), QStringLiteral("cmdContinueYes"), 2000);
            pressEnter();
            QTRY_VERIFY2(f.main().isVisible(),
                         qPrintable(QStringLiteral("opening %1").arg(opening)));
            QVERIFY(!f.dialog().isLoaded());
        }
    }
};

QTEST_MAIN(TestContinueFocus)
#include "tst_continuefocus.moc"

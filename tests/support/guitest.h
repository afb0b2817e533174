#pragma once

#include "app/appearance.h"
#include "app/keldar.h"
#include "app/program.h"
#include "tests/support/examplebatch.h"
#include "tests/support/scriptedhost.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace keldar::test {

// The main window's nine entry boxes, in the order Confirm Input checks them.
inline const char *const MainWindowFields[] = {"txtNurses",
                                               "txtDays",
                                               "txtShifts",
                                               "txtPeriodPreferenceDistribution",
                                               "txtDayPrefereenceDistribution",
                                               "txtShiftPreferenceDistribution",
                                               "txtTotalConstrainedness",
                                               "txtDayCoverageDistribution",
                                               "txtShiftCoverageDistribution"};

// Design geometry is in twips; at 96 dpi 15 of them make a pixel.
inline int px(int twips)
{
    return (twips + 7) / 15;
}

inline QRect twips(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

// A click as the platform delivers it: through the window, so the program
// sees it before Qt moves the focus.
inline void click(QWidget *widget, QPoint pos = {})
{
    if (pos.isNull())
        pos = widget->rect().center();
    QWidget *window = widget->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, widget->mapTo(window, pos));
}

// A fresh program over a scripted host and a temporary "C:\" for one test.
struct Fixture {
    // The program's own fonts, so that sizes are what users see.
    Fixture() { applyAppearance(); }

    QTemporaryDir drive;
    ScriptedHost host{DrivePaths(drive.path(), QString::fromLocal8Bit(qgetenv("KELDAR_BIN_DIR")))};
    std::unique_ptr<Program> program = std::make_unique<Program>(host);

    KELDAR &main() { return program->keldar(); }

    template <class T = QWidget> T *child(QWidget *window, const char *name)
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    QLineEdit *field(const char *name) { return child<QLineEdit>(&main(), name); }

    // Starts the program and waits until the main window is shown and active.
    void start()
    {
        program->start();
        QVERIFY(QTest::qWaitForWindowExposed(&main()));
        // Asked of the platform, so that it also holds on an X server
        // without a window manager.
        main().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main()));
    }

    ~Fixture()
    {
        program.reset();
        // Discarded controls are deleted on the way back to the event loop.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

} // namespace keldar::test

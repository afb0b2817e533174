#include "tests/support/guitest.h"

#include "ui/appearance.h"

#include <QApplication>
#include <QLocale>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

namespace keldar::test {

void click(QWidget *widget, QPoint pos)
{
    if (pos.isNull())
        pos = widget->rect().center();
    QWidget *window = widget->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, widget->mapTo(window, pos));
}

void clickTab(KELDAR &w, int index)
{
    QTabBar *bar = w.findChild<QTabWidget *>(QStringLiteral("TabStrip1"))->tabBar();
    click(bar, bar->tabRect(index - 1).center());
}

bool activate(QWidget *window)
{
    if (!QTest::qWaitFor([window] { return window->isVisible(); }))
        return false;
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

QString focused()
{
    QWidget *w = QApplication::focusWidget();
    return w ? w->objectName() : QString();
}

namespace {

QString rootOf(const QTemporaryDir &drive, const QString &rootName)
{
    // The program's own fonts, so that sizes are what users see; before
    // any window exists.
    applyAppearance();
    return rootName.isEmpty() ? drive.path() : drive.filePath(rootName);
}

} // namespace

Fixture::Fixture(const QString &programDir, const QString &rootName)
    : host(DrivePaths(rootOf(drive, rootName), programDir)),
      program(std::make_unique<Program>(host))
{}

Fixture::~Fixture()
{
    program.reset();
    // Discarded controls are deleted on the way back to the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QLocale::setDefault(QLocale::c());
}

void Fixture::click(QWidget *window, const char *button)
{
    QTest::mouseClick(child<QPushButton>(window, button), Qt::LeftButton);
}

void Fixture::start()
{
    program->start();
    QVERIFY(QTest::qWaitForWindowExposed(&main()));
    QVERIFY(activate(&main()));
}

void Fixture::open(const ParameterSet &batch)
{
    program->start();
    QVERIFY(QTest::qWaitForWindowExposed(&main()));
    parameters() = batch;
    window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&window()));
    QApplication::setActiveWindow(&window());
    QVERIFY(QTest::qWaitForWindowActive(&window()));
}

void Fixture::generate(const QString &count, const QString &firstFile, const QString &folder)
{
    files()->setText(count);
    first()->setText(firstFile);
    host.folderAnswers = {folder};
    click(&window(), "cmdgo");
}

void Fixture::finishBatch(const QString &folder)
{
    generate(QStringLiteral("10"), QStringLiteral("1"), folder);
    QTRY_VERIFY(dialog().isVisible());
    QApplication::setActiveWindow(&dialog());
    QVERIFY(QTest::qWaitForWindowActive(&dialog()));
}

} // namespace keldar::test

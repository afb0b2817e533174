#include "dialogs/frmoutput.h"
#include "tests/support/guitest.h"

#include <QGroupBox>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>

using namespace keldar;
using namespace keldar::test;

namespace {

void clickTab(KELDAR &w, int index)
{
    QTabBar *bar = w.findChild<QTabWidget *>("TabStrip1")->tabBar();
    click(bar, bar->tabRect(index - 1).center());
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startUpState()
    {
        Fixture f;
        const ParameterSet &p = f.main().parameters();
        QCOMPARE(p.seed, qint16(0)); // before the window is loaded
        f.start();
        QCOMPARE(f.main().windowTitle(), QStringLiteral("KELDAR"));
        QCOMPARE(f.main().shownPage(), int(KELDAR::Welcome));
        QCOMPARE(f.main().selectedTab(), 1);
        for (const char *name : MainWindowFields) {
            QVERIFY2(f.field(name), name);
            QCOMPARE(f.field(name)->text(), QString());
        }
        QVERIFY(!f.child<QRadioButton>(&f.main(), "Optyes")->isChecked());
        QVERIFY(!f.child<QRadioButton>(&f.main(), "optNo")->isChecked());
        QCOMPARE(p.seed, qint16(100));
        QCOMPARE(p.startsolution, qint16(0));
        QCOMPARE(p.numberOfFilesGenerated, 0.0);
        QCOMPARE(p.nurses, 0.0);
        QCOMPARE(p.totalCoverage, 0.0);
        QVERIFY(!p.freeShiftInculuded);
        QVERIFY(!p.mnuNewClicked);
        // The design's quarter point sizes survive the design file.
        QCOMPARE(f.child<QPushButton>(&f.main(), "cmdGenerate")->font().pointSizeF(), 9.75);
        QCOMPARE(f.child(&f.main(), "Label3")->font().pointSizeF(), 14.25);
        QCOMPARE(f.child(&f.main(), "Label11")->font().pointSizeF(), 8.25);
        // The button that lies beyond the page's edge is never seen.
        auto *hidden = f.child<QPushButton>(&f.main(), "cmdContinuePreference");
        QVERIFY(hidden);
        QVERIFY(!hidden->visibleRegion().intersects(hidden->rect()) || !hidden->isVisible());
    }

    void tabSwitch_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("focus");
        QTest::newRow("problem size") << 2 << "txtNurses";
        QTest::newRow("preference: top box") << 3 << "txtShiftPreferenceDistribution";
        QTest::newRow("coverage: top box") << 4 << "txtTotalConstrainedness";
    }
    void tabSwitch()
    {
        QFETCH(int, tab);
        QFETCH(QString, focus);
        Fixture f;
        f.start();
        clickTab(f.main(), tab);
        QCOMPARE(f.main().shownPage(), tab);
        QCOMPARE(f.main().selectedTab(), tab);
        QTRY_COMPARE(QApplication::focusWidget()->objectName(), focus);
        const char *frames[] = {"frmWelcome", "frmProblem", "frmPreference", "frmCoverage"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(f.child<QGroupBox>(&f.main(), frames[i])->isVisible(), i + 1 == tab);

        // Back to Welcome: the page changes, nothing else.
        clickTab(f.main(), 1);
        QCOMPARE(f.main().shownPage(), int(KELDAR::Welcome));
    }

    void problemSizeArrivalSelectsYes()
    {
        Fixture f;
        f.start();
        clickTab(f.main(), 2);
        auto *yes = f.child<QRadioButton>(&f.main(), "Optyes");
        auto *no = f.child<QRadioButton>(&f.main(), "optNo");
        QVERIFY(yes->isChecked());
        click(no);
        QVERIFY(no->isChecked());
        clickTab(f.main(), 4);
        clickTab(f.main(), 2);
        QVERIFY(yes->isChecked());
        QVERIFY(!no->isChecked());
    }

    void programmaticTabSelectionShowsNoPage()
    {
        Fixture f;
        f.start();
        f.main().selectTab(3);
        QCOMPARE(f.main().selectedTab(), 3);
        QCOMPARE(f.main().shownPage(), int(KELDAR::Welcome));
    }

    void exitEndsTheProgram()
    {
        Fixture f;
        f.start();
        f.main().findChild<QAction *>("mnuExit")->trigger();
        QCOMPARE(f.host.endProgramCalls, 1);
        QVERIFY(!f.main().isLoaded());
        QVERIFY(!f.main().isVisible());
    }

    void noProgramWithoutAWindow()
    {
        Fixture f;
        f.start();
        f.main().findChild<QAction *>("mnuInfo")->trigger();
        f.main().close();
        QTest::qWait(10);
        QCOMPARE(f.host.endProgramCalls, 0); // About is still there
        click(f.program->about().findChild<QPushButton *>("CmdOutputok"));
        QTRY_COMPARE(f.host.endProgramCalls, 1);
    }

    void parameterSetSurvivesReload()
    {
        Fixture f;
        f.start();
        ParameterSet &p = f.main().parameters();
        p.seed = 7;
        p.startsolution = 1;
        p.numberOfFilesGenerated = 10;
        p.nurses = 20;
        f.field("txtNurses")->setText("20");
        f.main().unload();
        QVERIFY(!f.main().findChild<QLineEdit *>("txtNurses"));
        f.main().show();
        QCOMPARE(f.field("txtNurses")->text(), QString());
        QCOMPARE(f.main().shownPage(), int(KELDAR::Welcome));
        QCOMPARE(p.seed, qint16(100));
        QCOMPARE(p.startsolution, qint16(1));
        QCOMPARE(p.numberOfFilesGenerated, 10.0);
        QCOMPARE(p.nurses, 20.0);
        // One set of controls, not two.
        QCOMPARE(f.main().findChildren<QLineEdit *>("txtNurses").size(), 1);
    }

    void accessibleNames_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("name");
        QTest::newRow("nurses") << "txtNurses"
                                << "Number of Nurses";
        QTest::newRow("days") << "txtDays"
                              << "Number of Days";
        QTest::newRow("shifts") << "txtShifts"
                                << "Number of Shifts";
        QTest::newRow("nurse pref") << "txtShiftPreferenceDistribution"
                                    << "Nurse Preference Distribution";
        QTest::newRow("shift pref") << "txtDayPrefereenceDistribution"
                                    << "Shift Preference Distribution";
        QTest::newRow("day pref") << "txtPeriodPreferenceDistribution"
                                  << "Day Preference Distribution";
        QTest::newRow("total") << "txtTotalConstrainedness"
                               << "Total Coverage Constrainedness";
        QTest::newRow("day cov") << "txtDayCoverageDistribution"
                                 << "Day Coverage Distribution";
        QTest::newRow("shift cov") << "txtShiftCoverageDistribution"
                                   << "Shift Coverage Distribution";
    }
    void accessibleNames()
    {
        QFETCH(QString, field);
        QFETCH(QString, name);
        Fixture f;
        f.start();
        QCOMPARE(f.field(field.toLatin1().constData())->accessibleName(), name);
    }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("rect");
        const auto row = [](const char *name, int l, int t, int w, int h) {
            QTest::newRow(name) << QString::fromLatin1(name) << twips(l, t, w, h);
        };
        row("TabStrip1", 120, 120, 6735, 5655);
        for (const char *page : {"frmWelcome", "frmProblem", "frmPreference", "frmCoverage"})
            row(page, 240, 480, 6495, 5175);
        row("cmdGenerate", 4560, 6000, 2175, 615);
        row("lblKELDAR", 600, 240, 5175, 1095);
        row("Label3", 2160, 1680, 2535, 375);
        row("Label9", 1800, 3960, 2895, 255);
        row("Frame8", 240, 240, 4695, 615);
        row("Frame13", 240, 3720, 4695, 735);
        row("txtNurses", 5400, 480, 735, 375);
        row("txtDays", 5400, 1560, 735, 375);
        row("txtShifts", 5400, 2880, 735, 375);
        row("Optyes", 5400, 3840, 855, 255);
        row("optNo", 5400, 4200, 615, 255);
        row("Frame2", 240, 480, 4455, 975);
        row("Frame7", 240, 3600, 4455, 975);
        row("txtShiftPreferenceDistribution", 5040, 840, 735, 375);
        row("txtDayPrefereenceDistribution", 5040, 2400, 735, 375);
        row("txtPeriodPreferenceDistribution", 5040, 3960, 735, 375);
        row("txtShiftCoverageDistribution", 5040, 3960, 735, 375);
        row("Label26", 1320, 4800, 3375, 255);
        row("Label27", 1320, 4800, 3255, 255);
        row("cmdContinuePreference", 9240, 3600, 2295, 495);
    }
    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, rect);
        Fixture f;
        f.start();
        QCOMPARE(f.main().centralWidget()->size(), twips(0, 0, 6960, 6825).size());
        QWidget *w = f.main().findChild<QWidget *>(name);
        QVERIFY(w);
        QCOMPARE(w->geometry(), rect);
    }

    void tabOrderFollowsTheDesign()
    {
        Fixture f;
        f.start();
        clickTab(f.main(), 2);
        QTRY_COMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("txtNurses"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("txtDays"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("txtShifts"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("cmdGenerate"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

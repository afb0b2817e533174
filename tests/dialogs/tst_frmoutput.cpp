#include "buildinfo/buildid.h"
#include "dialogs/frmoutput.h"
#include "tests/support/guitest.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>

using namespace keldar;
using namespace keldar::test;

namespace {

void chooseAbout(KELDAR &main)
{
    main.findChild<QAction *>("mnuInfo")->trigger();
}

QList<QWidget *> shownAboutWindows()
{
    QList<QWidget *> shown;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == QLatin1String("About KELDAR"))
            shown.append(w);
    return shown;
}

} // namespace

class TestFrmOutput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void choosingAboutRepeatedlyGivesOneWindow()
    {
        Fixture f;
        f.start();
        chooseAbout(f.main());
        FrmOutput &about = f.program->about();
        QVERIFY(QTest::qWaitForWindowExposed(&about));

        // Work in the main window between the openings.
        QTabBar *bar = f.child<QTabWidget>(&f.main(), "TabStrip1")->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        QTest::keyClicks(f.field("txtNurses"), "12");
        chooseAbout(f.main());
        chooseAbout(f.main());

        QCOMPARE(shownAboutWindows().size(), 1);
        // Loaded once: one set of controls, not one per choice.
        QCOMPARE(about.findChildren<QPushButton *>("CmdOutputok").size(), 1);
        QCOMPARE(about.findChildren<QLabel *>("Label1").size(), 1);
    }

    void choosingAboutAgainBringsItToTheFront()
    {
        Fixture f;
        f.start();
        chooseAbout(f.main());
        FrmOutput &about = f.program->about();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QApplication::setActiveWindow(&f.main());
        QVERIFY(QTest::qWaitForWindowActive(&f.main()));

        chooseAbout(f.main());
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget *>(&about));
    }

    void aboutIsModelessAndOwnerless()
    {
        Fixture f;
        f.start();
        chooseAbout(f.main());
        FrmOutput &about = f.program->about();
        QVERIFY(about.isVisible());
        QVERIFY(about.isWindow());
        QCOMPARE(about.parentWidget(), nullptr);
        QCOMPARE(about.windowModality(), Qt::NonModal);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        // The main window stays usable while About is open.
        QVERIFY(f.main().isVisible());
        QVERIFY(f.main().isEnabled());
        f.main().showPage(KELDAR::ProblemSize);
        QTest::keyClicks(f.field("txtDays"), "7");
        QCOMPARE(f.field("txtDays")->text(), QStringLiteral("7"));
    }

    void okClosesAndLeavesTheMainWindowAsItWas()
    {
        Fixture f;
        f.start();
        QTabBar *bar = f.child<QTabWidget>(&f.main(), "TabStrip1")->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        QTest::keyClicks(f.field("txtNurses"), "20");
        f.field("txtShifts")->setText("abc"); // a text its check would refuse
        f.main().parameters().seed = 42;
        const ParameterSet before = f.main().parameters();

        chooseAbout(f.main());
        FrmOutput &about = f.program->about();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QTest::mouseClick(f.child<QPushButton>(&about, "CmdOutputok"), Qt::LeftButton);

        QVERIFY(!about.isVisible());
        QVERIFY(!about.isLoaded());
        QVERIFY(shownAboutWindows().isEmpty());
        QVERIFY(f.main().isVisible());
        QCOMPARE(f.main().shownPage(), int(KELDAR::ProblemSize));
        QCOMPARE(f.main().selectedTab(), 2);
        QCOMPARE(f.field("txtNurses")->text(), QStringLiteral("20"));
        QCOMPARE(f.field("txtShifts")->text(), QStringLiteral("abc"));
        QCOMPARE(f.main().parameters().seed, before.seed);
        QCOMPARE(f.main().parameters().nurses, before.nurses);
        QVERIFY(f.host.messages.isEmpty()); // no field check ran
    }

    void reopeningRebuildsTheDesign()
    {
        Fixture f;
        f.start();
        chooseAbout(f.main());
        FrmOutput &about = f.program->about();
        f.child<QLabel>(&about, "Label7")->setText("changed");
        QTest::mouseClick(f.child<QPushButton>(&about, "CmdOutputok"), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(about.findChild<QLabel *>("Label7"), nullptr);

        chooseAbout(f.main());
        QVERIFY(about.isVisible());
        QVERIFY(f.child<QLabel>(&about, "Label7")->text() != QLatin1String("changed"));
        QCOMPARE(about.findChildren<QLabel *>("Label7").size(), 1);
    }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("centred");
        QTest::addColumn<QString>("parent");
        // `text` null: the wording is ours to choose.
        const auto row = [](const char *tag, const char *name, QRect rect,
                            const char *text = nullptr, bool centred = false,
                            const char *parent = "Frame1") {
            QTest::newRow(tag) << QString::fromLatin1(name) << rect
                               << (text ? QString::fromLatin1(text) : QString()) << centred
                               << QString::fromLatin1(parent);
        };
        row("title", "Label1", twips(120, 360, 6495, 495), "KELDAR", true);
        row("notice", "Label7", twips(2640, 840, 1335, 255), nullptr, true);
        row("authors", "Label2", twips(240, 1320, 1335, 255), "Authors:");
        row("author 1", "Label3", twips(1560, 1320, 2295, 255));
        row("contact 1", "Label4", twips(3480, 1320, 3015, 255));
        row("author 2", "Label5", twips(1560, 1680, 1575, 255));
        row("contact 2", "Label6", twips(3480, 1680, 2295, 255));
        row("affiliation", "Label9", twips(1560, 2040, 4935, 255));
        row("department", "Label10", twips(1560, 2400, 5055, 255));
        row("reference intro", "Label8", twips(240, 2880, 5655, 255),
            "For more information we refer to the paper and our website: ");
        row("reference", "Label13", twips(1800, 3240, 4695, 615));
        row("address", "Label11", twips(1800, 3960, 3255, 255));
        row("build", "lblBuild", twips(240, 4320, 6255, 255));
        row("problem reports", "lblReport", twips(120, 4920, 5295, 495),
            "To report a problem, run keldar-generate --bug-report in the batch's folder and "
            "attach the file it writes.",
            false, "FrmOutput");
    }
    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, rect);
        QFETCH(QString, text);
        QFETCH(bool, centred);
        QFETCH(QString, parent);
        if (name == QLatin1String("Label11") && QLatin1String(KELDAR_HOMEPAGE).isEmpty())
            QSKIP("no address given to the build: left out");
        Fixture f;
        f.start();
        chooseAbout(f.main());
        FrmOutput &about = f.program->about();
        auto *label = f.child<QLabel>(&about, name.toLatin1().constData());
        QVERIFY(label);
        QCOMPARE(label->parentWidget()->objectName(), parent);
        QCOMPARE(label->geometry(), rect);
        if (!text.isNull())
            QCOMPARE(label->text(), text);
        QVERIFY(!label->text().trimmed().isEmpty());
        QCOMPARE(bool(label->alignment() & Qt::AlignHCenter), centred);
        QCOMPARE(label->foregroundRole(), QPalette::Shadow);
        // Plain text that fits where the design puts it.
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->textInteractionFlags(), Qt::NoTextInteraction);
        if (label->wordWrap()) {
            const QRect needed = label->fontMetrics().boundingRect(
                QRect(0, 0, label->width(), 10000), Qt::TextWordWrap, label->text());
            QVERIFY2(needed.height() <= label->height(), qPrintable(label->text()));
        } else {
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                     qPrintable(label->text()));
        }
    }

    void windowAndFonts()
    {
        Fixture f;
        f.start();
        chooseAbout(f.main());
        FrmOutput &about = f.program->about();
        QCOMPARE(about.windowTitle(), QStringLiteral("About KELDAR"));
        QCOMPARE(about.size(), QSize(px(6945), px(5520)));
        QCOMPARE(f.child<QGroupBox>(&about, "Frame1")->geometry(), twips(120, 120, 6735, 4695));
        auto *ok = f.child<QPushButton>(&about, "CmdOutputok");
        QCOMPARE(ok->geometry(), twips(5520, 4920, 1215, 495));
        QCOMPARE(ok->text(), QStringLiteral("Ok"));
        QVERIFY(!ok->isDefault());
        QVERIFY(ok->autoDefault()); // Enter clicks it only while it has the focus
        const QFont title = f.child<QLabel>(&about, "Label1")->font();
        QVERIFY(title.bold());
        QCOMPARE(title.pointSize(), 18);
        QVERIFY(f.child<QLabel>(&about, "Label11")->font().underline());
        QVERIFY(!f.child<QLabel>(&about, "Label8")->font().underline());
    }

    void textsInventNoAddressesOrLinks()
    {
        Fixture f;
        f.start();
        chooseAbout(f.main());
        FrmOutput &about = f.program->about();
        const QList<QLabel *> labels = about.findChildren<QLabel *>();
        QVERIFY(!labels.isEmpty());
        for (QLabel *label : labels) {
            if (label->objectName() == QLatin1String("Label11"))
                continue; // the project's address
            const QString t = label->text();
            QVERIFY2(!t.contains(u'@'), qPrintable(t));
            QVERIFY2(!t.contains(QLatin1String("http"), Qt::CaseInsensitive), qPrintable(t));
            QVERIFY2(!t.contains(QLatin1String("www."), Qt::CaseInsensitive), qPrintable(t));
            // The README sends readers here: nothing here sends them back.
            QVERIFY2(!t.contains(QLatin1String("README")), qPrintable(t));
        }
        QCOMPARE(f.child<QLabel>(&about, "lblBuild")->text(),
                 QStringLiteral("Build ") + QLatin1String(buildId()));
        // The reference cites KELDAR as CITATION.cff asks, and the address is
        // the one given there.
        const QString cff = QString::fromUtf8(readAll(QStringLiteral(KELDAR_CITATION_FILE)));
        const auto value = [&](const char *key) {
            const QRegularExpression line(QStringLiteral("\\n%1: \"?([^\"\\n]+)").arg(key));
            return line.match(cff).captured(1);
        };
        const QString reference = f.child<QLabel>(&about, "Label13")->text();
        for (const char *key : {"title", "version"})
            QVERIFY2(!value(key).isEmpty() && reference.contains(value(key)), key);
        // A build given no address shows none.
        QCOMPARE(f.child<QLabel>(&about, "Label11")->text(), value("url"));
        QCOMPARE(f.child<QLabel>(&about, "Label11")->isVisible(), !value("url").isEmpty());
        QVERIFY(f.child<QLabel>(&about, "Label7")->text().contains(KELDAR_VERSION));
    }
};

QTEST_MAIN(TestFrmOutput)
#include "tst_frmoutput.moc"

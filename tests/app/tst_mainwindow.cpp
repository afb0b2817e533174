#include "dialogs/frmcontinueanotherform.h"
#include "dialogs/frmdistributiongrades.h"
#include "dialogs/frmoutput.h"
#include "generation/frmfilegeneration.h"
#include "tests/support/guitest.h"
#include "ui/appearance.h"

#include <QAccessible>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <functional>

using namespace keldar;
using namespace keldar::test;

namespace {

// What assistive technology is told of an object: role, name and, where
// there is one, description.
QString heard(QAccessibleInterface *object)
{
    if (!object)
        return QStringLiteral("(nothing)");
    QString text =
        QString::fromLatin1(QMetaEnum::fromType<QAccessible::Role>().valueToKey(object->role())) +
        QStringLiteral(" \"%1\"").arg(object->text(QAccessible::Name));
    const QString description = object->text(QAccessible::Description);
    if (!description.isEmpty())
        text += QStringLiteral(": ") + description;
    return text;
}

// What it is told of a window as it opens: the window, then the texts in it
// that label nothing else.
QString heardWindow(QWidget *window)
{
    QAccessibleInterface *object = QAccessible::queryAccessibleInterface(window);
    QString text = heard(object);
    for (int i = 0; object && i < object->childCount(); ++i) {
        QAccessibleInterface *child = object->child(i);
        const QString name = child->text(QAccessible::Name);
        if (child->role() == QAccessible::StaticText && !name.isEmpty() &&
            child->relations(QAccessible::Labelled).isEmpty())
            text += QStringLiteral(" / ") + name;
    }
    return text;
}

// The object with the keyboard focus, down to the tab of a tab strip.
QString heardFocus()
{
    QWidget *window = QApplication::activeWindow();
    QAccessibleInterface *object = window ? QAccessible::queryAccessibleInterface(window) : nullptr;
    while (object) {
        QAccessibleInterface *inner = object->focusChild();
        if (!inner || inner == object)
            break;
        object = inner;
    }
    return heard(object);
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClick(focus, key, modifiers);
}

void type(const QString &text)
{
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClicks(focus, text);
}

// Answers the next message box with Enter, noting what was heard as it
// opened: the box and the focus in it.
void answerWithEnter(QString &heardBox)
{
    ModalAnswerer::answerNext([&heardBox](QWidget *box) {
        // The box takes its focus as it is activated, which may follow its
        // showing; Enter goes to the box itself should that never come.
        (void)QTest::qWaitFor([box] { return box->focusWidget() != nullptr; });
        QWidget *focus = box->focusWidget();
        heardBox = heardWindow(box) + QStringLiteral(" / focus ") +
                   heard(QAccessible::queryAccessibleInterface(focus));
        QTest::keyClick(focus ? focus : box, Qt::Key_Return);
    });
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
        // The icon shows whatever image plugins the system has.
        for (int size : {16, 32, 48})
            QCOMPARE(programIcon().pixmap(size).size(), QSize(size, size));
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
        QTRY_COMPARE(focused(), focus);
        const char *frames[] = {"frmWelcome", "frmProblem", "frmPreference", "frmCoverage"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(f.child<QGroupBox>(&f.main(), frames[i])->isVisible(), i + 1 == tab);

        // Back to Welcome: the page changes, nothing else.
        clickTab(f.main(), 1);
        QCOMPARE(f.main().shownPage(), int(KELDAR::Welcome));
    }

    // Arriving selects "Yes" only where no answer has been given yet.
    void problemSizeArrivalSelectsYes_data()
    {
        QTest::addColumn<QString>("chosen"); // "" = left as arriving made it
        QTest::addColumn<bool>("yesAfterReturn");
        QTest::newRow("the default") << "" << true;
        QTest::newRow("\"No\" is kept") << "optNo" << false;
    }
    void problemSizeArrivalSelectsYes()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, yesAfterReturn);
        Fixture f;
        f.start();
        clickTab(f.main(), 2);
        auto *yes = f.child<QRadioButton>(&f.main(), "Optyes");
        auto *no = f.child<QRadioButton>(&f.main(), "optNo");
        QVERIFY(yes->isChecked());
        if (!chosen.isEmpty())
            click(f.child<QRadioButton>(&f.main(), chosen.toLatin1().constData()));
        clickTab(f.main(), 4);
        clickTab(f.main(), 2);
        QCOMPARE(yes->isChecked(), yesAfterReturn);
        QCOMPARE(no->isChecked(), !yesAfterReturn);
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
        QCoreApplication::processEvents();   // the check the closing deferred
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
        QTest::addColumn<QString>("label"); // the explanation beside it
        const auto row = [](const char *field, const char *name, const char *label) {
            QTest::newRow(field) << QString::fromLatin1(field) << QString::fromLatin1(name)
                                 << QString::fromLatin1(label);
        };
        row("txtNurses", "Number of Nurses", "Label11");
        row("txtDays", "Number of Days", "Label13");
        row("txtShifts", "Number of Shifts", "Label12");
        row("Optyes", "Yes", "Label16");
        row("optNo", "No", "Label16");
        row("txtShiftPreferenceDistribution", "Nurse Preference Distribution", "Label1");
        row("txtDayPrefereenceDistribution", "Shift Preference Distribution", "Label2");
        row("txtPeriodPreferenceDistribution", "Day Preference Distribution", "Label5");
        row("txtTotalConstrainedness", "Total Coverage Constrainedness", "Label17");
        row("txtDayCoverageDistribution", "Day Coverage Distribution", "Label18");
        row("txtShiftCoverageDistribution", "Shift Coverage Distribution", "Label19");
    }
    void accessibleNames()
    {
        QFETCH(QString, field);
        QFETCH(QString, name);
        QFETCH(QString, label);
        Fixture f;
        f.start();
        QAccessibleInterface *box =
            QAccessible::queryAccessibleInterface(f.child(&f.main(), field.toLatin1().constData()));
        QCOMPARE(box->text(QAccessible::Name), name);
        QCOMPARE(box->text(QAccessible::Description),
                 f.child<QLabel>(&f.main(), label.toLatin1().constData())->text().trimmed());
    }

    // Assistive technology announces a window as it opens by its role.
    void everyWindowIsAWindowOrADialog()
    {
        Fixture f;
        const std::pair<QWidget *, QAccessible::Role> windows[] = {
            {&f.main(), QAccessible::Window},
            {&f.program->fileGeneration(), QAccessible::Window},
            {&f.program->continueForm(), QAccessible::Dialog},
            {&f.program->about(), QAccessible::Window},
            {&f.program->distributionGrades(), QAccessible::Window}};
        for (const auto &[window, role] : windows)
            QCOMPARE(QAccessible::queryAccessibleInterface(window)->role(), role);
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
        // Wider than designed, as wide as its twin on the preference page: the
        // windows' face needs the room for the last letter.
        row("Label27", 1320, 4800, 3375, 255);
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
        // A caption shows whole in the windows' faces.
        if (auto *label = qobject_cast<QLabel *>(w); label && !label->wordWrap())
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                     qPrintable(label->text()));
    }

    void tabOrderFollowsTheDesign()
    {
        Fixture f;
        f.start();
        clickTab(f.main(), 2);
        QTRY_COMPARE(focused(), QStringLiteral("txtNurses"));
        for (const char *next : {"txtDays", "txtShifts", "cmdGenerate"}) {
            press(Qt::Key_Tab);
            QCOMPARE(focused(), QLatin1String(next));
        }
    }

    // Qt reports a caret move together with this signal; one reported
    // ahead of the focus leaves a screen reader silent about the box.
    void enteringABoxFirstMovesNoCaret()
    {
        Fixture f;
        f.start();
        f.main().showPage(KELDAR::ProblemSize);
        f.field("txtNurses")->setFocus();
        QSignalSpy moved(f.field("txtDays"), &QLineEdit::cursorPositionChanged);
        press(Qt::Key_Tab);
        QVERIFY(f.field("txtDays")->hasFocus());
        QCOMPARE(moved.count(), 0);
    }

    // A whole batch by keyboard alone, as a screen reader follows it: after
    // every key the object with the focus, and every window and box that opens.
    void wholeBatchByKeyboard()
    {
        Fixture f;
        f.host.realBoxes = true; // answered with Enter below
        QTemporaryDir target;
        f.host.folderAnswers = {target.path()};
        f.start();
        QCOMPARE(heardWindow(&f.main()), QStringLiteral("Window \"KELDAR\""));
        QCOMPARE(heardFocus(), QStringLiteral("PageTab \"Welcome\""));

        // An entry box is heard by its caption and the explanation beside it.
        const auto box = [&f](const char *caption, const char *label) {
            return QStringLiteral("EditableText \"%1\": %2")
                .arg(QLatin1String(caption), f.child<QLabel>(&f.main(), label)->text().trimmed());
        };
        const QString confirm = QStringLiteral("Button \"Confirm Input\"");
        const auto main = [&f]() -> QWidget * {
            return &f.main();
        };
        const Qt::KeyboardModifiers back = Qt::ShiftModifier;
        struct Step {
            QString typed; // into the focus, before the key
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            QString focus;
            QString box = {}; // opens on the key, answered with Enter
            // In front afterwards ("Yes" makes a fresh main window, so asked then).
            std::function<QWidget *()> window = {};
            QString windowHeard = {};
        };
        const Step steps[] = {
            {"", Qt::Key_Right, {}, box("Number of Nurses", "Label11")},
            {"20", Qt::Key_Tab, {}, box("Number of Days", "Label13")},
            {"28", Qt::Key_Tab, {}, box("Number of Shifts", "Label12")},
            {"4", Qt::Key_Tab, {}, confirm},
            {"",
             Qt::Key_Tab,
             {},
             "RadioButton \"Yes\": Are the non-working days included in the number of shifts?"},
            {"", Qt::Key_Tab, back, confirm},
            // Confirming too early leads to the first empty box.
            {"",
             Qt::Key_Space,
             {},
             box("Day Preference Distribution", "Label5"),
             "AlertMessage \"Input Error\" / Please give in the Period Preference Distribution / "
             "focus "
             "Button \"OK\"",
             main,
             "Window \"KELDAR\""},
            {"0.5", Qt::Key_Tab, back, box("Shift Preference Distribution", "Label2")},
            {"0.5", Qt::Key_Tab, back, box("Nurse Preference Distribution", "Label1")},
            {"0.5", Qt::Key_Tab, back, "PageTab \"Preference Distribution\""},
            {"", Qt::Key_Right, {}, box("Total Coverage Constrainedness", "Label17")},
            {"0.5", Qt::Key_Tab, {}, box("Day Coverage Distribution", "Label18")},
            {"0.5", Qt::Key_Tab, {}, box("Shift Coverage Distribution", "Label19")},
            {"0.5", Qt::Key_Tab, {}, confirm},
            {"",
             Qt::Key_Space,
             {},
             "EditableText \"Number of Files\": Give in the desired number of generated "
             "problem instances",
             "",
             [&f] { return &f.window(); },
             "Window \"File Generation\""},
            {"10",
             Qt::Key_Tab,
             {},
             "EditableText \"File Numbering\": Give in the file number you want to start with"},
            {"", Qt::Key_Tab, {}, "Button \"Generate Input Files\""},
            {"",
             Qt::Key_Space,
             {},
             "Button \"Yes\"",
             "AlertMessage \"File Generation Process\" / The requested files are successfully "
             "generated. For output details see the output.log file. / focus Button \"OK\"",
             [&f] { return &f.dialog(); },
             "Dialog \"KELDAR\": Do you want to generate other nurse rostering problem "
             "instances?"},
            {"", Qt::Key_Space, {}, "PageTab \"Welcome\"", "", main, "Window \"KELDAR\""},
        };
        for (const Step &step : steps) {
            QString boxHeard;
            if (!step.box.isEmpty())
                answerWithEnter(boxHeard);
            type(step.typed);
            press(step.key, step.modifiers);
            QCOMPARE(boxHeard, step.box);
            if (step.window) {
                QVERIFY(activate(step.window()));
                QCOMPARE(heardWindow(QApplication::activeWindow()), step.windowHeard);
            }
            QTRY_COMPARE(heardFocus(), step.focus);
        }

        const ParameterSet &p = f.main().parameters();
        QCOMPARE(f.host.starts.size(), 1);
        QCOMPARE(p.nurses, 20.0);
        QVERIFY(p.freeShiftInculuded);
        QCOMPARE(p.shiftCoverage, 0.5);
        QCOMPARE(p.numberOfFilesGenerated, 10.0);
    }

    void menuCommandOpensTheShippedTutorialAndReturnsAtOnce()
    {
        Fixture f;
        f.start();
        f.main().showPage(KELDAR::ProblemSize);
        f.main().findChild<QAction *>("mnuTutorial")->trigger();
        // Started, nothing waited for, nothing asked.
        QCOMPARE(f.host.documentsOpened.size(), 1);
        QVERIFY(f.host.documentsOpened.first().endsWith(QLatin1String("Tutorial_KELDAR.txt")));
        QVERIFY(QFileInfo(f.host.documentsOpened.first()).isFile());
        QVERIFY(f.host.messages.isEmpty());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        // The main window is usable at once.
        QTest::keyClicks(f.field("txtNurses"), "9");
        QCOMPARE(f.field("txtNurses")->text(), QStringLiteral("9"));
    }

    void shippedTutorialExplainsEveryEntry()
    {
        const QString text = shippedTutorial();
        QVERIFY2(!text.isEmpty(), "the build tree holds no copy of the tutorial");
        Fixture f;
        f.start();
        // Every frame caption of the main window, as the user reads it.
        for (QGroupBox *frame : f.main().findChildren<QGroupBox *>()) {
            if (frame->title().isEmpty())
                continue;
            QVERIFY2(text.contains(frame->title()), qPrintable(frame->title()));
        }
        for (const char *topic :
             {"Welcome", "Problem Size", "Preference Distribution", "Coverage Distribution",
              "Confirm Input", "Generate Input Files", "Change Settings", "output.log", "instance_",
              "periodPreference", "dayPreference", "shiftPreference", "totalCoverage",
              "dayCoverage", "shiftCoverage", "Options > Seed"})
            QVERIFY2(text.contains(QLatin1String(topic)), topic);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

#include "dialogs/frmoutput.h"
#include "generation/frmfilegeneration.h"
#include "tests/support/guitest.h"
#include "ui/fieldevents.h"

#include <QInputDialog>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWheelEvent>

using namespace keldar;
using namespace keldar::test;

namespace {

const QString NotNumeric = QStringLiteral("The input has to be a numeric value");
const QString NotPositive = QStringLiteral("The input should be a positive integer value");
const QString NotInInterval =
    QStringLiteral("The input number should lie between 0 and 1 (0 and 1 inclusive)");

void setCommaLocale(bool comma)
{
    QLocale::setDefault(comma ? QLocale(QLocale::German, QLocale::Germany)
                              : QLocale(QLocale::English, QLocale::UnitedStates));
}

int pageOf(const QString &field)
{
    if (field == "txtNurses" || field == "txtDays" || field == "txtShifts")
        return KELDAR::ProblemSize;
    if (field.contains("Preference") || field.contains("Prefereence"))
        return KELDAR::Preference;
    return KELDAR::Coverage;
}

// Shows the field's page through its tab, types `text` into the field.
QLineEdit *typeInto(Fixture &f, const QString &name, const QString &text)
{
    clickTab(f.main(), pageOf(name));
    QLineEdit *field = f.field(name.toLatin1().constData());
    field->setFocus();
    QTest::keyClicks(field, text);
    return field;
}

// Fills every box with a valid entry, bypassing the checks.
void fillAll(Fixture &f)
{
    const QStringList values = {"20", "28", "4", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6"};
    for (int i = 0; i < 9; ++i)
        f.field(MainWindowFields[i])->setText(values[i]);
}

} // namespace

class TestEntryChecks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { setCommaLocale(false); }

    void leavingByTab_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message"); // empty: accepted
        const auto row = [](const char *tag, bool comma, const char *field, const char *text,
                            const QString &message) {
            QTest::newRow(tag) << comma << QString::fromLatin1(field) << QString::fromLatin1(text)
                               << message;
        };
        const QString ok;
        row("count abc", false, "txtNurses", "abc", NotNumeric);
        row("count blanks", false, "txtDays", "  ", NotNumeric);
        row("count 2.5", false, "txtDays", "2.5", NotPositive);
        row("count 0", false, "txtShifts", "0", NotPositive);
        row("count -3", false, "txtShifts", "-3", NotPositive);
        row("count 1", false, "txtShifts", "1", ok);
        row("count 1e3", false, "txtNurses", "1e3", ok);
        row("count 1,000", false, "txtNurses", "1,000", ok);
        row("count comma 2,5", true, "txtDays", "2,5", NotPositive);
        row("indicator 0", false, "txtTotalConstrainedness", "0", ok);
        row("indicator 1", false, "txtDayCoverageDistribution", "1", ok);
        row("indicator 1.0001", false, "txtShiftCoverageDistribution", "1.0001", NotInInterval);
        row("indicator -0.1", false, "txtShiftPreferenceDistribution", "-0.1", NotInInterval);
        row("indicator abc", false, "txtDayPrefereenceDistribution", "abc", NotNumeric);
        row("indicator comma 0,5", true, "txtPeriodPreferenceDistribution", "0,5", ok);
        row("indicator comma 1,5", true, "txtTotalConstrainedness", "1,5", NotInInterval);
        row("indicator comma 2,5", true, "txtTotalConstrainedness", "2,5", NotInInterval);
    }
    void leavingByTab()
    {
        QFETCH(bool, comma);
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        setCommaLocale(comma);
        Fixture f;
        f.start();
        QLineEdit *edit = typeInto(f, field, text);
        QTest::keyClick(edit, Qt::Key_Tab);
        if (message.isEmpty()) {
            QVERIFY(f.host.messages.isEmpty());
            QCOMPARE(edit->text(), text);
            QVERIFY(!edit->hasFocus());
            return;
        }
        QCOMPARE(f.host.messages.size(), 1); // one message, never two
        const auto &m = f.host.messages.first();
        QCOMPARE(m.title, QStringLiteral("Input Error"));
        QCOMPARE(m.text, message);
        // The box shows while the rejected text is still there.
        QCOMPARE(m.focusedField, field);
        QCOMPARE(m.fieldText, text);
        QCOMPARE(edit->text(), QString());
        QVERIFY(edit->hasFocus());
        // Now empty, the field can be left.
        QTest::keyClick(edit, Qt::Key_Tab);
        QCOMPARE(f.host.messages.size(), 1);
        QVERIFY(!edit->hasFocus());
    }

    void leavingEmptyFieldSaysNothing()
    {
        Fixture f;
        f.start();
        clickTab(f.main(), KELDAR::ProblemSize);
        QTest::keyClick(f.field("txtNurses"), Qt::Key_Tab);
        QVERIFY(f.field("txtDays")->hasFocus());
        QTest::keyClick(f.field("txtDays"), Qt::Key_Backtab);
        QVERIFY(f.field("txtNurses")->hasFocus());
        QVERIFY(f.host.messages.isEmpty());
    }

    void triggers_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Tab") << "tab";
        QTest::newRow("Shift+Tab") << "backtab";
        QTest::newRow("click on Confirm Input") << "confirm";
        QTest::newRow("click on another box") << "box";
        QTest::newRow("click on a tab") << "tabstrip";
        QTest::newRow("click on an option button") << "option";
    }
    void triggers()
    {
        QFETCH(QString, how);
        Fixture f;
        f.start();
        fillAll(f);
        QLineEdit *days = typeInto(f, "txtDays", "");
        days->setText("abc");
        const ParameterSet before = f.main().parameters();
        if (how == "tab")
            QTest::keyClick(days, Qt::Key_Tab);
        else if (how == "backtab")
            QTest::keyClick(days, Qt::Key_Backtab);
        else if (how == "confirm")
            click(f.child<QPushButton>(&f.main(), "cmdGenerate"));
        else if (how == "box")
            click(f.field("txtShifts"));
        else if (how == "tabstrip")
            clickTab(f.main(), KELDAR::Coverage);
        else if (how == "option")
            click(f.child<QRadioButton>(&f.main(), "optNo"));

        QCOMPARE(f.host.messageTexts(), QStringList{NotNumeric});
        QVERIFY(days->hasFocus());
        QCOMPARE(days->text(), QString());
        // What caused the move did not happen.
        QCOMPARE(f.main().shownPage(), int(KELDAR::ProblemSize));
        QCOMPARE(f.main().selectedTab(), int(KELDAR::ProblemSize));
        QVERIFY(!f.child<QRadioButton>(&f.main(), "optNo")->isChecked());
        QVERIFY(!f.program->fileGeneration().isLoaded());
        QCOMPARE(f.main().parameters().nurses, before.nurses);
    }

    void nonTriggers()
    {
        Fixture f;
        f.start();
        QLineEdit *nurses = typeInto(f, "txtNurses", "abc");
        // Focus moved by code.
        f.field("txtDays")->setFocus();
        QVERIFY(f.field("txtDays")->hasFocus());
        nurses->setFocus();
        // A menu item chosen with the keyboard.
        QTest::keyClick(&f.main(), Qt::Key_O, Qt::AltModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        f.main().findChild<QAction *>("mnuSeed")->trigger();
        QVERIFY(f.host.messages.isEmpty());
        QCOMPARE(nurses->text(), QStringLiteral("abc"));
    }

    void noWayRoundTheCheck_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("wheel over the tab strip") << "wheel";
        QTest::newRow("click while another window is active") << "inactive";
    }
    void noWayRoundTheCheck()
    {
        QFETCH(QString, how);
        Fixture f;
        f.start();
        fillAll(f);
        QLineEdit *nurses = typeInto(f, "txtNurses", "");
        nurses->setText("abc");
        if (how == "wheel") {
            QTabBar *bar = f.main().findChild<QTabWidget *>("TabStrip1")->tabBar();
            QWheelEvent wheel(QPointF(bar->tabRect(1).center()),
                              bar->mapToGlobal(QPointF(bar->tabRect(1).center())), QPoint(),
                              QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(bar, &wheel);
            QCOMPARE(f.main().shownPage(), int(KELDAR::ProblemSize));
            QCOMPARE(f.main().selectedTab(), int(KELDAR::ProblemSize));
            return;
        }
        f.main().findChild<QAction *>("mnuInfo")->trigger();
        QApplication::setActiveWindow(&f.program->about());
        QTRY_VERIFY(f.program->about().isActiveWindow());
        click(f.child<QPushButton>(&f.main(), "cmdGenerate"));
        QCOMPARE(f.host.messageTexts(), QStringList{NotNumeric});
        QVERIFY(!f.program->fileGeneration().isLoaded());
    }

    void confirmRefusesTextThatSkippedItsCheck()
    {
        Fixture f;
        f.start();
        fillAll(f);
        f.field("txtDayCoverageDistribution")->setText("4abc");
        click(f.child<QPushButton>(&f.main(), "cmdGenerate"));
        QCOMPARE(f.host.messageTexts(), QStringList{NotNumeric});
        QCOMPARE(f.main().shownPage(), int(KELDAR::Coverage));
        QCOMPARE(focused(), QStringLiteral("txtDayCoverageDistribution"));
        QCOMPARE(f.field("txtDayCoverageDistribution")->text(), QString());
        QCOMPARE(f.main().parameters().dayCoverage, 0.0);
        QVERIFY(!f.program->fileGeneration().isLoaded());
    }

    void menuLeavesTheSelectionAlone()
    {
        Fixture f;
        f.start();
        QLineEdit *nurses = typeInto(f, "txtNurses", "12");
        QCOMPARE(nurses->cursorPosition(), 2);
        auto *menu = f.main().findChild<QMenu *>("mnuMenu");
        menu->popup(f.main().mapToGlobal(QPoint(10, 10)));
        QTRY_VERIFY(menu->isVisible());
        menu->close();
        QTRY_VERIFY(nurses->hasFocus());
        QTest::keyClicks(nurses, "3");
        QCOMPARE(nurses->text(), QStringLiteral("123"));
    }

    void typingRightAfterTabKeepsEveryKey()
    {
        Fixture f;
        f.start();
        QLineEdit *nurses = typeInto(f, "txtNurses", "7");
        f.field("txtDays")->setText("28");
        QLineEdit *days = f.field("txtDays");
        // Keys typed ahead arrive before anything the focus change deferred.
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(nurses, &tab);
        QVERIFY(days->hasFocus());
        for (const QString &key : {QStringLiteral("1"), QStringLiteral("2")}) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, key);
            QApplication::sendEvent(days, &press);
        }
        // Whatever the focus change deferred runs now, after the keys.
        QCoreApplication::processEvents();
        QTest::keyClicks(days, "34");
        QCOMPARE(days->text(), QStringLiteral("1234"));
    }

    void accessKeyIsATrigger()
    {
        // The main window's controls carry no access keys; the same event
        // machinery serves every window, so try it on a small one.
        Fixture f;
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *edit = new QLineEdit(&window);
        auto *button = new QPushButton(QStringLiteral("&Go"), &window);
        layout->addWidget(edit);
        layout->addWidget(button);
        int validations = 0;
        bool refuse = true;
        fieldevents::onValidate(edit, [&](bool &cancel) {
            ++validations;
            cancel = refuse;
        });
        int clicks = 0;
        QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_G, Qt::AltModifier);
        QCOMPARE(validations, 1);
        QVERIFY(edit->hasFocus());
        // An animated click holds the button down until it lands.
        QVERIFY(!button->isDown());
        QCOMPARE(clicks, 0);
        refuse = false;
        QTest::keyClick(edit, Qt::Key_G, Qt::AltModifier);
        QCOMPARE(validations, 2);
        QVERIFY(button->isDown());
        QTRY_COMPARE(clicks, 1);
    }

    void enteringSelectsWholeText()
    {
        Fixture f;
        f.start();
        clickTab(f.main(), KELDAR::ProblemSize);
        f.field("txtDays")->setText("28");
        f.field("txtShifts")->setText("4");
        QTest::keyClick(f.field("txtNurses"), Qt::Key_Tab);
        QTRY_COMPARE(f.field("txtDays")->selectedText(), QStringLiteral("28"));
        click(f.field("txtShifts"));
        QTRY_COMPARE(f.field("txtShifts")->selectedText(), QStringLiteral("4"));
        f.field("txtDays")->setFocus();
        QTRY_COMPARE(f.field("txtDays")->selectedText(), QStringLiteral("28"));
    }

    void confirmFindsFirstEmptyBox_data()
    {
        QTest::addColumn<QStringList>("empty");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("page");
        QStringList all;
        for (const char *n : MainWindowFields)
            all << n;
        // The focus goes to the first empty box, in the order they are checked.
        const auto row = [](const char *tag, const QStringList &empty, const char *message,
                            int page) {
            QTest::newRow(tag) << empty << QString::fromLatin1(message) << empty.first() << page;
        };
        row("all empty", all, "Please give in the number of nurses", 2);
        row("preference page empty",
            {"txtPeriodPreferenceDistribution", "txtDayPrefereenceDistribution",
             "txtShiftPreferenceDistribution"},
            "Please give in the Period Preference Distribution", 3);
        row("shift preference only", {"txtShiftPreferenceDistribution"},
            "Please give in the Shift Preference Distribution", 3);
        row("shifts only", {"txtShifts"}, "Please give in the number of shifts", 2);
        row("total coverage only", {"txtTotalConstrainedness"},
            "Please give in the Total Coverage Constrainedness", 4);
        row("only the last box", {"txtShiftCoverageDistribution"},
            "Please give in the Shift Coverage Distribution", 4);
    }
    void confirmFindsFirstEmptyBox()
    {
        QFETCH(QStringList, empty);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        QFETCH(int, page);
        Fixture f;
        f.start();
        fillAll(f);
        for (const QString &name : empty)
            f.field(name.toLatin1().constData())->clear();
        const ParameterSet before = f.main().parameters();
        click(f.child<QPushButton>(&f.main(), "cmdGenerate"));
        QCOMPARE(f.host.messages.size(), 1);
        QCOMPARE(f.host.messages[0].title, QStringLiteral("Input Error"));
        QCOMPARE(f.host.messages[0].text, message);
        QCOMPARE(f.host.messages[0].focusedField, focus);
        QCOMPARE(focused(), focus);
        QCOMPARE(f.main().shownPage(), page);
        QCOMPARE(f.main().selectedTab(), page);
        QCOMPARE(f.main().parameters().nurses, before.nurses);
        QVERIFY(!f.program->fileGeneration().isLoaded());
    }

    void confirmStoresValues_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QString>("option"); // "yes", "no" or ""
        QTest::addColumn<bool>("freeShift");
        QTest::newRow("yes") << false << "yes" << true;
        QTest::newRow("no") << false << "no" << false;
        QTest::newRow("neither") << false << "" << false;
        QTest::newRow("comma locale") << true << "yes" << true;
    }
    void confirmStoresValues()
    {
        QFETCH(bool, comma);
        QFETCH(QString, option);
        QFETCH(bool, freeShift);
        setCommaLocale(comma);
        Fixture f;
        f.start();
        const QStringList values =
            comma ? QStringList{"1.000", "28", "4", "0", "0,5", "1", "0,25", "1e-1", "0,75"}
                  : QStringList{"1,000", "28", "4", "0", "0.5", "1", "0.25", "1e-1", "0.75"};
        for (int i = 0; i < 9; ++i)
            f.field(MainWindowFields[i])->setText(values[i]);
        if (option == "yes")
            f.child<QRadioButton>(&f.main(), "Optyes")->setChecked(true);
        if (option == "no")
            f.child<QRadioButton>(&f.main(), "optNo")->setChecked(true);
        f.main().parameters().seed = 7;
        click(f.child<QPushButton>(&f.main(), "cmdGenerate"));

        const ParameterSet &p = f.main().parameters();
        QCOMPARE(p.nurses, 1000.0);
        QCOMPARE(p.days, 28.0);
        QCOMPARE(p.shifts, 4.0);
        QCOMPARE(p.periodPreference, 0.0);
        QCOMPARE(p.dayPreference, 0.5);
        QCOMPARE(p.shiftPreference, 1.0);
        QCOMPARE(p.totalCoverage, 0.25);
        QCOMPARE(p.dayCoverage, 0.1);
        QCOMPARE(p.shiftCoverage, 0.75);
        QCOMPARE(p.freeShiftInculuded, freeShift);
        QCOMPARE(p.seed, qint16(7)); // untouched
        QVERIFY(f.program->fileGeneration().isLoaded());
    }

    void newClearsWithoutMessages()
    {
        Fixture f;
        f.start();
        fillAll(f);
        ParameterSet &p = f.main().parameters();
        p.startsolution = 1;
        p.numberOfFilesGenerated = 10;
        p.seed = 42;
        p.nurses = 12;
        QLineEdit *nurses = typeInto(f, "txtNurses", "");
        nurses->setText("abc");
        f.child<QRadioButton>(&f.main(), "optNo")->setChecked(true);
        const ParameterSet before = p;
        f.main().findChild<QAction *>("mnuNew")->trigger();
        QVERIFY(f.host.messages.isEmpty());
        for (const char *name : MainWindowFields)
            QCOMPARE(f.field(name)->text(), QString());
        QVERIFY(f.child<QRadioButton>(&f.main(), "Optyes")->isChecked());
        QVERIFY(!f.child<QRadioButton>(&f.main(), "optNo")->isChecked());
        QCOMPARE(f.main().shownPage(), int(KELDAR::Welcome));
        QCOMPARE(f.main().selectedTab(), 1);
        QVERIFY(!p.mnuNewClicked);
        QCOMPARE(p.seed, before.seed);
        QCOMPARE(p.startsolution, before.startsolution);
        QCOMPARE(p.numberOfFilesGenerated, before.numberOfFilesGenerated);
        QCOMPARE(p.nurses, before.nurses);
    }

    void seed_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("seed");
        QTest::addColumn<bool>("refused");
        QTest::newRow("42") << false << "42" << 42 << false;
        QTest::newRow("-7") << false << "-7" << -7 << false;
        QTest::newRow("cancel keeps the seed") << true << "" << 55 << false;
        QTest::newRow("2.5 to even") << false << "2.5" << 2 << false;
        QTest::newRow("3.5 to even") << false << "3.5" << 4 << false;
        QTest::newRow("12abc") << false << "12abc" << 12 << false;
        QTest::newRow("abc") << false << "abc" << 0 << false;
        QTest::newRow("empty answer") << false << "" << 0 << false;
        QTest::newRow("1e3") << false << "1e3" << 1000 << false;
        QTest::newRow("32767") << false << "32767" << 32767 << false;
        QTest::newRow("-32768") << false << "-32768" << -32768 << false;
        QTest::newRow("too large") << false << "40000" << 55 << true;
        QTest::newRow("32767.5 rounds out") << false << "32767.5" << 55 << true;
        QTest::newRow("too small") << false << "-32769" << 55 << true;
    }
    void seed()
    {
        QFETCH(bool, cancel);
        QFETCH(QString, answer);
        QFETCH(int, seed);
        QFETCH(bool, refused);
        Fixture f;
        f.start();
        f.main().parameters().seed = 55;
        if (cancel)
            f.host.inputAnswers.append(std::nullopt);
        else
            f.host.inputAnswers.append(answer);
        f.main().findChild<QAction *>("mnuSeed")->trigger();
        QCOMPARE(f.host.inputRequests.size(), 1);
        QCOMPARE(f.host.inputRequests[0].prompt,
                 QStringLiteral("Enter the appropriate Seed Value"));
        QCOMPARE(f.host.inputRequests[0].title, QStringLiteral("Seed Value"));
        QCOMPARE(f.host.inputRequests[0].proposal, QStringLiteral("100")); // whatever the seed
        QCOMPARE(int(f.main().parameters().seed), seed);
        if (refused)
            QCOMPARE(f.host.messageTexts(),
                     QStringList{"The seed value should lie between -32768 and 32767"});
        else
            QVERIFY(f.host.messages.isEmpty());
    }

    void realBoxes()
    {
        Fixture f;
        f.host.realBoxes = true;
        f.start();
        // The Input Error box: title, text, one OK button, no icon.
        QLineEdit *nurses = typeInto(f, "txtNurses", "abc");
        QString seenTitle, seenText;
        int buttons = 0;
        QMessageBox::Icon icon = QMessageBox::Warning;
        ModalAnswerer::answerNext([&](QWidget *box) {
            auto *mb = qobject_cast<QMessageBox *>(box);
            QVERIFY(mb);
            seenTitle = mb->windowTitle();
            seenText = mb->text();
            buttons = int(mb->buttons().size());
            icon = mb->icon();
            QTest::keyClick(mb, Qt::Key_Enter);
        });
        QTest::keyClick(nurses, Qt::Key_Tab);
        QCOMPARE(seenTitle, QStringLiteral("Input Error"));
        QCOMPARE(seenText, NotNumeric);
        QCOMPARE(buttons, 1);
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(nurses->text(), QString());
        QTRY_VERIFY(nurses->hasFocus());

        // The Seed box: proposal 100, typed answer stored.
        ModalAnswerer::answerNext([](QWidget *box) {
            auto *in = qobject_cast<QInputDialog *>(box);
            QVERIFY(in);
            QCOMPARE(in->textValue(), QStringLiteral("100"));
            QCOMPARE(in->windowTitle(), QStringLiteral("Seed Value"));
            in->setTextValue(QStringLiteral("3.5"));
            in->accept();
        });
        f.main().findChild<QAction *>("mnuSeed")->trigger();
        QCOMPARE(f.main().parameters().seed, qint16(4));

        // Cancel leaves it.
        ModalAnswerer::answerNext([](QWidget *box) { qobject_cast<QDialog *>(box)->reject(); });
        f.main().findChild<QAction *>("mnuSeed")->trigger();
        QCOMPARE(f.main().parameters().seed, qint16(4));
    }
};

QTEST_MAIN(TestEntryChecks)
#include "tst_entrychecks.moc"

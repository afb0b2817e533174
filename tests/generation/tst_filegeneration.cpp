#include "tests/support/guitest.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace keldar;
using namespace keldar::test;

namespace {

const QString NumberOfFilesMessage =
    QStringLiteral("Please input a positive integer value for the number of files to be generated");
const QString FirstFileMessage = QStringLiteral(
    "Please input a positive integer value for the file number you want to start with");

// One program over a temporary drive.  "C:\" is a folder below the drive
// (made when first written), the generator the stand-in.
struct Session : Fixture {
    explicit Session(bool realStarts = false, const QString &rootName = QStringLiteral("c"))
        : Fixture(QStringLiteral(KELDAR_STANDIN_DIR), rootName)
    {
        host.realStarts = realStarts;
    }
};

} // namespace

class TestFileGeneration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void summary_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<bool>("freeShift");
        QTest::addColumn<QString>("preference");
        QTest::addColumn<QString>("freeShiftText");
        QTest::newRow("point, free shift") << QLocale::c() << true << "0.25"
                                           << "Yes";
        QTest::newRow("comma, no free shift")
            << QLocale(QLocale::German, QLocale::Germany) << false << "0,25"
            << "No";
    }
    void summary()
    {
        QFETCH(QLocale, locale);
        QFETCH(bool, freeShift);
        QLocale::setDefault(locale);
        Session s;
        ParameterSet p = exampleBatch();
        p.freeShiftInculuded = freeShift;
        p.periodPreference = 0.25;
        p.dayPreference = 0.125;
        p.shiftPreference = 1;
        p.totalCoverage = 0.75;
        p.dayCoverage = 0;
        p.shiftCoverage = 1e20;
        p.nurses = 1234567;
        s.open(p);
        const QString point = QLocale().decimalPoint();
        const auto text = [&](const char *name) {
            return s.child<QLabel>(&s.window(), name)->text();
        };
        QTEST(text("LblPPD2"), "preference");
        QCOMPARE(text("LblDPD2"), QStringLiteral("0") + point + QStringLiteral("125"));
        QCOMPARE(text("LblSPD2"), QStringLiteral("1"));
        QCOMPARE(text("LblTCC2"), QStringLiteral("0") + point + QStringLiteral("75"));
        QCOMPARE(text("LblDCD2"), QStringLiteral("0"));
        QCOMPARE(text("LblSCD2"), QStringLiteral("1E+20"));
        QCOMPARE(text("LblNurses2"), QStringLiteral("1234567"));
        QCOMPARE(text("LblDays2"), QStringLiteral("28"));
        QCOMPARE(text("LblShift2"), QStringLiteral("4"));
        QTEST(text("LblFreeShift2"), "freeShiftText");
        QCOMPARE(s.window().windowTitle(), QStringLiteral("File Generation"));
        QVERIFY(!s.main().isVisible());
        QVERIFY(s.main().isLoaded());
    }

    void proposals_data()
    {
        QTest::addColumn<int>("startsolution");
        QTest::addColumn<double>("filesBefore");
        QTest::addColumn<QString>("proposal");
        QTest::newRow("first batch") << 0 << 0.0 << "1";
        QTest::newRow("after ten from one") << 1 << 10.0 << "11";
        QTest::newRow("beyond the 16-bit range") << 32767 << 5.0 << "32772";
    }
    void proposals()
    {
        QFETCH(int, startsolution);
        QFETCH(double, filesBefore);
        Session s;
        ParameterSet p = exampleBatch();
        p.startsolution = qint16(startsolution);
        p.numberOfFilesGenerated = filesBefore;
        s.open(p);
        QTEST(s.first()->text(), "proposal");
        QCOMPARE(s.files()->text(), QStringLiteral("0"));
        QCOMPARE(focused(), QStringLiteral("txtNumberofFiles"));
        QTRY_COMPARE(s.files()->selectedText(), QStringLiteral("0"));
    }

    void fieldsSelectTheirWholeText_data()
    {
        QTest::addColumn<bool>("byMouse");
        QTest::newRow("tab") << false;
        QTest::newRow("click") << true;
    }
    void fieldsSelectTheirWholeText()
    {
        QFETCH(bool, byMouse);
        Session s;
        s.open();
        s.first()->setText(QStringLiteral("1234"));
        if (byMouse)
            QTest::mouseClick(s.first(), Qt::LeftButton, {}, QPoint(5, 5));
        else
            QTest::keyClick(s.files(), Qt::Key_Tab);
        QCOMPARE(focused(), QStringLiteral("txtStartingSolution"));
        QTRY_COMPARE(s.first()->selectedText(), QStringLiteral("1234"));
        QTest::keyClicks(s.first(), QStringLiteral("7"));
        QCOMPARE(s.first()->text(), QStringLiteral("7"));
    }

    void tabOrderAndNames()
    {
        Session s;
        s.open();
        QCOMPARE(s.files()->accessibleName(), QStringLiteral("Number of Files"));
        QCOMPARE(s.first()->accessibleName(), QStringLiteral("File Numbering"));
        const char *order[] = {"txtStartingSolution", "cmdgo", "cmdChangeInput",
                               "txtNumberofFiles"};
        for (const char *next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(focused(), QLatin1String(next));
        }
    }

    void refusedBatchFields_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("firstFile");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("field");
        // `files`: the number of files is refused (and looked at first).
        const auto row = [](const char *tag, const char *count, const char *firstFile, bool files) {
            QTest::newRow(tag) << QString::fromLatin1(count) << QString::fromLatin1(firstFile)
                               << (files ? NumberOfFilesMessage : FirstFileMessage)
                               << QString::fromLatin1(files ? "txtNumberofFiles"
                                                            : "txtStartingSolution");
        };
        row("files empty", "", "1", true);
        row("files negative", "-1", "1", true);
        row("files fraction", "2.5", "1", true);
        row("files zero", "0", "1", true);
        row("files blank", " ", "1", true);
        row("files letters", "abc", "1", true);
        row("both wrong: files first", "0", "0", true);
        row("first empty", "1", "", false);
        row("first zero", "1", "0", false);
        row("first letters", "1", "abc", false);
        row("first fraction", "1", "1.5", false);
        row("first above 32767", "1", "32768", false);
    }
    void refusedBatchFields()
    {
        QFETCH(QString, count);
        QFETCH(QString, firstFile);
        QFETCH(QString, field);
        Session s;
        ParameterSet before = exampleBatch();
        before.startsolution = 4;
        before.numberOfFilesGenerated = 6;
        s.open(before);
        s.generate(count, firstFile, QStringLiteral("/never/asked"));

        QCOMPARE(s.host.messages.size(), 1);
        QCOMPARE(s.host.messages[0].title, QStringLiteral("Input Error"));
        QTEST(s.host.messages[0].text, "message");
        QCOMPARE(focused(), field);
        auto *refused = s.child<QLineEdit>(&s.window(), field.toLatin1().constData());
        QTRY_COMPARE(refused->selectedText(), refused->text());
        QVERIFY(s.host.folderPrompts.isEmpty());
        QCOMPARE(s.parameters().startsolution, qint16(4));
        QCOMPARE(s.parameters().numberOfFilesGenerated, 6.0);
        QVERIFY(s.window().isVisible());
    }

    void cancelledFolderChoice()
    {
        Session s;
        s.open();
        s.generate(QStringLiteral("12abc"), QStringLiteral("3xyz"), QString());

        QCOMPARE(
            s.host.folderPrompts,
            QStringList{QStringLiteral("Please select the folder to save the generated files")});
        QVERIFY(s.host.messages.isEmpty());
        QCOMPARE(s.files()->text(), QStringLiteral("12"));
        QCOMPARE(s.first()->text(), QStringLiteral("3"));
        QCOMPARE(focused(), QStringLiteral("txtNumberofFiles"));
        QVERIFY(!QFile::exists(s.inputFile()));
        QVERIFY(s.host.starts.isEmpty());
        QVERIFY(s.window().isVisible());

        // The values stay stored: a reopened window counts them.
        s.click(&s.window(), "cmdChangeInput");
        s.window().show();
        QCOMPARE(s.first()->text(), QStringLiteral("15"));
    }

    void realFolderChooser()
    {
        Session s;
        s.open();
        s.host.realBoxes = true;
        QString title;
        QWidget *owner = nullptr;
        bool foldersOnly = false;
        QStringList preselected{QStringLiteral("(none seen)")};
        test::ModalAnswerer::answerNext([&](QWidget *box) {
            auto *dialog = qobject_cast<QFileDialog *>(box);
            if (!dialog)
                return;
            title = dialog->windowTitle();
            owner = dialog->parentWidget();
            foldersOnly = dialog->fileMode() == QFileDialog::Directory;
            preselected = dialog->selectedFiles();
            dialog->reject();
        });
        s.files()->setText(QStringLiteral("4"));
        s.click(&s.window(), "cmdgo");

        QCOMPARE(title, QStringLiteral("Please select the folder to save the generated files"));
        QCOMPARE(owner, &s.window());
        QVERIFY(foldersOnly);
        // Only the folder it opens in, nothing picked in it.
        QVERIFY2(preselected.size() <= 1, qPrintable(preselected.join(u',')));
        QVERIFY(s.host.starts.isEmpty());
        QCOMPARE(s.files()->text(), QStringLiteral("4"));
    }

    void run_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QByteArray>("indicatorLine");
        QTest::newRow("point") << QLocale::c() << QByteArray(" 0.5 \r\n");
        QTest::newRow("comma") << QLocale(QLocale::German, QLocale::Germany)
                               << QByteArray("0.5\r\n");
    }
    void run()
    {
        QFETCH(QLocale, locale);
        QFETCH(QByteArray, indicatorLine);
        QLocale::setDefault(locale);
        Session s;
        s.open();
        QTemporaryDir target;
        QByteArray atStart;
        s.host.onStart = [&](const ScriptedHost::Start &) {
            atStart = readAll(s.inputFile());
        };
        QString dialogAtSuccess;
        s.host.onMessage = [&](const ScriptedHost::Message &) {
            dialogAtSuccess = s.dialog().isVisible() ? "open" : "closed";
        };
        s.finishBatch(target.path());

        QCOMPARE(atStart, exampleFile(target.path(), indicatorLine));
        QCOMPARE(s.host.starts.size(), 1);
        QCOMPARE(s.host.starts[0].program, QStringLiteral(KELDAR_STANDIN_DIR "/keldar-generate"));
        QCOMPARE(s.host.starts[0].arguments, QStringList());
        QCOMPARE(s.host.starts[0].workingDirectory, s.root());
        QCOMPARE(s.host.currentDirectories, QStringList{s.root()});

        QCOMPARE(s.host.messages.size(), 1);
        QCOMPARE(s.host.messages[0].title, QStringLiteral("File Generation Process"));
        QCOMPARE(s.host.messages[0].text,
                 QStringLiteral("The requested files are successfully generated. For output "
                                "details see the output.log file."));
        QCOMPARE(dialogAtSuccess, QStringLiteral("closed"));

        QVERIFY(!QFile::exists(s.inputFile()));
        QVERIFY(!s.window().isLoaded());
        QVERIFY(!s.window().isVisible());
        QVERIFY(!s.main().isVisible());
        QCOMPARE(s.dialog().windowTitle(), QStringLiteral("KELDAR"));
        QCOMPARE(s.parameters().numberOfFilesGenerated, 10.0);
        QCOMPARE(s.parameters().startsolution, qint16(1));
    }

    void staleMarkGoesBeforeTheStart()
    {
        Session s;
        s.open();
        QVERIFY(writeFile(s.mark(), {}));
        bool markAtStart = true;
        s.host.onStart = [&](const ScriptedHost::Start &) {
            markAtStart = QFile::exists(s.mark());
        };
        s.finishBatch(QStringLiteral("/srv"));
        QVERIFY(!markAtStart);
    }

    // The success box comes only once the generator has taken the batch and
    // will write every file; a batch some of whose names are taken says how
    // many files will be written and why not the others, and goes on; a
    // refusal or a batch whose names are all taken is told as such, and the
    // window stays for another try.
    void waitForTheRead_data()
    {
        QTest::addColumn<QByteArray>("markAtStart");      // "" = none
        QTest::addColumn<QByteArray>("markWhileWaiting"); // "" = none
        QTest::addColumn<bool>("fileStays");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("realBox");
        const QString success = QStringLiteral("The requested files are successfully generated.");
        const QString someTaken = QStringLiteral(
            "10 files were requested: 1 will be written and 9 will not, because the folder "
            "already holds files of those names. For output details see the output.log file.");
        QTest::newRow("never read") << QByteArray() << QByteArray() << true << success << false;
        QTest::newRow("another generator's mark")
            << QByteArray("999") << QByteArray() << true << success << false;
        QTest::newRow("read while the window is live")
            << QByteArray() << QByteArray("4242\naccepted 10\n") << false << success << false;
        QTest::newRow("refused batch")
            << QByteArray() << QByteArray("4242\nrefused the batch needs about 9 bytes\n") << false
            << "No file was generated: the batch needs about 9 bytes. For output" << false;
        QTest::newRow("every name taken")
            << QByteArray() << QByteArray("4242\naccepted 0\n") << false
            << "No file was generated: every file name of the batch is already" << false;
        QTest::newRow("some names taken")
            << QByteArray() << QByteArray("4242\naccepted 1\n") << false << someTaken << false;
        QTest::newRow("one name taken")
            << QByteArray() << QByteArray("4242\naccepted 9\n") << false
            << "9 will be written and 1 will not, because the folder already holds a file of "
               "that name."
            << false;
        QTest::newRow("some names taken, real box")
            << QByteArray() << QByteArray("4242\naccepted 1\n") << false << someTaken << true;
    }
    void waitForTheRead()
    {
        QFETCH(QByteArray, markAtStart);
        QFETCH(QByteArray, markWhileWaiting);
        QFETCH(QString, message);
        QFETCH(bool, realBox);
        Session s;
        s.open();
        s.host.processRunning = true; // running, but never leaves its mark
        s.program->setReadTimeout(markWhileWaiting.isEmpty() ? 50 : 10000);
        // The events of a generator marking while the program waits.
        s.host.onStart = [&](const ScriptedHost::Start &) {
            if (!markAtStart.isEmpty())
                QVERIFY(writeFile(s.mark(), markAtStart));
            if (!markWhileWaiting.isEmpty())
                QTimer::singleShot(0, [&] { QVERIFY(writeFile(s.mark(), markWhileWaiting)); });
        };
        QString shown = QStringLiteral("(no box)");
        if (realBox) {
            s.host.realBoxes = true;
            ModalAnswerer::answerNext([&](QWidget *box) {
                shown = box->windowTitle() + u'|' + ModalAnswerer::boxText(box);
                QTest::keyClick(box, Qt::Key_Enter);
            });
        }
        if (!message.startsWith(QLatin1String("No file was generated"))) {
            s.finishBatch(QStringLiteral("/srv"));
            QVERIFY(!s.window().isVisible());
        } else {
            s.generate(QStringLiteral("10"), QStringLiteral("1"), QStringLiteral("/srv"));
            QTRY_COMPARE(s.host.messages.size(), 1);
            QVERIFY(s.window().isVisible() && s.window().isEnabled());
            QVERIFY(!s.dialog().isVisible());
        }
        QCOMPARE(s.host.messages.size(), 1);
        const QString text = s.host.messages[0].text;
        QVERIFY2(text.contains(message), qPrintable(text));
        // One box, and success only when every file requested is written.
        QCOMPARE(text.startsWith(QLatin1String("The requested files are successfully")),
                 message.startsWith(QLatin1String("The requested")));
        if (realBox)
            QCOMPARE(shown, QStringLiteral("File Generation Process|") + message);
        QTEST(QFile::exists(s.inputFile()), "fileStays");
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void folderRefused_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("line feed") << "/srv/a\nb";
        QTest::newRow("carriage return") << "/srv/a\rb";
        QTest::newRow("lone surrogate") << QStringLiteral("/srv/") + QChar(0xDC00);
        QTest::newRow("undecodable name") << QStringLiteral("/srv/") + QChar::ReplacementCharacter;
    }
    void folderRefused()
    {
        QFETCH(QString, folder);
        Session s;
        s.open();
        s.generate(QStringLiteral("5"), QStringLiteral("2"), folder);
        QCOMPARE(s.host.messages.size(), 1);
        QCOMPARE(s.host.messages[0].title, QStringLiteral("Input Error"));
        QVERIFY(s.host.messages[0].text.startsWith(QStringLiteral("The folder ")));
        QVERIFY(!QFile::exists(s.inputFile()));
        QVERIFY(s.host.starts.isEmpty());
        QVERIFY(s.window().isVisible());
        QCOMPARE(s.files()->text(), QStringLiteral("5"));
        QCOMPARE(focused(), QStringLiteral("txtNumberofFiles"));
    }

    void fileCannotBeWritten_data()
    {
        QTest::addColumn<QString>("rootName");
        QTest::addColumn<bool>("takeTheName");
        QTest::newRow("root cannot be made") << "blocker/c" << false;
        QTest::newRow("name taken by a folder") << "c" << true;
    }
    void fileCannotBeWritten()
    {
        QFETCH(QString, rootName);
        QFETCH(bool, takeTheName);
        Session s(false, rootName);
        QVERIFY(writeFile(s.drive.filePath(QStringLiteral("blocker")), {}));
        if (takeTheName)
            QVERIFY(QDir().mkpath(s.inputFile()));
        s.open();
        s.generate(QStringLiteral("10"), QStringLiteral("1"), QStringLiteral("/srv"));

        QCOMPARE(s.host.messages.size(), 1);
        QCOMPARE(s.host.messages[0].title, QStringLiteral("Input Error"));
        const QString text = s.host.messages[0].text;
        QVERIFY2(text.startsWith(QStringLiteral("The file ") + s.inputFile() +
                                 QStringLiteral(" could not be written: ")) &&
                     !text.endsWith(QStringLiteral(": ")),
                 qPrintable(text));
        QVERIFY(s.host.starts.isEmpty());
        QVERIFY(s.window().isVisible());
        QVERIFY(!s.dialog().isVisible());
        // Nothing half-written left behind.
        if (takeTheName)
            QCOMPARE(QDir(s.root()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                     QStringList{QStringLiteral("Input_data_KELDAR.TXT")});
    }

    void generatorCannotBeStarted()
    {
        Session s;
        s.open();
        s.host.startSucceeds = false;
        s.generate(QStringLiteral("10"), QStringLiteral("1"), QStringLiteral("/srv"));

        QCOMPARE(s.host.messages.size(), 1);
        const QString text = s.host.messages[0].text;
        QVERIFY2(text.contains(QStringLiteral(KELDAR_STANDIN_DIR "/keldar-generate")),
                 qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("No files were generated")), qPrintable(text));
        QVERIFY(!QFile::exists(s.inputFile()));
        QVERIFY(s.window().isVisible());
        QVERIFY(!s.dialog().isVisible());
    }

    void changeSettings_data()
    {
        QTest::addColumn<bool>("throughFrame");
        QTest::newRow("button") << false;
        QTest::newRow("frame close") << true;
    }
    void changeSettings()
    {
        QFETCH(bool, throughFrame);
        Session s;
        s.program->start();
        s.main().selectTab(4);
        s.parameters() = exampleBatch();
        s.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&s.window()));
        QApplication::setActiveWindow(&s.window());
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);

        if (throughFrame)
            s.window().close();
        else
            s.click(&s.window(), "cmdChangeInput");

        QVERIFY(!s.window().isLoaded());
        QVERIFY(!s.window().isVisible());
        QVERIFY(s.main().isVisible());
        QCOMPARE(s.main().shownPage(), int(KELDAR::ProblemSize));
        QCOMPARE(s.main().selectedTab(), 4);
        QApplication::setActiveWindow(&s.main());
        QTRY_COMPARE(focused(), QStringLiteral("txtNurses"));
        QCOMPARE(s.parameters().nurses, 20.0);
        QCOMPARE(lastClosed.count(), 0);
    }

    // Real boxes and real activation: the window manager's part (activating
    // a window that is shown or that a box gave back) is played here.
    void focusComesBackSelected_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("firstFile");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *tag, int how, const char *count, const char *firstFile,
                            const char *field, const char *expected) {
            QTest::newRow(tag) << how << QString::fromLatin1(count)
                               << QString::fromLatin1(firstFile) << QString::fromLatin1(field)
                               << QString::fromLatin1(expected);
        };
        row("change settings", 0, "", "", "txtNurses", "5");
        row("frame close", 1, "", "", "txtNurses", "5");
        row("files refused", 2, "abc", "1", "txtNumberofFiles", "Z");
        row("first refused", 2, "1", "abc", "txtStartingSolution", "Z");
        row("folder cancelled", 2, "12", "1", "txtNumberofFiles", "3");
        row("back from the seed box", 3, "", "", "txtNurses", "5");
        row("window switch keeps the caret", 4, "", "", "txtNurses", "205");
    }
    void focusComesBackSelected()
    {
        QFETCH(int, how);
        QFETCH(QString, count);
        QFETCH(QString, firstFile);
        QFETCH(QString, field);
        QFETCH(QString, expected);
        Session s;
        s.program->start();
        QVERIFY(activate(&s.main()));
        s.host.realBoxes = true;
        const auto escapeNextBox = [] {
            test::ModalAnswerer::answerNext(
                [](QWidget *box) { QTest::keyClick(box, Qt::Key_Escape); });
        };
        auto *nurses = s.child<QLineEdit>(&s.main(), "txtNurses");
        QWidget *target = &s.main();
        if (how >= 3) {
            s.main().showPage(KELDAR::ProblemSize);
            nurses->setFocus();
            nurses->setText(QStringLiteral("20")); // the caret after what was typed
            QWidget elsewhere;
            if (how == 3) {
                escapeNextBox();
                s.main().findChild<QAction *>("mnuSeed")->trigger();
            } else {
                elsewhere.show();
                QVERIFY(activate(&elsewhere));
            }
        } else {
            nurses->setText(QStringLiteral("20"));
            s.parameters() = exampleBatch();
            s.window().show();
            QVERIFY(activate(&s.window()));
            if (how == 0) {
                s.click(&s.window(), "cmdChangeInput");
            } else if (how == 1) {
                s.window().close();
            } else {
                target = &s.window();
                s.files()->setText(count);
                s.first()->setText(firstFile);
                escapeNextBox();
                test::click(s.child<QPushButton>(&s.window(), "cmdgo"));
            }
        }
        QVERIFY(activate(target));
        QTRY_COMPARE(focused(), field);
        QTest::keyClick(target->windowHandle(), expected.back().toLatin1());
        QCOMPARE(qobject_cast<QLineEdit *>(QApplication::focusWidget())->text(), expected);
    }

    void continueYes_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("click") << 0;
        QTest::newRow("enter on the first button") << 1;
        QTest::newRow("frame close") << 2;
    }
    void continueYes()
    {
        QFETCH(int, how);
        Session s;
        s.open();
        s.parameters().seed = 7;
        for (const char *name : MainWindowFields)
            s.child<QLineEdit>(&s.main(), name)->setText(QStringLiteral("9"));
        s.finishBatch(QStringLiteral("/srv"));
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);

        if (how == 0) {
            s.click(&s.dialog(), "cmdContinueYes");
        } else if (how == 1) {
            QCOMPARE(focused(), QStringLiteral("cmdContinueYes"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        } else {
            s.dialog().close();
        }

        QVERIFY(!s.dialog().isLoaded());
        QVERIFY(s.main().isVisible());
        QCOMPARE(s.main().shownPage(), int(KELDAR::Welcome));
        for (const char *name : MainWindowFields)
            QCOMPARE(s.child<QLineEdit>(&s.main(), name)->text(), QString());
        const ParameterSet &p = s.parameters();
        QCOMPARE(p.seed, DefaultSeed);
        QCOMPARE(p.nurses, 20.0);
        QCOMPARE(p.startsolution, qint16(1));
        QCOMPARE(p.numberOfFilesGenerated, 10.0);
        QCOMPARE(s.host.endProgramCalls, 0);
        QCOMPARE(lastClosed.count(), 0);
        QVERIFY(!s.window().isVisible());

        // The next batch carries on the numbering.
        s.window().show();
        QCOMPARE(s.first()->text(), QStringLiteral("11"));
    }

    void continueNo()
    {
        Session s;
        s.open();
        s.finishBatch(QStringLiteral("/srv"));
        s.click(&s.dialog(), "cmdContinueNo");
        QCOMPARE(s.host.endProgramCalls, 1);
        QVERIFY(!s.dialog().isLoaded());
        QCOMPARE(s.host.messages.size(), 1); // the success box, nothing after
    }

    void escapeDoesNothing()
    {
        Session s;
        s.open();
        s.finishBatch(QStringLiteral("/srv"));
        QTest::keyClick(&s.dialog(), Qt::Key_Escape);
        QVERIFY(s.dialog().isVisible());
        QVERIFY(!s.main().isVisible());
    }

    void generatorReadsBeforeTheFileGoes_data()
    {
        QTest::addColumn<QByteArray>("delay");
        QTest::addColumn<bool>("leavesMark");
        QTest::newRow("reads at once") << QByteArray() << true;
        QTest::newRow("slow to read") << QByteArray("700") << true;
        QTest::newRow("ends without a mark") << QByteArray("300") << false;
    }
    void generatorReadsBeforeTheFileGoes()
    {
        QFETCH(QByteArray, delay);
        QFETCH(bool, leavesMark);
        qputenv("KELDAR_STANDIN_DELAY_MS", delay);
        if (leavesMark)
            qunsetenv("KELDAR_STANDIN_NO_MARK");
        else
            qputenv("KELDAR_STANDIN_NO_MARK", "1");
        Session s(true);
        s.open();
        QTemporaryDir target;
        // The success box is answered at once, long before a slow generator
        // has read anything.
        QElapsedTimer clock;
        clock.start();
        s.finishBatch(target.path());
        qunsetenv("KELDAR_STANDIN_DELAY_MS");
        qunsetenv("KELDAR_STANDIN_NO_MARK");

        QVERIFY(!QFile::exists(s.inputFile()));
        QVERIFY(!QFile::exists(s.mark()));
        const QString record = s.root() + QStringLiteral("/standin-record.txt");
        // A generator that lost its input still leaves a record, just later.
        QTRY_VERIFY(QFile::exists(record));
        const QByteArray seen = readAll(record);
        const qsizetype split = seen.indexOf('\n');
        QCOMPARE(QDir(QString::fromUtf8(seen.left(split))).canonicalPath(),
                 QDir(s.root()).canonicalPath());
        QCOMPARE(seen.mid(split + 1), exampleFile(target.path()));
        // Waiting ends on the generator's sign, well before the time allowed.
        QVERIFY2(clock.elapsed() < 5000, QByteArray::number(clock.elapsed()).constData());
    }
};

QTEST_MAIN(TestFileGeneration)
#include "tst_filegeneration.moc"

#include "generation/batchfields.h"
#include "generation/inputdatafile.h"
#include "generation/readwait.h"
#include "generator/input/handshake.h"
#include "tests/support/examplebatch.h"
#include "tests/support/files.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(keldar::ParameterSet)
Q_DECLARE_METATYPE(keldar::generation::ReadWait)

using namespace keldar;

namespace {

// The worked example with its batch: ten files from file 1.
ParameterSet exampleBatch()
{
    ParameterSet p = test::exampleBatch();
    p.numberOfFilesGenerated = 10;
    p.startsolution = 1;
    return p;
}

using test::readAll;

// A generator that leaves its mark after a number of polls, or ends.
struct PolledGenerator {
    QString mark;
    int markAfterPolls = -1; // never
    int endAfterPolls = -1;  // never
    int polls = 0;
    qint64 pid = 1;

    bool isRunning()
    {
        ++polls;
        if (polls == markAfterPolls)
            test::writeFile(mark, generator::readMarkText(pid));
        return endAfterPolls < 0 || polls < endAfterPolls;
    }
};

} // namespace

class TestGenerationRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void numberOfFiles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("stored"); // 0 = refused
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("negative") << "-1" << 0.0;
        QTest::newRow("fraction") << "2.5" << 0.0;
        QTest::newRow("zero") << "0" << 0.0;
        QTest::newRow("no leading number") << "abc" << 0.0;
        QTest::newRow("a blank reads 0") << " " << 0.0;
        QTest::newRow("too large for a double") << "1e400" << 0.0;
        QTest::newRow("one") << "1" << 1.0;
        QTest::newRow("trailing junk") << "12abc" << 12.0;
        QTest::newRow("comma is no decimal separator") << "2,5" << 2.0;
        QTest::newRow("blanks dropped") << " 1 2" << 12.0;
        QTest::newRow("exponent") << "1E2" << 100.0;
        QTest::newRow("beyond 16 bits is fine here") << "40000" << 40000.0;
    }
    void numberOfFiles()
    {
        QFETCH(QString, text);
        QFETCH(double, stored);
        const std::optional<double> value = generation::numberOfFiles(text);
        QCOMPARE(value.value_or(0), stored);
    }

    void firstFileNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("stored"); // 0 = refused
        QTest::newRow("one") << "1" << 1;
        QTest::newRow("trailing junk") << "3xyz" << 3;
        QTest::newRow("largest that fits") << "32767" << 32767;
        QTest::newRow("just too large") << "32768" << 0;
        QTest::newRow("exponent too large") << "1E5" << 0;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("fraction") << "1.5" << 0;
    }
    void firstFileNumber()
    {
        QFETCH(QString, text);
        QFETCH(int, stored);
        QCOMPARE(int(generation::firstFileNumber(text).value_or(0)), stored);
    }

    void fileBytes_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<ParameterSet>("batch");
        QTest::addColumn<QByteArray>("expected");

        const QLocale point = QLocale::c();
        const QLocale comma(QLocale::German, QLocale::Germany);
        const QString folder = QStringLiteral("D:\\Instances");
        const QByteArray head = " 20 \r\n 28 \r\n 4 \r\n 1 \r\n";
        const QByteArray tail = " 10 \r\n 1 \r\n 100 \r\nD:\\Instances\r\n";
        QTest::newRow("example, point") << point << exampleBatch() << test::exampleFile(folder);
        QTest::newRow("example, comma")
            << comma << exampleBatch() << test::exampleFile(folder, "0.5\r\n");

        ParameterSet noFree = exampleBatch();
        noFree.freeShiftInculuded = false;
        QTest::newRow("free shift not included") << point << noFree
                                                 << QByteArray(" 20 \r\n 28 \r\n 4 \r\n 0 \r\n") +
                                                        QByteArray(" 0.5 \r\n").repeated(6) + tail;

        ParameterSet ends = exampleBatch();
        ends.periodPreference = ends.totalCoverage = ends.shiftCoverage = 0;
        ends.dayPreference = ends.shiftPreference = ends.dayCoverage = 1;
        const QByteArray endLines = " 0 \r\n 1 \r\n 1 \r\n 0 \r\n 1 \r\n 0 \r\n";
        QTest::newRow("indicators 0 and 1, point") << point << ends << head + endLines + tail;
        QTest::newRow("indicators 0 and 1, comma") << comma << ends << head + endLines + tail;
    }
    void fileBytes()
    {
        QFETCH(QLocale, locale);
        QFETCH(ParameterSet, batch);
        QFETCH(QByteArray, expected);
        QLocale::setDefault(locale);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Input_data_KELDAR.TXT"));
        const auto bytes =
            inputdata::encode(inputdata::text(batch, QStringLiteral("D:\\Instances")));
        QVERIFY(bytes);
        QVERIFY(!inputdata::save(path, *bytes));
        QCOMPARE(readAll(path), expected);
    }

    void secondBatchReplacesTheFile_data()
    {
        QTest::addColumn<bool>("link");
        QTest::newRow("earlier file") << false;
        QTest::newRow("link at the name") << true;
    }
    void secondBatchReplacesTheFile()
    {
        QFETCH(bool, link);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Input_data_KELDAR.TXT"));
        const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(!inputdata::save(link ? elsewhere : path, QByteArray(500, 'x')));
        if (link)
            QVERIFY(QFile::link(elsewhere, path));
        // Replaced in one step, never rewritten in place: a reader of the
        // earlier file (the generator) goes on seeing it whole.
        QFile reader(path);
        QVERIFY(reader.open(QIODevice::ReadOnly));
        QVERIFY(!inputdata::save(path, "short\r\n"));
        QCOMPARE(readAll(path), QByteArray("short\r\n"));
        QCOMPARE(reader.readAll(), QByteArray(500, 'x'));
        QVERIFY(!QFileInfo(path).isSymLink());
        if (link)
            QCOMPARE(readAll(elsewhere), QByteArray(500, 'x'));
    }

    void fullDiskIsAFailure()
    {
        QFile full(QStringLiteral("/dev/full"));
        if (!full.open(QIODevice::WriteOnly))
            QSKIP("no /dev/full here");
        const std::optional<QString> failure = inputdata::writeDurably(full, "data\r\n");
        QVERIFY(failure);
        QVERIFY(!failure->isEmpty());
    }

    void failedSaveLeavesNothing_data()
    {
        QTest::addColumn<QString>("relativePath");
        QTest::newRow("folder missing") << "missing/Input_data_KELDAR.TXT";
        QTest::newRow("name taken by a folder") << "taken";
    }
    void failedSaveLeavesNothing()
    {
        QFETCH(QString, relativePath);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken")));
        const std::optional<QString> failure =
            inputdata::save(dir.filePath(relativePath), "data\r\n");
        QVERIFY(failure);
        QVERIFY(!failure->isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{QStringLiteral("taken")});
    }

    void canCarry_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("carried");
        QTest::newRow("plain") << "/home/user/Instances" << true;
        QTest::newRow("drive root") << "D:\\" << true;
        QTest::newRow("accents") << QStringLiteral("/home/user/Instanzen-\u00fc\u00e9") << true;
        QTest::newRow("line feed") << "/home/user/a\nb" << false;
        QTest::newRow("carriage return") << "/home/user/a\rb" << false;
        QTest::newRow("lone surrogate") << QStringLiteral("/home/") + QChar(0xD800) << false;
        QTest::newRow("undecodable name")
            << QStringLiteral("/home/") + QChar::ReplacementCharacter << false;
    }
    void canCarry()
    {
        QFETCH(QString, folder);
        QTEST(inputdata::canCarry(folder), "carried");
    }

    void readWait_data()
    {
        QTest::addColumn<int>("markAfterPolls");
        QTest::addColumn<int>("endAfterPolls");
        QTest::addColumn<QByteArray>("markBefore");
        QTest::addColumn<generation::ReadWait>("outcome");
        using generation::ReadWait;
        QTest::newRow("mark already there") << -1 << -1 << QByteArray("1") << ReadWait::Marked;
        QTest::newRow("mark appears") << 3 << -1 << QByteArray() << ReadWait::Marked;
        QTest::newRow("mark, then the end") << 4 << 4 << QByteArray() << ReadWait::Marked;
        QTest::newRow("ended without mark") << -1 << 3 << QByteArray() << ReadWait::Exited;
        QTest::newRow("neither") << -1 << -1 << QByteArray() << ReadWait::TimedOut;
        QTest::newRow("another generator's mark")
            << -1 << -1 << QByteArray("77") << ReadWait::TimedOut;
        QTest::newRow("its mark after another's")
            << 3 << -1 << QByteArray("77") << ReadWait::Marked;
    }
    void readWait()
    {
        QFETCH(int, markAfterPolls);
        QFETCH(int, endAfterPolls);
        QFETCH(QByteArray, markBefore);
        QTemporaryDir dir;
        PolledGenerator polled;
        polled.mark = dir.filePath(QStringLiteral("Input_data_KELDAR.TXT.read"));
        polled.markAfterPolls = markAfterPolls;
        polled.endAfterPolls = endAfterPolls;
        if (!markBefore.isEmpty())
            QVERIFY(test::writeFile(polled.mark, markBefore));

        QElapsedTimer clock;
        clock.start();
        QObject context;
        std::optional<generation::ReadWait> outcome;
        generation::waitUntilRead([&polled](qint64) { return polled.isRunning(); }, 1, polled.mark,
                                  300, &context, [&](generation::ReadWait o) { outcome = o; });
        QTRY_VERIFY(outcome);
        QTEST(*outcome, "outcome");
        // Only a generator that never answers costs the whole allowance.
        QCOMPARE(clock.elapsed() >= 300, *outcome == generation::ReadWait::TimedOut);
    }
};

QTEST_GUILESS_MAIN(TestGenerationRun)
#include "tst_generationrun.moc"

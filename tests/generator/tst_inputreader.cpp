#include "generation/inputdatafile.h"
#include "generator/input/inputreader.h"

#include <QLocale>
#include <QTest>

using namespace keldar::generator;

namespace {

// A valid file as lines, LF ends; rows below replace one line.
QList<QByteArray> validLines()
{
    return {" 25 ",  " 7 ", " 4 ",   " 0 ",  "0.5", " 0.25 ", " 1 ",
            " 0.6 ", " 0 ", "1E-05", " 10 ", " 1 ", " 100 ",  "/tmp/out"};
}

QByteArray joined(const QList<QByteArray> &lines, const QByteArray &end = "\n")
{
    QByteArray text;
    for (const QByteArray &line : lines)
        text += line + end;
    return text;
}

keldar::ParameterSet sampleSet()
{
    keldar::ParameterSet p;
    p.nurses = 25;
    p.days = 28;
    p.shifts = 4;
    p.freeShiftInculuded = true;
    p.periodPreference = 0.5;
    p.dayPreference = 0.25;
    p.shiftPreference = 1;
    p.totalCoverage = 0.6;
    p.dayCoverage = 0;
    p.shiftCoverage = 0.00001;
    p.numberOfFilesGenerated = 12;
    p.startsolution = 3;
    p.seed = -7;
    return p;
}

} // namespace

class TestInputReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // What the app writes must read back as the same batch, whichever decimal
    // style the user's locale gives the fractions.
    void appText_roundTrip_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("point locale, padded numbers") << QLocale(QLocale::English);
        QTest::newRow("comma locale, bare fractions") << QLocale(QLocale::German);
    }
    void appText_roundTrip()
    {
        QFETCH(QLocale, locale);
        QLocale::setDefault(locale);
        const keldar::ParameterSet p = sampleSet();
        const QString folder = QStringLiteral("/home/ümit/instances dir");
        const auto bytes = keldar::inputdata::encode(keldar::inputdata::text(p, folder));
        QVERIFY(bytes);

        const ReadResult read = readInput(*bytes);
        QVERIFY2(read.input, qPrintable(read.error));
        const BatchInput &in = *read.input;
        QCOMPARE(in.nurses, 25);
        QCOMPARE(in.days, 28);
        QCOMPARE(in.shifts, 4);
        QVERIFY(in.freeCounted);
        QCOMPARE(in.workingShifts(), 3);
        QCOMPARE(in.targets[PeriodPreference], 0.5);
        QCOMPARE(in.targets[DayPreference], 0.25);
        QCOMPARE(in.targets[ShiftPreference], 1.0);
        QCOMPARE(in.targets[TotalCoverage], 0.6);
        QCOMPARE(in.targets[DayCoverage], 0.0);
        QCOMPARE(in.targets[ShiftCoverage], 0.00001);
        QCOMPARE(in.files, 12);
        QCOMPARE(in.firstFile, 3);
        QCOMPARE(in.seed, -7);
        QCOMPARE(in.folder, folder);
    }

    void accepted_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("exponent form") << 10 << QByteArray(" 1E-05 ") << 0.00001;
        QTest::newRow("lower-case exponent") << 5 << QByteArray("5e-1") << 0.5;
        QTest::newRow("whole in exponent form") << 11 << QByteArray(" 1E+2 ") << 100.0;
        QTest::newRow("tabs around") << 1 << QByteArray("\t30\t") << 30.0;
        QTest::newRow("leading point") << 6 << QByteArray(".75") << 0.75;
        QTest::newRow("plus sign") << 13 << QByteArray("+5") << 5.0;
        QTest::newRow("negative seed") << 13 << QByteArray("-32768 ") << -32768.0;
        QTest::newRow("indicator exactly 1") << 7 << QByteArray("1") << 1.0;
        QTest::newRow("indicator 0 written 0.0") << 8 << QByteArray("0.0") << 0.0;
        QTest::newRow("underflow reads as 0") << 9 << QByteArray("1E-400") << 0.0;
        QTest::newRow("seed 2^53") << 13 << QByteArray("9007199254740992") << 9007199254740992.0;
        QTest::newRow("seed with zero fraction") << 13 << QByteArray("12.000") << 12.0;
        QTest::newRow("seed as scaled fraction") << 13 << QByteArray("1.25E+2") << 125.0;
        QTest::newRow("negative zero seed") << 13 << QByteArray("-0") << 0.0;
    }
    void accepted()
    {
        QFETCH(int, line);
        QFETCH(QByteArray, text);
        QFETCH(double, value);
        QList<QByteArray> lines = validLines();
        lines[line - 1] = text;
        const ReadResult read = readInput(joined(lines));
        QVERIFY2(read.input, qPrintable(read.error));
        const BatchInput &in = *read.input;
        const double got[] = {
            double(in.nurses), double(in.days), double(in.shifts), in.freeCounted ? 1.0 : 0.0,
            in.targets[0],     in.targets[1],   in.targets[2],     in.targets[3],
            in.targets[4],     in.targets[5],   double(in.files),  double(in.firstFile),
            double(in.seed)};
        QCOMPARE(got[line - 1], value);
    }

    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("end");
        QTest::newRow("CR LF") << QByteArray("\r\n");
        QTest::newRow("LF") << QByteArray("\n");
    }
    void lineEnds()
    {
        QFETCH(QByteArray, end);
        const ReadResult read = readInput(joined(validLines(), end));
        QVERIFY2(read.input, qPrintable(read.error));
        QCOMPARE(read.input->folder, QStringLiteral("/tmp/out"));
        QCOMPARE(read.input->nurses, 25);
    }

    void lastLineWithoutEnd()
    {
        QByteArray text = joined(validLines());
        text.chop(1);
        const ReadResult read = readInput(text);
        QVERIFY2(read.input, qPrintable(read.error));
        QCOMPARE(read.input->folder, QStringLiteral("/tmp/out"));
    }

    // Every refusal names the line and shows the value the user can find.
    void refused_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("reportedLine");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("not a number") << 1 << QByteArray("abc") << 1 << "\"abc\"";
        QTest::newRow("empty numeric line") << 2 << QByteArray("") << 2 << "not a number";
        QTest::newRow("trailing junk") << 3 << QByteArray("4x") << 3 << "\"4x\"";
        QTest::newRow("comma decimal") << 5 << QByteArray("0,5") << 5 << "\"0,5\"";
        QTest::newRow("two numbers") << 11 << QByteArray("1 2") << 11 << "not a number";
        QTest::newRow("hexadecimal") << 1 << QByteArray("0x10") << 1 << "not a number";
        QTest::newRow("infinity word") << 5 << QByteArray("inf") << 5 << "not a number";
        QTest::newRow("nan") << 6 << QByteArray("nan") << 6 << "not a number";
        QTest::newRow("overflow") << 13 << QByteArray("1E+400") << 13 << "not a number";
        QTest::newRow("bare exponent") << 1 << QByteArray("1E") << 1 << "not a number";
        QTest::newRow("nurses fractional") << 1 << QByteArray("2.5") << 1 << "whole number";
        QTest::newRow("nurses 0") << 1 << QByteArray(" 0 ") << 1 << "at least 1";
        QTest::newRow("days negative") << 2 << QByteArray("-7 ") << 2 << "\"-7 \"";
        QTest::newRow("shifts 0") << 3 << QByteArray(" 0 ") << 3 << "at least 1";
        QTest::newRow("free flag 2") << 4 << QByteArray(" 2 ") << 4 << "neither 0 nor 1";
        QTest::newRow("free flag 0.5") << 4 << QByteArray("0.5") << 4 << "neither 0 nor 1";
        QTest::newRow("indicator above 1") << 7 << QByteArray("1.01") << 7 << "outside 0 to 1";
        QTest::newRow("indicator below 0") << 10 << QByteArray("-1E-05") << 10 << "outside 0 to 1";
        QTest::newRow("files 0") << 11 << QByteArray(" 0 ") << 11 << "at least 1";
        QTest::newRow("files fractional") << 11 << QByteArray("1.5") << 11 << "whole number";
        QTest::newRow("files too many") << 11 << QByteArray("1E+20") << 11 << "larger than";
        QTest::newRow("first file 0") << 12 << QByteArray(" 0 ") << 12 << "at least 1";
        QTest::newRow("seed fractional") << 13 << QByteArray("2.5") << 13 << "not a whole number";
        QTest::newRow("seed beyond 2^53") << 13 << QByteArray("1E+17") << 13 << "2^53";
        QTest::newRow("empty folder") << 14 << QByteArray("") << 14 << "empty";
        QTest::newRow("blank folder") << 14 << QByteArray("   ") << 14 << "empty";
        QTest::newRow("byte order mark and tabs as folder")
            << 14 << QByteArray("\xEF\xBB\xBF\t\t") << 14 << "empty";
        QTest::newRow("too many nurses") << 1 << QByteArray("1E+9") << 1 << "larger than";
        // A folder name the system would read differently is no folder.
        QTest::newRow("folder not UTF-8") << 14 << QByteArray("caf\xE9_dir") << 14 << "UTF-8";
        QTest::newRow("NUL in folder") << 14 << QByteArray("/tmp/a\0b", 8) << 14 << "NUL";
        // A line end or tab in a folder's name breaks the instance's header.
        QTest::newRow("CR in folder")
            << 14 << QByteArray("/tmp/a\rb") << 14 << "control character: \"/tmp/a\\rb\"";
        QTest::newRow("NUL in a number, shown escaped") << 1
                                                        << QByteArray("2\0"
                                                                      "5",
                                                                      3)
                                                        << 1 << "\"2\\x005\" is not a number";
        QTest::newRow("a line after the fourteenth")
            << 15 << QByteArray(" 25 ") << 15 << "\" 25 \"";
        QTest::newRow("file numbers beyond 10^15")
            << 12 << QByteArray("1E+15") << 12 << "numbers the last of 10 files beyond";
        QTest::newRow("folder beyond the path limit")
            << 14 << QByteArray(4096, 'a') << 14 << "longer than 4095";
        // Beyond 2^53 a double rounds to a whole neighbour; the text decides.
        QTest::newRow("seed 2^53 + 1")
            << 13 << QByteArray("9007199254740993") << 13 << "not exactly a whole number";
        QTest::newRow("seed fraction lost in rounding")
            << 13 << QByteArray("4503599627370496.5") << 13 << "not exactly a whole number";
        QTest::newRow("seed underflowing fraction")
            << 13 << QByteArray("1E-400") << 13 << "not exactly a whole number";
        QTest::newRow("files fraction lost in rounding")
            << 11 << QByteArray("1.0000000000000001") << 11 << "not exactly a whole number";
        QTest::newRow("nurses fraction lost in rounding")
            << 1 << QByteArray("25.00000000000000001") << 1 << "not exactly a whole number";
    }
    void refused()
    {
        QFETCH(int, line);
        QFETCH(QByteArray, text);
        QFETCH(int, reportedLine);
        QFETCH(QString, mentions);
        QList<QByteArray> lines = validLines();
        lines.resize(std::max<qsizetype>(line, lines.size()));
        lines[line - 1] = text;
        const ReadResult read = readInput(joined(lines, "\r\n"));
        QVERIFY(!read.input);
        QCOMPARE(read.line, reportedLine);
        QVERIFY2(read.error.startsWith(QStringLiteral("line %1 ").arg(reportedLine)),
                 qPrintable(read.error));
        QVERIFY2(read.error.contains(mentions), qPrintable(read.error));
    }

    void freeShiftWithOneShift_refused()
    {
        QList<QByteArray> lines = validLines();
        lines[2] = " 1 ";
        lines[3] = " 1 ";
        const ReadResult read = readInput(joined(lines));
        QVERIFY(!read.input);
        QVERIFY2(read.error.contains(QStringLiteral("no working shift")), qPrintable(read.error));

        lines[3] = " 0 "; // one working shift plus the added free shift is fine
        QVERIFY(readInput(joined(lines)).input);
    }

    void tooLargeInstance_refused()
    {
        QList<QByteArray> lines = validLines();
        lines[0] = " 10000 ";
        lines[1] = " 1000 ";
        lines[2] = " 4 "; // 10000 * 1000 * 5 = 50 000 000: just allowed
        QVERIFY(readInput(joined(lines)).input);
        lines[2] = " 5 ";
        const ReadResult read = readInput(joined(lines));
        QVERIFY(!read.input);
        QVERIFY2(read.error.contains(QStringLiteral("60000000")), qPrintable(read.error));
        QVERIFY2(read.error.startsWith(QStringLiteral("lines 1-3 (nurses, days, shifts): ")),
                 qPrintable(read.error));
    }

    // Files saved by hand in an editor may begin with a byte order mark.
    void byteOrderMark_skipped_data()
    {
        QTest::addColumn<QByteArray>("end");
        QTest::newRow("CR LF") << QByteArray("\r\n");
        QTest::newRow("LF") << QByteArray("\n");
    }
    void byteOrderMark_skipped()
    {
        QFETCH(QByteArray, end);
        const ReadResult read = readInput("\xEF\xBB\xBF" + joined(validLines(), end));
        QVERIFY2(read.input, qPrintable(read.error));
        QCOMPARE(read.input->nurses, 25);
        QCOMPARE(read.input->folder, QStringLiteral("/tmp/out"));

        // Only at the very start: a mark before another line is still junk.
        QList<QByteArray> lines = validLines();
        lines[1] = "\xEF\xBB\xBF" + lines[1];
        const ReadResult later = readInput(joined(lines, end));
        QVERIFY(!later.input);
        QCOMPARE(later.line, 2);
    }

    // Read whole, the file must be small: a device or a huge file is refused.
    void oversizedFile_refused()
    {
        QByteArray bytes = joined(validLines());
        bytes += QByteArray(MaxInputBytes - bytes.size(), '\n');
        QVERIFY(readInput(bytes).input);
        const ReadResult read = readInput(bytes + '\n');
        QVERIFY(!read.input);
        QVERIFY2(read.error.contains(QStringLiteral("larger than 8192 bytes")),
                 qPrintable(read.error));
    }

    void fewerThanFourteenLines_refused_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("empty file") << 0;
        QTest::newRow("one line") << 1;
        QTest::newRow("folder missing") << 13;
    }
    void fewerThanFourteenLines_refused()
    {
        QFETCH(int, count);
        const ReadResult read = readInput(joined(validLines().mid(0, count)));
        QVERIFY(!read.input);
        QVERIFY2(read.error.contains(QStringLiteral("%1 lines").arg(count)),
                 qPrintable(read.error));
    }
};

QTEST_GUILESS_MAIN(TestInputReader)
#include "tst_inputreader.moc"

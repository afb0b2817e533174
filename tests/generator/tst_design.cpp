#include "generator/input/design.h"
#include "generator/publish/publish.h"
#include "generator/run/batch.h"
#include "generator/run/manifest.h"
#include "generator/run/shards.h"
#include "tests/support/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

using namespace keldar::generator;

namespace {

using keldar::test::generatorPath;
using keldar::test::readAll;

// Two nurse sizes, both free-shift choices, two day-coverage levels: 8 cells.
const QByteArray SmallDesign = "# a test design\n"
                               "nurses = 10, 12\n"
                               "days = 7\n"
                               "shifts = 3\n"
                               "freeShift = yes, no   # both\n"
                               "periodPreference = 0.4\n"
                               "dayPreference = 0.6\n"
                               "shiftPreference = 0.3\n"
                               "totalCoverage = 0.5\n"
                               "dayCoverage = 0.3, 0.6\n"
                               "shiftCoverage = 0.2\n"
                               "instancesPerCell = 2\n"
                               "firstFile = 5\n";

Design smallDesign()
{
    const DesignRead read = readDesign(SmallDesign);
    return *read.design;
}

// Every file of the folder but the log, by name.
QMap<QString, QByteArray> filesOf(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        if (name != QLatin1String("output.log"))
            files.insert(name, readAll(QDir(folder).filePath(name)));
    return files;
}

// Runs `make` into `folder`, then moves the result aside and returns it, so
// that a second run into the same folder name writes its files afresh
// rather than keeping the first run's.
QMap<QString, QByteArray> madeAside(const QString &folder, const std::function<void()> &make)
{
    make();
    const QMap<QString, QByteArray> files = filesOf(folder);
    QDir(folder).removeRecursively();
    return files;
}

} // namespace

class TestDesign : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each refusal names the line and the value at fault.
    void refused_data()
    {
        QTest::addColumn<QByteArray>("find");
        QTest::addColumn<QByteArray>("replace");
        QTest::addColumn<QString>("names");
        QTest::newRow("unknown key")
            << QByteArray("days = 7") << QByteArray("dayz = 7") << "line 3: unknown key \"dayz\"";
        QTest::newRow("repeated key")
            << QByteArray("shifts = 3\n") << QByteArray("shifts = 3\nshifts = 4\n")
            << "line 5: \"shifts\" repeated (first on line 4)";
        QTest::newRow("missing key")
            << QByteArray("shiftCoverage = 0.2\n") << QByteArray() << "no \"shiftCoverage\" line";
        QTest::newRow("instancesPerCell missing") << QByteArray("instancesPerCell = 2\n")
                                                  << QByteArray() << "no \"instancesPerCell\" line";
        QTest::newRow("empty list")
            << QByteArray("days = 7") << QByteArray("days =") << "line 3: \"days\" has no value";
        QTest::newRow("empty value") << QByteArray("10, 12") << QByteArray("10, , 12")
                                     << "line 2: \"nurses\" has an empty value";
        QTest::newRow("repeated level") << QByteArray("10, 12") << QByteArray("10, 12, 10")
                                        << "line 2: nurses \"10\" is repeated";
        QTest::newRow("repeated fraction") << QByteArray("0.3, 0.6") << QByteArray("0.30, 0.3")
                                           << "line 10: dayCoverage \"0.3\" is repeated";
        QTest::newRow("not key = value")
            << QByteArray("days = 7") << QByteArray("days 7") << "line 3: \"days 7\"";
        QTest::newRow("indicator over 1") << QByteArray("0.3, 0.6") << QByteArray("0.3, 1.5")
                                          << "line 10: dayCoverage \"1.5\" is outside 0 to 1";
        QTest::newRow("decimal comma") << QByteArray("= 0.4") << QByteArray("= 0,4")
                                       << "line 6: periodPreference \"4\" is outside 0 to 1";
        QTest::newRow("nurses 0") << QByteArray("10, 12") << QByteArray("10, 0")
                                  << "line 2: nurses \"0\" is not a whole number of at least 1";
        QTest::newRow("fraction of days") << QByteArray("days = 7") << QByteArray("days = 7.5")
                                          << "line 3: days \"7.5\" is not a whole number";
        QTest::newRow("free shift maybe") << QByteArray("yes, no") << QByteArray("yes, maybe")
                                          << "line 5: freeShift \"maybe\" is neither yes nor no";
        QTest::newRow("no working shift") << QByteArray("shifts = 3") << QByteArray("shifts = 1, 3")
                                          << "line 4: shifts \"1\" with the free shift counted";
        QTest::newRow("two seeds") << QByteArray("firstFile = 5") << QByteArray("seed = 1, 2")
                                   << "line 13: \"seed\" takes one value";
        QTest::newRow("seed beyond 2^53")
            << QByteArray("firstFile = 5") << QByteArray("seed = 9007199254740993")
            << "line 13: seed \"9007199254740993\" is beyond";
        QTest::newRow("instance too large")
            << QByteArray("days = 7") << QByteArray("days = 7, 2000000")
            << "line 2: nurses, days and shifts: the largest instance has 96000000";
        QTest::newRow("too many files")
            << QByteArray("instancesPerCell = 2") << QByteArray("instancesPerCell = 200000")
            << "line 12: instancesPerCell 200000 makes 1600000 files";
        QTest::newRow("slack of 1") << QByteArray("firstFile = 5") << QByteArray("slack = 0, 1")
                                    << "line 13: slack \"1\" is not from 0 up to 1";
        QTest::newRow("rules twice")
            << QByteArray("firstFile = 5") << QByteArray("rules = week, rotation, week")
            << "line 13: rules \"week\" is repeated";
        QTest::newRow("numbers beyond the limit")
            << QByteArray("firstFile = 5") << QByteArray("firstFile = 999999999999999")
            << "line 13: firstFile 999999999999999 numbers the last of 16 files";
    }
    void refused()
    {
        QFETCH(QByteArray, find);
        QFETCH(QByteArray, replace);
        QFETCH(QString, names);
        QByteArray text = SmallDesign;
        QVERIFY(text.contains(find));
        text.replace(text.indexOf(find), find.size(), replace);
        const DesignRead read = readDesign(text);
        QVERIFY(!read.design);
        QVERIFY2(read.error.startsWith(names) || read.error.contains(names),
                 qPrintable(read.error));
    }

    // Refused through the program: exit 2, the reason on standard error,
    // nothing written, not even the folder.
    void program_refusedDesign_writesNothing_data()
    {
        QTest::addColumn<QByteArray>("find");
        QTest::addColumn<QByteArray>("replace");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("names");
        QTest::newRow("unknown key") << QByteArray("days = 7") << QByteArray("dayz = 7")
                                     << QStringList() << QByteArray("line 3: unknown key \"dayz\"");
        QTest::newRow("rules no nurse keeps")
            << QByteArray("firstFile = 5") << QByteArray("rules = fourweeks\nslack = 0")
            << QStringList()
            << QByteArray("rules fourweeks over 7 days: a nurse must work 16 shifts, and over 7 "
                          "days the rules let her work at most 6");
        QTest::newRow("rules file missing")
            << QByteArray("firstFile = 5") << QByteArray("rules = mine.dzn") << QStringList()
            << QByteArray("rules: ");
        QTest::newRow("--rules beside the design's")
            << QByteArray("firstFile = 5") << QByteArray("slack = 0")
            << QStringList{"--rules", "week"}
            << QByteArray("--rules does not go with a design that has rules or slack");
    }
    void program_refusedDesign_writesNothing()
    {
        QFETCH(QByteArray, find);
        QFETCH(QByteArray, replace);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, names);
        QTemporaryDir dir;
        const QString design = dir.filePath(QStringLiteral("design.txt"));
        QFile file(design);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(SmallDesign).replace(find, replace));
        file.close();
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(generatorPath(),
                      QStringList{QStringLiteral("--design"), design, QStringLiteral("--out"),
                                  dir.filePath(QStringLiteral("out"))} +
                          options);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 2);
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(err.contains(names), err.constData());
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{QStringLiteral("design.txt")});
    }

    // The last key varies fastest; a cell's files follow the cell before.
    void cells_orderAndNumbering()
    {
        const Design design = smallDesign();
        QCOMPARE(design.cellCount(), 8);
        const BatchInput first = design.cell(1, QStringLiteral("out"));
        const BatchInput second = design.cell(2, QStringLiteral("out"));
        const BatchInput third = design.cell(3, QStringLiteral("out"));
        const BatchInput last = design.cell(8, QStringLiteral("out"));
        QCOMPARE(first.nurses, 10);
        QVERIFY(first.freeCounted);
        QCOMPARE(first.targets[DayCoverage], 0.3);
        QCOMPARE(second.targets[DayCoverage], 0.6);
        QVERIFY(second.freeCounted);
        QVERIFY(!third.freeCounted);
        QCOMPARE(third.targets[DayCoverage], 0.3);
        QCOMPARE(last.nurses, 12);
        QVERIFY(!last.freeCounted);
        QCOMPARE(last.targets[DayCoverage], 0.6);
        QCOMPARE(first.firstFile, 5);
        QCOMPARE(second.firstFile, 7);
        QCOMPARE(last.firstFile, 19);
        QCOMPARE(last.files, 2);
        QCOMPARE(shardCells(8, 3, 3), (QList<qint64>{3, 6}));
    }

    // A design's cell is byte for byte the batch of the same inputs and file
    // numbers, whatever the number of threads; the log lists files in order.
    // Planted cells, with their witnesses and rules, too.
    void cell_isItsBatch_anyJobs_data()
    {
        QTest::addColumn<QByteArray>("planted"); // design lines added
        QTest::addColumn<int>("instances");
        QTest::addColumn<int>("files"); // in the folder besides the log
        QTest::newRow("plain") << QByteArray() << 16 << 16 + 2;
        QTest::newRow("rules and slack")
            << QByteArray("rules = week, rotation\nslack = 0.05\n") << 32 << 32 * 2 + 2 + 2;
    }
    void cell_isItsBatch_anyJobs()
    {
        QFETCH(QByteArray, planted);
        QFETCH(int, instances);
        QFETCH(int, files);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        const Design design = *readDesign(SmallDesign + planted).design;
        QString why;
        DesignRun run;
        run.rules = *designRules(design, QString(), why);
        RunOptions one;
        RunOptions two;
        two.jobs = 2;
        const auto single =
            madeAside(out, [&] { runDesign(design, out, run, dir.path(), nullptr, one); });
        QCOMPARE(single.size(), files);
        QVERIFY(single.contains(QStringLiteral("design.svg")));

        if (planted.isEmpty()) {
            const auto batch = madeAside(out, [&] { runBatch(design.cell(6, out), dir.path()); });
            for (const QString &name :
                 {QStringLiteral("instance_15.txt"), QStringLiteral("instance_16.txt")})
                QCOMPARE(batch.value(name), single.value(name));
        }

        const BatchReport report = runDesign(design, out, run, dir.path(), nullptr, two);
        QCOMPARE(report.written, instances);
        QCOMPARE(filesOf(out), single);
        const QString log =
            QString::fromUtf8(readAll(QDir(out).filePath(QStringLiteral("output.log"))));
        const QRegularExpression fileLine(QStringLiteral("^\\[[^]]+\\] instance_(\\d+)\\.txt seed"),
                                          QRegularExpression::MultilineOption);
        QList<int> order;
        for (auto it = fileLine.globalMatch(log); it.hasNext();)
            order.append(it.next().captured(1).toInt());
        QCOMPARE(order.size(), instances);
        QVERIFY(std::is_sorted(order.begin(), order.end()));
    }

    // Once a file finds the disk full, no file made beside it gets a name:
    // every named file is one the log and the manifest list.
    void fullDisk_namesNothingAfterTheStop()
    {
        Design design = smallDesign();
        design.nurses = {40, 3};
        design.freeShift = {true};
        design.targets[4] = {0.3};
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        const auto sizes = madeAside(out, [&] { runDesign(design, out, {}, dir.path()); });
        // The first large file fits, the second does not, the small ones would.
        faults::setSpaceLeft(out, sizes.value(QStringLiteral("instance_5.txt")).size() +
                                      sizes.value(QStringLiteral("instance_7.txt")).size() +
                                      sizes.value(QStringLiteral("instance_8.txt")).size());
        const BatchReport report =
            runDesign(design, out, {}, dir.path(), nullptr, RunOptions{1, nullptr, TextFormat, {}});
        faults::setSpaceLeft(out, -1);
        QCOMPARE(report.written, 1);
        QCOMPARE(report.failed, 1);
        QCOMPARE(QDir(out).entryList({QStringLiteral("instance_*")}),
                 QStringList{QStringLiteral("instance_5.txt")});
    }

    // Shards into one folder, joined, give what one unsplit run gives.
    void shards_joinedAsUnsplit_data()
    {
        QTest::addColumn<QByteArray>("planted");
        QTest::newRow("plain") << QByteArray();
        QTest::newRow("rules and slack") << QByteArray("rules = week\nslack = 0, 0.1\n");
    }
    void shards_joinedAsUnsplit()
    {
        QFETCH(QByteArray, planted);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        const Design design = *readDesign(SmallDesign + planted).design;
        QString why;
        const QList<RulesChoice> rules = *designRules(design, QString(), why);
        const auto whole = madeAside(out, [&] {
            runDesign(design, out, {QString(), 1, 1, rules}, dir.path());
        });
        for (int shard = 1; shard <= 3; ++shard)
            runDesign(design, out, {QString(), shard, 3, rules}, dir.path());
        QString printed;
        QTextStream stream(&printed);
        QCOMPARE(mergeShards({out}, stream, stream), 0);
        QMap<QString, QByteArray> joined = filesOf(out);
        for (const QString &name : joined.keys())
            if (name.contains(QLatin1String(".shard-")))
                joined.remove(name);
        QCOMPARE(joined.keys(), whole.keys());
        for (const QString &name : joined.keys())
            QVERIFY2(joined.value(name) == whole.value(name), qPrintable(name));
    }

    // A merge joins only what it can prove: one design, every shard once,
    // every row as its file says, every cell whole.  A shard's manifest of
    // an interrupted run gives way to its rerun's.
    void merge_provesWhatItJoins_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("shard of another design")
            << "another design" << 2 << "is of another design or split than";
        QTest::newRow("shard missing") << "remove shard 3" << 2 << "shard 3 of 3 has no manifest";
        QTest::newRow("row deleted") << "delete a row" << 2 << "cell 1 has 1 of its 2 files";
        QTest::newRow("value edited") << "edit a value" << 2 << "does not agree with the file";
        QTest::newRow("file gone") << "remove a file" << 2 << "lists instance_5.txt, which is not";
        QTest::newRow("interrupted, then rerun") << "rerun shard 1" << 0 << "16 files of 3 shards";
    }
    void merge_provesWhatItJoins()
    {
        QFETCH(QString, change);
        QFETCH(int, status);
        QFETCH(QString, mentions);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        const QString other = dir.filePath(QStringLiteral("other"));
        const Design design = smallDesign();
        for (int shard = 1; shard <= 3; ++shard)
            runDesign(design, out, {QString(), shard, 3, {}}, dir.path());
        const QString first = QDir(out).filePath(QStringLiteral("manifest.shard-1-of-3.csv"));
        QByteArray rows = readAll(first);
        QFile manifest(first);
        if (change == QLatin1String("another design")) {
            Design reseeded = design;
            reseeded.seed = 7;
            runDesign(reseeded, other, {QString(), 3, 3, {}}, dir.path());
            QFile::remove(QDir(out).filePath(QStringLiteral("manifest.shard-3-of-3.csv")));
        } else if (change == QLatin1String("remove shard 3")) {
            QFile::remove(QDir(out).filePath(QStringLiteral("manifest.shard-3-of-3.csv")));
        } else if (change == QLatin1String("remove a file")) {
            QFile::remove(QDir(out).filePath(QStringLiteral("instance_5.txt")));
        } else {
            // The rows of cell 1 (files 5 and 6) come first.
            if (change == QLatin1String("edit a value"))
                rows.replace(rows.indexOf(",0.3,") + 1, 3, "0.4");
            else
                rows.remove(rows.indexOf("instance_6.txt"),
                            rows.indexOf('\n', rows.indexOf("instance_6.txt")) + 1 -
                                rows.indexOf("instance_6.txt"));
            QVERIFY(manifest.setPermissions(manifest.permissions() | QFileDevice::WriteOwner));
            QVERIFY(manifest.open(QIODevice::WriteOnly | QIODevice::Truncate));
            manifest.write(rows);
            manifest.close();
            if (change == QLatin1String("rerun shard 1"))
                runDesign(design, out, {QString(), 1, 3, {}}, dir.path());
        }
        QString printed;
        QTextStream stream(&printed);
        QCOMPARE(mergeShards({out, other}, stream, stream), status);
        QVERIFY2(printed.contains(mentions), qPrintable(printed));
        QCOMPARE(QFileInfo::exists(QDir(out).filePath(QStringLiteral("manifest.csv"))),
                 status == 0);
        if (status != 0)
            QVERIFY2(printed.contains(QStringLiteral("rerun shard")) ||
                         change == QLatin1String("another design"),
                     qPrintable(printed));
    }

    // A manifest row says what --measure says of its file; the figure is
    // XML with one mark per file in each of the six panels.
    void manifestAndFigure_matchFiles()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        QVERIFY(runDesign(smallDesign(), out, {}, dir.path()).allWritten());
        const ManifestRead manifest =
            readManifest(readAll(QDir(out).filePath(QStringLiteral("manifest.csv"))));
        QVERIFY2(manifest.rows, qPrintable(manifest.error));
        QCOMPARE(manifest.rows->size(), 16);
        const ManifestRow &row = manifest.rows->at(13);
        QCOMPARE(row.fileNumber, 18);
        QCOMPARE(row.cell, 7);
        QProcess process;
        process.start(generatorPath(), {QStringLiteral("--measure"),
                                        QDir(out).filePath(QStringLiteral("instance_18.txt"))});
        QVERIFY(process.waitForFinished(30000));
        const QList<QByteArray> measured = process.readAllStandardOutput().trimmed().split(' ');
        const QList<QByteArray> fields = row.line.split(',');
        for (int k = 0; k < IndicatorCount; ++k) {
            QCOMPARE(measured.at(1 + 2 * k), QByteArray(IndicatorNames[k]));
            QCOMPARE(fields.at(7 + IndicatorCount + k), measured.at(2 + 2 * k));
        }
        QCOMPARE(measured.at(1 + 2 * IndicatorCount), QByteArray("lowerBound"));
        QCOMPARE(fields.last(), measured.at(2 + 2 * IndicatorCount));

        QFile figure(QDir(out).filePath(QStringLiteral("design.svg")));
        QVERIFY(figure.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&figure);
        QMap<QString, int> marks;
        QString panel;
        int depthInMarks = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                const QString kind = xml.attributes().value(QLatin1String("class")).toString();
                if (kind == QLatin1String("panel"))
                    panel = xml.attributes().value(QLatin1String("id")).toString();
                else if (kind.startsWith(QLatin1String("marks ")))
                    depthInMarks = 1;
                else if (depthInMarks > 0)
                    ++marks[panel];
            }
            if (xml.isEndElement() && xml.name() == QLatin1String("g"))
                depthInMarks = 0;
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(marks.size(), IndicatorCount);
        for (int count : std::as_const(marks))
            QCOMPARE(count, 16);
    }
};

QTEST_GUILESS_MAIN(TestDesign)
#include "tst_design.moc"

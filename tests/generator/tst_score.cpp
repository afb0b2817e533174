#include "generator/input/design.h"
#include "generator/run/batch.h"
#include "generator/tables/score.h"
#include "tests/support/files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace keldar::generator;

namespace {

using keldar::test::readAll;
using keldar::test::writeFile;

// Two planted instances under week: their witnesses are the reference.
const QByteArray Planted = "nurses = 6\ndays = 7\nshifts = 3\nfreeShift = no\n"
                           "periodPreference = 0.5\ndayPreference = 0.5\nshiftPreference = 0.5\n"
                           "totalCoverage = 0.5\ndayCoverage = 0.3\nshiftCoverage = 0.3\n"
                           "rules = week\nslack = 0.1\ninstancesPerCell = 2\n";

} // namespace

class TestScore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each roster gets its row, whatever is wrong with it; a roster cheaper
    // than a proven bound is a fault, reported and in the row as it is.
    void score_data()
    {
        QTest::addColumn<QByteArray>("roster"); // of instance_1: "witness", "" for none, or text
        QTest::addColumn<QByteArray>("ledger"); // solutions.csv, when one
        QTest::addColumn<QByteArray>("feasible");
        QTest::addColumn<QByteArray>("gap");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("says");
        QTest::newRow("the witness") << QByteArray("witness") << QByteArray() << QByteArray("yes")
                                     << QByteArray("0.000000") << 0 << QByteArray();
        QTest::newRow("breaks the rules")
            << QByteArray("0 0 0 0 0 0 0\n0 0 0 0 0 0 0\n0 0 0 0 0 0 0\n0 0 0 0 0 0 0\n"
                          "0 0 0 0 0 0 0\n0 0 0 0 0 0 0\n")
            << QByteArray() << QByteArray("no") << QByteArray() << 1
            << QByteArray("breaks the rules");
        QTest::newRow("missing") << QByteArray() << QByteArray() << QByteArray("missing")
                                 << QByteArray() << 1 << QByteArray("no such roster");
        QTest::newRow("one nurse short")
            << QByteArray("3 3 3 3 3 3 3\n") << QByteArray() << QByteArray("refused")
            << QByteArray() << 1 << QByteArray("expected 6");
        QTest::newRow("better than a proven optimum")
            << QByteArray("witness")
            << QByteArray("file,rules,status,cost,bound,gap,seconds,roster\r\n"
                          "instance_1.txt,week,optimal,9999,9999,0.000000,1.000,\r\n")
            << QByteArray("yes") << QByteArray() << 1 << QByteArray("below the proven bound 9999");
    }
    void score()
    {
        QFETCH(QByteArray, roster);
        QFETCH(QByteArray, ledger);
        QFETCH(QByteArray, feasible);
        QFETCH(QByteArray, gap);
        QFETCH(int, status);
        QFETCH(QByteArray, says);
        QTemporaryDir dir;
        const Design design = *readDesign(Planted).design;
        QString why;
        DesignRun run;
        run.rules = *designRules(design, QString(), why);
        QVERIFY(runDesign(design, dir.path(), run, dir.path()).allWritten());
        const QDir folder(dir.path());
        if (roster == "witness")
            roster = readAll(folder.filePath(QStringLiteral("instance_1.week.witness")));
        if (!roster.isEmpty())
            QVERIFY(
                writeFile(folder.filePath(QStringLiteral("instance_1.week.mine.roster")), roster));
        QVERIFY(QFile::copy(folder.filePath(QStringLiteral("instance_2.week.witness")),
                            folder.filePath(QStringLiteral("instance_2.week.mine.roster"))));
        if (!ledger.isEmpty())
            QVERIFY(writeFile(folder.filePath(QStringLiteral("solutions.csv")), ledger));
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        QCOMPARE(scoreFolder(dir.path(), QStringLiteral("mine"), {}, false, outStream, errStream),
                 status);
        QVERIFY2(err.contains(QString::fromUtf8(says)), qPrintable(err));
        const QList<QByteArray> rows =
            readAll(folder.filePath(QLatin1String(ScoresName))).split('\n');
        QCOMPARE(rows.size(), 4); // header, two rows, the last line end
        const QList<QByteArray> first = rows.at(1).trimmed().split(',');
        QCOMPARE(first.at(3), feasible);
        if (!gap.isEmpty())
            QCOMPARE(first.at(6), gap);
        QVERIFY(rows.at(2).startsWith("instance_2.txt,week,mine,yes,"));
        // Scored again, nothing is replaced and nothing added.
        const QByteArray table = readAll(folder.filePath(QLatin1String(ScoresName)));
        scoreFolder(dir.path(), QStringLiteral("mine"), {}, false, outStream, errStream);
        QCOMPARE(readAll(folder.filePath(QLatin1String(ScoresName))), table);
        QVERIFY(out.contains(QStringLiteral("passed over")));
        QVERIFY(QFile::exists(folder.filePath(QLatin1String(ProfileName))));
    }

    // The share of instances within each gap; no roster is never within.
    void profile()
    {
        const Profile profile =
            performanceProfile({QStringLiteral("a"), QStringLiteral("b")},
                               {{0.0, 0.1, std::nullopt}, {0.05, 0.05, 0.2}}, {0, 0.05, 0.1, 0.2});
        QCOMPARE(profile.shares.at(0), (std::vector<double>{1 / 3.0, 1 / 3.0, 2 / 3.0, 2 / 3.0}));
        QCOMPARE(profile.shares.at(1), (std::vector<double>{0, 2 / 3.0, 2 / 3.0, 1}));
    }
};

QTEST_GUILESS_MAIN(TestScore)
#include "tst_score.moc"

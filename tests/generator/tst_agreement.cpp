#include "generator/files/exportformats.h"
#include "generator/instance/generate.h"
#include "generator/solve/lowerbound.h"
#include "generator/solve/mipsolve.h"
#include "generator/solve/roster.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace keldar::generator;

namespace {

BatchInput batch(int nurses, int days, int shifts, bool freeCounted, double coverage)
{
    BatchInput in;
    in.nurses = nurses;
    in.days = days;
    in.shifts = shifts;
    in.freeCounted = freeCounted;
    in.targets = {0.4, 0.5, 0.3, coverage, 0.3, 0.2};
    return in;
}

QString modelDir()
{
    return QStringLiteral(KELDAR_MODEL_DIR);
}

struct Solved {
    ParsedRoster roster; // the last roster printed
    bool optimal = false;
    QByteArray output;
};

// Runs the reference model on the instance's .dzn, with a rules file or none.
void solve(const Instance &in, const LowerBound &bound, const QString &rules, int seconds,
           Solved &solved)
{
    QTemporaryDir dir;
    QFile dzn(dir.filePath(QStringLiteral("instance.dzn")));
    QVERIFY(dzn.open(QIODevice::WriteOnly) &&
            dzn.write(instanceDzn(in, {measure(in), bound.cost, {}})) > 0 && dzn.flush());
    QStringList args{QStringLiteral("--solver"),
                     QStringLiteral("gecode"),
                     QStringLiteral("--time-limit"),
                     QString::number(seconds * 1000),
                     modelDir() + QStringLiteral("/roster.mzn"),
                     dzn.fileName()};
    if (!rules.isEmpty())
        args << modelDir() + QStringLiteral("/rules/") + rules;
    QProcess minizinc;
    minizinc.start(qEnvironmentVariable("MINIZINC", QStringLiteral("minizinc")), args);
    minizinc.waitForFinished(seconds * 1000 + 60000);
    solved.output = minizinc.readAllStandardOutput();
    QByteArray roster;
    QByteArray current;
    for (const QByteArray &line : solved.output.split('\n')) {
        if (line == "----------") {
            roster = current;
            current.clear();
        } else if (line == "==========") {
            solved.optimal = true;
        } else if (!line.isEmpty()) {
            current += line + '\n';
        }
    }
    solved.roster = parseRoster(roster, in);
    QVERIFY2(solved.roster.error.isEmpty(), solved.output.constData());
}

} // namespace

class TestAgreement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Without rules the model's optimum is the bound; the rule-free roster
    // it finds passes the check at exactly that cost.
    void ruleFree_optimumIsTheBound_data()
    {
        QTest::addColumn<int>("nurses");
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("shifts");
        QTest::addColumn<bool>("freeCounted");
        QTest::addColumn<double>("coverage");
        int row = 0;
        for (int w = 1; w <= 4; ++w)
            for (const bool freeCounted : {false, true})
                for (const int nurses : {3, 4, 5}) {
                    if (freeCounted && w == 4 && nurses == 5)
                        continue;
                    const int days = 3 + row % 4;
                    QTest::addRow("W %d, %s, %d x %d", w,
                                  freeCounted ? "free counted" : "free added", nurses, days)
                        << nurses << days << (freeCounted ? w + 1 : w) << freeCounted
                        << (row % 2 == 0 ? 0.4 : 0.6);
                    ++row;
                }
    }
    void ruleFree_optimumIsTheBound()
    {
        QFETCH(int, nurses);
        QFETCH(int, days);
        QFETCH(int, shifts);
        QFETCH(bool, freeCounted);
        QFETCH(double, coverage);
        const Instance in =
            generate(batch(nurses, days, shifts, freeCounted, coverage), std::uint64_t(days * 31));
        const LowerBound bound = lowerBound(in);
        QVERIFY(bound.cost);
        Solved solved;
        solve(in, bound, {}, 30, solved);
        if (QTest::currentTestFailed())
            return;
        const RosterCheck check = checkRoster(in, solved.roster.roster);
        QVERIFY(check.feasible());
        QCOMPARE(check.cost, *bound.cost);
        QVERIFY2(solved.optimal, solved.output.constData());
    }

    // Under each rule set the model's rosters cost at least the bound and
    // pass the same rules as --check-roster reads them.
    void rules_boundHoldsAndRosterPasses_data()
    {
        QTest::addColumn<int>("nurses");
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("shifts");
        QTest::addColumn<QString>("rules");
        QTest::newRow("week, W 2") << 3 << 7 << 3 << "week.dzn";
        QTest::newRow("rotation, 7 days") << 4 << 7 << 3 << "rotation.dzn";
        QTest::newRow("four weeks") << 3 << 28 << 2 << "fourweeks.dzn";
        QTest::newRow("rotation, 28 days") << 3 << 28 << 2 << "rotation.dzn";
    }
    void rules_boundHoldsAndRosterPasses()
    {
        QFETCH(int, nurses);
        QFETCH(int, days);
        QFETCH(int, shifts);
        QFETCH(QString, rules);
        const Instance in = generate(batch(nurses, days, shifts, true, 0.3), 5);
        const LowerBound bound = lowerBound(in);
        QFile rulesFile(modelDir() + QStringLiteral("/rules/") + rules);
        QVERIFY(rulesFile.open(QIODevice::ReadOnly));
        const ParsedRules parsedRules = parseRules(rulesFile.readAll());
        QVERIFY2(parsedRules.rules, qPrintable(parsedRules.error));

        Solved solved;
        solve(in, bound, rules, 5, solved);
        if (QTest::currentTestFailed())
            return;
        const RosterCheck check = checkRoster(in, solved.roster.roster, *parsedRules.rules);
        for (const Violation &v : check.violations)
            qWarning("%s", qPrintable(v.text));
        QVERIFY(check.feasible());
        QVERIFY(check.cost >= *bound.cost);
        // The mixed-integer model states the same problem: its optimum is
        // the one Gecode proves, and never above what Gecode found.
        const SolveOutcome cbc = solveInstance(in, *parsedRules.rules, 30);
        QCOMPARE(cbc.status, SolveOutcome::Optimal);
        QVERIFY(*cbc.cost <= check.cost);
        if (solved.optimal)
            QCOMPARE(*cbc.cost, check.cost);
    }
};

QTEST_GUILESS_MAIN(TestAgreement)
#include "tst_agreement.moc"

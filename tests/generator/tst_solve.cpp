#include "generator/instance/generate.h"
#include "generator/instance/random.h"
#include "generator/solve/lowerbound.h"
#include "generator/solve/mipsolve.h"
#include "generator/solve/planting.h"
#include "generator/solve/roster.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <map>

using namespace keldar::generator;

Q_DECLARE_METATYPE(SolveOutcome::Status)
Q_DECLARE_METATYPE(Rules)

namespace {

// Every rule; 302 and 3 name shift 3, which no instance here has as a
// working shift, so they never apply.
Rules everyRule()
{
    Rules rules;
    rules.minWorkingShifts = 2;
    rules.maxWorkingShifts = 3;
    rules.maxConsecutiveWorkingDays = 2;
    rules.minConsecutiveFreeDays = 2;
    rules.forbiddenSuccessions = {100, 200, 201, 302, 3};
    return rules;
}

// The courses of shifts one nurse may take under the rules, as
// checkRoster judges them for a nurse alone.
std::vector<std::vector<int>> courses(const Instance &in, const Rules &rules)
{
    const Instance alone = Instance::blank(1, in.days, in.workingShifts, in.freeCounted);
    std::vector<std::vector<int>> all;
    std::vector<int> course(std::size_t(in.days), 0);
    for (;;) {
        if (checkRoster(alone, course, rules).feasible())
            all.push_back(course);
        int d = 0;
        while (d < in.days && ++course[std::size_t(d)] > in.workingShifts)
            course[std::size_t(d++)] = 0;
        if (d == in.days)
            return all;
    }
}

// The least cost over every roster, nurse by nurse: the cheapest way to
// reach each count of nurses per day and shift (counted up to the
// requirement).  None when no roster covers every shift.
std::optional<std::int64_t> bruteForce(const Instance &in, const Rules &rules)
{
    const auto all = courses(in, rules);
    std::map<std::vector<int>, std::int64_t> cheapest{{std::vector<int>(in.coverage.size()), 0}};
    for (int n = 0; n < in.nurses; ++n) {
        std::map<std::vector<int>, std::int64_t> next;
        for (const auto &[counts, cost] : cheapest)
            for (const std::vector<int> &course : all) {
                std::vector<int> reached = counts;
                std::int64_t total = cost;
                for (int d = 0; d < in.days; ++d) {
                    const int t = course[std::size_t(d)];
                    total += in.cost(n, d, t);
                    if (t < in.workingShifts)
                        reached[gridIndex(d, in.workingShifts, t)] = std::min(
                            reached[gridIndex(d, in.workingShifts, t)] + 1, in.cover(d, t));
                }
                const auto [it, added] = next.try_emplace(reached, total);
                if (!added)
                    it->second = std::min(it->second, total);
            }
        cheapest.swap(next);
    }
    const auto covered = cheapest.find(in.coverage);
    return covered == cheapest.end() ? std::nullopt : std::optional<std::int64_t>(covered->second);
}

BatchInput tinyInput(int nurses, int days, int shifts, bool freeCounted, double coverage)
{
    BatchInput input;
    input.nurses = nurses;
    input.days = days;
    input.shifts = freeCounted ? shifts + 1 : shifts;
    input.freeCounted = freeCounted;
    input.targets = {0.4, 0.5, 0.3, coverage, 0.3, 0.2};
    return input;
}

Instance tinyInstance(int nurses, int days, int shifts, bool freeCounted, double coverage,
                      std::uint64_t seed)
{
    return generate(tinyInput(nurses, days, shifts, freeCounted, coverage), seed);
}

Rules ruleSet(const QString &name)
{
    QFile file(QStringLiteral(KELDAR_MODEL_DIR "/rules/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseRules(file.readAll()).rules.value_or(Rules{});
}

// As keldar-bench-solve makes them.
Instance benchInstance(int nurses, int shifts, double totalCoverage, double dayCoverage, int seed)
{
    BatchInput input;
    input.nurses = nurses;
    input.days = 28;
    input.shifts = shifts;
    input.targets = {0.5, 0.3, 0.7, totalCoverage, dayCoverage, 0.2};
    return generate(input, fileSeed(100, seed));
}

} // namespace

class TestSolve : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // CBC's verdict is the exhaustive one: the same least cost, or no
    // roster at all; the roster it returns passes the check at that cost.
    // An instance built around a planted roster (a slack of 0 or more) has
    // one: its witness keeps the rules, and the optimum is no dearer.
    void matchesBruteForce_data()
    {
        QTest::addColumn<double>("slack"); // below 0: not planted
        QTest::addColumn<int>("nurses");
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("shifts");
        QTest::addColumn<bool>("freeCounted");
        QTest::addColumn<double>("coverage");
        QTest::addColumn<int>("seed");
        QTest::addColumn<Rules>("rules");
        int row = 0;
        for (const bool every : {false, true})
            for (int w = 1; w <= 3; ++w)
                for (const bool freeCounted : {false, true})
                    for (const double coverage : {0.3, 0.45, 0.6}) {
                        const int nurses = 1 + (row + w) % 3;
                        const int days = 3 + row % 3;
                        QTest::addRow("%s, W %d, %s, %d x %d, coverage %.2f",
                                      every ? "every rule" : "no rules", w,
                                      freeCounted ? "free counted" : "free added", nurses, days,
                                      coverage)
                            << -1.0 << nurses << days << w << freeCounted << coverage
                            << nurses * 100 + days * 10 + w << (every ? everyRule() : Rules{});
                        ++row;
                    }
        // Two working days each with free periods of 2 leave only days 1-2
        // or 2-3, which the crew model (counting working days in total) and
        // the relaxation miss: CBC's search proves it.
        Rules twoEach;
        twoEach.minWorkingShifts = twoEach.maxWorkingShifts = 2;
        twoEach.minConsecutiveFreeDays = 2;
        QTest::newRow("two working days each, 3 x 3, none covers")
            << -1.0 << 3 << 3 << 1 << false << 0.5 << 127 << twoEach;
        for (const double slack : {0.0, 0.2})
            for (const char *name : {"none", "every rule", "week.dzn", "rotation.dzn"}) {
                const bool file = QByteArray(name).endsWith(".dzn");
                const Rules rules = file                         ? ruleSet(QLatin1String(name))
                                    : QByteArray(name) == "none" ? Rules{}
                                                                 : everyRule();
                const int days = file ? 7 : 5;
                QTest::addRow("planted under %s, slack %.1f", name, slack)
                    << slack << 3 << days << 2 << false << 0.55 << days * 7 + int(slack * 10)
                    << rules;
            }
    }
    void matchesBruteForce()
    {
        QFETCH(double, slack);
        QFETCH(int, nurses);
        QFETCH(int, days);
        QFETCH(int, shifts);
        QFETCH(bool, freeCounted);
        QFETCH(double, coverage);
        QFETCH(int, seed);
        QFETCH(Rules, rules);
        Instance in =
            tinyInstance(nurses, days, shifts, freeCounted, coverage, std::uint64_t(seed));
        std::optional<std::int64_t> witness;
        if (slack >= 0) {
            const PlantedInstance made =
                generatePlanted(tinyInput(nurses, days, shifts, freeCounted, coverage),
                                std::uint64_t(seed), rules, slack);
            in = made.instance;
            const RosterCheck check = checkRoster(in, made.roster, rules);
            QVERIFY(check.feasible());
            witness = check.cost;
        }
        const std::optional<std::int64_t> optimum = bruteForce(in, rules);
        if (witness) {
            QVERIFY(optimum);
            QVERIFY(*optimum <= *witness);
        }
        const SolveOutcome outcome = solveInstance(in, rules, 30);
        if (!optimum) {
            QCOMPARE(outcome.status, SolveOutcome::Infeasible);
            QVERIFY(!outcome.bound && !outcome.cost && outcome.roster.empty());
            return;
        }
        QCOMPARE(outcome.status, SolveOutcome::Optimal);
        QCOMPARE(outcome.cost, optimum);
        QCOMPARE(outcome.bound, optimum);
        const RosterCheck check = checkRoster(in, outcome.roster, rules);
        QVERIFY(check.feasible());
        QCOMPARE(check.cost, *optimum);
    }

    // However short the limit and busy the machine, no verdict beyond what
    // was proven: never "infeasible" for an instance with a roster, an
    // "optimal" only at the optimum, a bound never above it, and the run
    // ending near its limit.
    void noVerdictBeyondProof_data()
    {
        QTest::addColumn<int>("nurses");
        QTest::addColumn<int>("shifts");
        QTest::addColumn<double>("totalCoverage");
        QTest::addColumn<double>("dayCoverage");
        QTest::addColumn<quint64>("seed");
        QTest::addColumn<double>("limit");
        QTest::addColumn<int>("repeats");
        QTest::addColumn<qint64>("optimum"); // 0: has a roster; -1: has none
        // Preprocessing handed no time once called this one infeasible.
        QTest::newRow("50 x 28 x 3 at 0.1 s")
            << 50 << 3 << 0.3 << 0.1 << quint64(fileSeed(13, 13)) << 0.1 << 8 << qint64(2707);
        QTest::newRow("50 x 28 x 3 at 0.2 s")
            << 50 << 3 << 0.3 << 0.1 << quint64(fileSeed(13, 13)) << 0.2 << 3 << qint64(2707);
        QTest::newRow("50 x 28 x 3 at 0.3 s")
            << 50 << 3 << 0.3 << 0.1 << quint64(fileSeed(13, 13)) << 0.3 << 3 << qint64(2707);
        QTest::newRow("100 x 28 x 4 at 1 s")
            << 100 << 4 << 0.5 << 0.1 << quint64(fileSeed(100, 4)) << 1.0 << 1 << qint64(0);
        QTest::newRow("50 x 28 x 3 with no roster at 0.3 s")
            << 50 << 3 << 0.6 << 0.25 << quint64(fileSeed(100, 10)) << 0.3 << 2 << qint64(-1);
        // Instances of keldar-bench-solve that once took CBC minutes: days
        // needing every nurse leave free periods too short (the search
        // through nurses swapped took 16 s), and a relaxation 26 below the
        // optimum (1 above it after 120 s).  How fast they settle now is
        // the bench's to say.
        QTest::newRow("50 x 28 x 3 with no roster at 2 s")
            << 50 << 3 << 0.6 << 0.25 << quint64(fileSeed(100, 10)) << 2.0 << 1 << qint64(-1);
        QTest::newRow("100 x 28 x 4 at 10 s")
            << 100 << 4 << 0.5 << 0.1 << quint64(fileSeed(100, 4)) << 10.0 << 1 << qint64(0);
    }
    void noVerdictBeyondProof()
    {
        QFETCH(int, nurses);
        QFETCH(int, shifts);
        QFETCH(double, totalCoverage);
        QFETCH(double, dayCoverage);
        QFETCH(quint64, seed);
        QFETCH(double, limit);
        QFETCH(int, repeats);
        QFETCH(qint64, optimum);
        BatchInput input;
        input.nurses = nurses;
        input.days = 28;
        input.shifts = shifts;
        input.targets = {0.5, 0.3, 0.7, totalCoverage, dayCoverage, 0.2};
        const Instance in = generate(input, seed);
        const Rules rules = ruleSet(QStringLiteral("fourweeks.dzn"));
        for (int r = 0; r < repeats; ++r) {
            const SolveOutcome outcome = solveInstance(in, rules, limit);
            QVERIFY(outcome.status !=
                    (optimum < 0 ? SolveOutcome::Optimal : SolveOutcome::Infeasible));
            QVERIFY(optimum >= 0 || outcome.roster.empty());
            QVERIFY(outcome.bound >= lowerBound(in).cost || optimum < 0);
            if (optimum > 0) {
                QVERIFY(outcome.bound <= optimum);
                QVERIFY(outcome.status != SolveOutcome::Optimal || outcome.cost == optimum);
            }
            if (outcome.cost) {
                QVERIFY(outcome.bound <= outcome.cost);
                const RosterCheck check = checkRoster(in, outcome.roster, rules);
                QVERIFY(check.feasible());
                QCOMPARE(check.cost, *outcome.cost);
            }
            // Not the limit of some step besides; how close it keeps to its
            // own is the bench's to measure, on a machine of known load.
            QVERIFY2(outcome.seconds <= limit * 2 + 2,
                     qPrintable(QString::number(outcome.seconds)));
        }
    }

    // A stop asked for ends the solve at once, claiming nothing.
    void stopsOnRequest()
    {
        const Instance in = benchInstance(100, 4, 0.5, 0.1, 4);
        const Rules rules = ruleSet(QStringLiteral("fourweeks.dzn"));
        for (const double after : {0.0, 0.3, 1.5}) {
            QElapsedTimer clock;
            clock.start();
            const SolveOutcome outcome = solveInstance(
                in, rules, 60, [&clock, after] { return clock.elapsed() >= qint64(after * 1000); });
            if (!outcome.interrupted) // solved before the stop came
                continue;
            QCOMPARE(outcome.status, SolveOutcome::Unknown);
            QVERIFY(!outcome.cost && !outcome.bound && outcome.roster.empty());
            QVERIFY2(outcome.seconds < after + 10, qPrintable(QString::number(outcome.seconds)));
        }
    }
};

QTEST_GUILESS_MAIN(TestSolve)
#include "tst_solve.moc"

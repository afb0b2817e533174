#include "generator/instance/instance.h"

#include <QTest>

using namespace keldar::generator;

namespace {

double spreadOf(const QList<int> &values)
{
    int counts[MaxCost + 1] = {};
    std::int64_t sum = 0;
    for (int v : values) {
        ++counts[v];
        sum += v;
    }
    const auto n = static_cast<int>(values.size());
    const std::int64_t denominator = spreadDenominator(n);
    return denominator == 0 ? 0
                            : static_cast<double>(spreadNumerator(counts, sum, n)) /
                                  static_cast<double>(denominator);
}

// 2 nurses, 2 days, 1 working shift + free: small enough to work out by hand.
Instance handInstance()
{
    Instance in = Instance::blank(2, 2, 1, false);
    // nurse 0: day 0 (1, 4), day 1 (4, 1); nurse 1: day 0 (1, 1), day 1 (1, 1)
    const std::uint8_t costs[] = {1, 4, 4, 1, 1, 1, 1, 1};
    in.costs.assign(std::begin(costs), std::end(costs));
    in.coverage = {2, 0};
    return in;
}

} // namespace

class TestMeasures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void spread_data()
    {
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<double>("expected");
        QTest::newRow("n = 1") << QList<int>{4} << 0.0;
        QTest::newRow("all equal") << QList<int>{3, 3, 3} << 0.0;
        QTest::newRow("half low half high") << QList<int>{1, 4, 1, 4} << 1.0;
        QTest::newRow("odd n, floor/ceil split") << QList<int>{1, 4, 4} << 1.0;
        // mean 2.5, deviations 1.5 + 0.5 + 0.5 + 1.5 = 4, largest 2*2*2*3/4 = 6
        QTest::newRow("1 2 3 4") << QList<int>{1, 2, 3, 4} << 4.0 / 6.0;
        // mean 4/3, deviations 1/3 + 1/3 + 2/3 = 4/3, largest 2*1*2*3/3 = 4
        QTest::newRow("1 1 2") << QList<int>{1, 1, 2} << 1.0 / 3.0;
        // one high value among seven: mean 10/7, sum 6*3/7 + 18/7 = 36/7, largest 72/7
        QTest::newRow("one 4 among 1s") << QList<int>{1, 1, 1, 1, 1, 1, 4} << 0.5;
    }
    void spread()
    {
        QFETCH(QList<int>, values);
        QFETCH(double, expected);
        QCOMPARE(spreadOf(values), expected);
    }

    void concentration_data()
    {
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<int>("cap");
        QTest::addColumn<double>("expected");
        QTest::newRow("n = 1") << QList<int>{5} << 10 << 0.0;
        QTest::newRow("zero total") << QList<int>{0, 0, 0} << 10 << 0.0;
        QTest::newRow("even") << QList<int>{4, 4, 4} << 10 << 0.0;
        QTest::newRow("packed into one") << QList<int>{0, 9, 0} << 10 << 1.0;
        QTest::newRow("packed under a cap") << QList<int>{5, 5, 2, 0} << 5 << 1.0;
        // total 6, mean 2: |3-2|+|3-2|+2 = 4; packed (5,1,0): 3+1+2 = 6
        QTest::newRow("halfway under a cap") << QList<int>{3, 3, 0} << 5 << 4.0 / 6.0;
        // every element full: nothing can move, so nothing to measure
        QTest::newRow("all full") << QList<int>{3, 3} << 3 << 0.0;
        // total 3 over 2: |2-1.5| + |1-1.5| = 1; packed (3,0): 3
        QTest::newRow("odd total") << QList<int>{2, 1} << 3 << 1.0 / 3.0;
    }
    void concentration()
    {
        QFETCH(QList<int>, values);
        QFETCH(int, cap);
        QFETCH(double, expected);
        QCOMPARE(keldar::generator::concentration(values.constData(),
                                                  static_cast<int>(values.size()), cap),
                 expected);
    }

    void measure_handInstance()
    {
        const Indicators m = measure(handInstance());
        // Day lines (nurse, type): n0 t0 (1,4) = 1, n0 t1 (4,1) = 1, n1: 0, 0.
        QCOMPARE(m[PeriodPreference], 0.5);
        // Type lines (nurse, day): n0 d0 (1,4) = 1, n0 d1 (4,1) = 1, n1: 0, 0.
        QCOMPARE(m[DayPreference], 0.5);
        // Nurse lines (day, type): d0 t0 (1,1) = 0, d0 t1 (4,1) = 1, d1 t0 (4,1) = 1, d1 t1 0.
        QCOMPARE(m[ShiftPreference], 0.5);
        QCOMPARE(m[TotalCoverage], 0.5); // 2 of 2 * 2
        QCOMPARE(m[DayCoverage], 1.0);   // (2, 0) under a cap of 2
        QCOMPARE(m[ShiftCoverage], 0.0); // one working shift
    }

    void shiftCoverage_onlyDaysWithRequirement()
    {
        Instance in = Instance::blank(10, 3, 2, true);
        in.coverage = {4, 0,  // packed: 1
                       0, 0,  // no requirement: left out of the mean
                       2, 2}; // even: 0
        QCOMPARE(measure(in)[ShiftCoverage], 0.5);
        in.coverage = {0, 0, 0, 0, 0, 0};
        const Indicators empty = measure(in);
        QCOMPARE(empty[ShiftCoverage], 0.0);
        QCOMPARE(empty[DayCoverage], 0.0);
        QCOMPARE(empty[TotalCoverage], 0.0);
    }

    // The free shift is a shift type like the others for the spreads: a table
    // with W working shifts has W + 1 entries per day, the free one last.
    void freeShift_isLastShiftType_data()
    {
        QTest::addColumn<bool>("freeCounted");
        QTest::newRow("free shift counted (W = S - 1)") << true;
        QTest::newRow("free shift added (W = S)") << false;
    }
    void freeShift_isLastShiftType()
    {
        QFETCH(bool, freeCounted);
        Instance in = Instance::blank(1, 1, 2, freeCounted);
        QCOMPARE(in.shiftTypes(), 3);
        QCOMPARE(in.costs.size(), std::size_t{3});
        in.costs[in.costIndex(0, 0, 2)] = 4; // only the free shift is unwanted
        QCOMPARE(measure(in)[DayPreference], 1.0);
    }

    void singleNurseAndDay_spreadsAreZero()
    {
        Instance in = Instance::blank(1, 1, 3, false);
        in.costs = {1, 4, 2, 3};
        const Indicators m = measure(in);
        QCOMPARE(m[PeriodPreference], 0.0);
        QCOMPARE(m[ShiftPreference], 0.0);
        QVERIFY(m[DayPreference] > 0);
    }
};

QTEST_GUILESS_MAIN(TestMeasures)
#include "tst_measures.moc"

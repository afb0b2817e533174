#include "params/fieldchecks.h"

#include <QLocale>
#include <QTest>

using namespace keldar::checks;
Q_DECLARE_METATYPE(Verdict)

class TestFieldChecks : public QObject
{
    Q_OBJECT

    static void setLocale(bool comma)
    {
        QLocale::setDefault(comma ? QLocale(QLocale::German, QLocale::Germany)
                                  : QLocale(QLocale::English, QLocale::UnitedStates));
    }

private Q_SLOTS:
    void cleanup() { setLocale(false); }

    void check_data()
    {
        QTest::addColumn<bool>("count"); // a count box, or an indicator box
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<double>("stored");
        const auto ok = Verdict::Accepted;
        const auto nan = Verdict::NotNumeric;
        const auto npi = Verdict::NotPositiveInteger;
        const auto out = Verdict::OutsideUnitInterval;
        QTest::newRow("count: empty passes") << true << false << "" << ok << 0.0;
        QTest::newRow("count: two blanks are not a number") << true << false << "  " << nan << 0.0;
        QTest::newRow("count: abc") << true << false << "abc" << nan << 0.0;
        QTest::newRow("count: 12abc") << true << false << "12abc" << nan << 12.0;
        QTest::newRow("count: 2.5 not whole") << true << false << "2.5" << npi << 2.5;
        QTest::newRow("count: 0") << true << false << "0" << npi << 0.0;
        QTest::newRow("count: -3") << true << false << "-3" << npi << -3.0;
        QTest::newRow("count: 1") << true << false << "1" << ok << 1.0;
        QTest::newRow("count: 1e3") << true << false << "1e3" << ok << 1000.0;
        QTest::newRow("count: padded") << true << false << " 20 " << ok << 20.0;
        QTest::newRow("count: 1,000 digit groups stored as typed")
            << true << false << "1,000" << ok << 1000.0;
        QTest::newRow("count: comma locale 2,5 not whole") << true << true << "2,5" << npi << 2.5;
        QTest::newRow("count: comma locale 1.000 groups")
            << true << true << "1.000" << ok << 1000.0;
        QTest::newRow("count: comma locale 20") << true << true << "20" << ok << 20.0;
        QTest::newRow("indicator: empty") << false << false << "" << ok << 0.0;
        QTest::newRow("indicator: blanks") << false << false << "  " << nan << 0.0;
        QTest::newRow("indicator: abc") << false << false << "abc" << nan << 0.0;
        QTest::newRow("indicator: 0") << false << false << "0" << ok << 0.0;
        QTest::newRow("indicator: 1") << false << false << "1" << ok << 1.0;
        QTest::newRow("indicator: 0.5") << false << false << "0.5" << ok << 0.5;
        QTest::newRow("indicator: 1.0001") << false << false << "1.0001" << out << 1.0001;
        QTest::newRow("indicator: -0.1") << false << false << "-0.1" << out << -0.1;
        QTest::newRow("indicator: 1e-5") << false << false << "1e-5" << ok << 1e-5;
        QTest::newRow("indicator: comma 0,5 stored as typed")
            << false << true << "0,5" << ok << 0.5;
        QTest::newRow("indicator: comma 1,5 refused") << false << true << "1,5" << out << 1.5;
        QTest::newRow("indicator: comma 2,5 refused") << false << true << "2,5" << out << 2.5;
        QTest::newRow("indicator: comma 1") << false << true << "1" << ok << 1.0;
        QTest::newRow("indicator: point text in comma locale")
            << false << true << "0.5" << nan << 0.5;
    }
    void check()
    {
        QFETCH(bool, count);
        QFETCH(bool, comma);
        QFETCH(QString, text);
        QFETCH(Verdict, verdict);
        QFETCH(double, stored);
        setLocale(comma);
        QCOMPARE(count ? checkCount(text, false) : checkIndicator(text, false), verdict);
        if (!text.isEmpty())
            QCOMPARE(storedValue(text), stored);
    }

    void resetFlagPassesEverything_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("abc") << "abc";
        QTest::newRow("blanks") << "  ";
        QTest::newRow("x1") << "x1";
    }
    void resetFlagPassesEverything()
    {
        QFETCH(QString, text);
        QVERIFY(isNumericOrExempt(text, true));
        QVERIFY(!isNumericOrExempt(text, false));
        QCOMPARE(checkCount(text, true), Verdict::Accepted);
        QCOMPARE(checkIndicator(text, true), Verdict::Accepted);
    }

    void messages()
    {
        QCOMPARE(message(Verdict::Accepted), QString());
        QCOMPARE(message(Verdict::NotNumeric),
                 QStringLiteral("The input has to be a numeric value"));
        QCOMPARE(message(Verdict::NotPositiveInteger),
                 QStringLiteral("The input should be a positive integer value"));
        QCOMPARE(message(Verdict::OutsideUnitInterval),
                 QStringLiteral("The input number should lie between 0 and 1 (0 and 1 inclusive)"));
    }
};

QTEST_GUILESS_MAIN(TestFieldChecks)
#include "tst_fieldchecks.moc"

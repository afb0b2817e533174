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

    void count_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<double>("stored");
        const auto ok = Verdict::Accepted;
        const auto nan = Verdict::NotNumeric;
        const auto npi = Verdict::NotPositiveInteger;
        QTest::newRow("empty passes") << false << "" << ok << 0.0;
        QTest::newRow("two blanks are not a number") << false << "  " << nan << 0.0;
        QTest::newRow("abc") << false << "abc" << nan << 0.0;
        QTest::newRow("12abc") << false << "12abc" << nan << 12.0;
        QTest::newRow("2.5 not whole") << false << "2.5" << npi << 2.5;
        QTest::newRow("0") << false << "0" << npi << 0.0;
        QTest::newRow("-3") << false << "-3" << npi << -3.0;
        QTest::newRow("1") << false << "1" << ok << 1.0;
        QTest::newRow("1e3") << false << "1e3" << ok << 1000.0;
        QTest::newRow("padded") << false << " 20 " << ok << 20.0;
        QTest::newRow("1,000 digit groups stored as typed") << false << "1,000" << ok << 1000.0;
        QTest::newRow("comma locale 2,5 not whole") << true << "2,5" << npi << 2.5;
        QTest::newRow("comma locale 1.000 groups") << true << "1.000" << ok << 1000.0;
        QTest::newRow("comma locale 20") << true << "20" << ok << 20.0;
    }
    void count()
    {
        QFETCH(bool, comma);
        QFETCH(QString, text);
        QFETCH(Verdict, verdict);
        QFETCH(double, stored);
        setLocale(comma);
        QCOMPARE(checkCount(text, false), verdict);
        if (!text.isEmpty())
            QCOMPARE(storedValue(text), stored);
    }

    void indicator_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<double>("stored");
        const auto ok = Verdict::Accepted;
        const auto nan = Verdict::NotNumeric;
        const auto out = Verdict::OutsideUnitInterval;
        QTest::newRow("empty") << false << "" << ok << 0.0;
        QTest::newRow("blanks") << false << "  " << nan << 0.0;
        QTest::newRow("abc") << false << "abc" << nan << 0.0;
        QTest::newRow("0") << false << "0" << ok << 0.0;
        QTest::newRow("1") << false << "1" << ok << 1.0;
        QTest::newRow("0.5") << false << "0.5" << ok << 0.5;
        QTest::newRow("1.0001") << false << "1.0001" << out << 1.0001;
        QTest::newRow("-0.1") << false << "-0.1" << out << -0.1;
        QTest::newRow("1e-5") << false << "1e-5" << ok << 1e-5;
        QTest::newRow("comma 0,5 stored as typed") << true << "0,5" << ok << 0.5;
        QTest::newRow("comma 1,5 refused") << true << "1,5" << out << 1.5;
        QTest::newRow("comma 2,5 refused") << true << "2,5" << out << 2.5;
        QTest::newRow("comma 1") << true << "1" << ok << 1.0;
        QTest::newRow("point text in comma locale") << true << "0.5" << nan << 0.5;
    }
    void indicator()
    {
        QFETCH(bool, comma);
        QFETCH(QString, text);
        QFETCH(Verdict, verdict);
        QFETCH(double, stored);
        setLocale(comma);
        QCOMPARE(checkIndicator(text, false), verdict);
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

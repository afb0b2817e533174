#include "params/numbers.h"

#include <QLocale>
#include <QTest>
#include <cmath>
#include <limits>

using namespace keldar::numbers;

namespace {
const QLocale pointLocale(QLocale::English, QLocale::UnitedStates);
const QLocale commaLocale(QLocale::German, QLocale::Germany);
} // namespace

class TestNumbers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(pointLocale); }
    void cleanup() { QLocale::setDefault(pointLocale); }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("blanks dropped anywhere") << " 1 2" << 12.0;
        QTest::newRow("tabs and line feeds") << "1\t2\n3" << 123.0;
        QTest::newRow("blanks inside fraction") << "12  3.4  5.6" << 123.45;
        QTest::newRow("exponent E") << "1e3" << 1000.0;
        QTest::newRow("exponent D") << "1D2" << 100.0;
        QTest::newRow("negative exponent") << "25E-1" << 2.5;
        QTest::newRow("trailing junk") << "12abc" << 12.0;
        QTest::newRow("comma stops") << "2,5" << 2.0;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("negative leading point") << "-.5" << -0.5;
        QTest::newRow("plus sign") << "+7" << 7.0;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("bare exponent letter") << "1e" << 1.0;
        QTest::newRow("exponent sign without digits") << "1e+" << 1.0;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("sign only") << "-" << 0.0;
        QTest::newRow("point only") << "." << 0.0;
        QTest::newRow("hex 16-bit wraps") << "&HFFFF" << -1.0;
        QTest::newRow("hex lower case") << "&hff" << 255.0;
        QTest::newRow("hex 5 digits is 32-bit") << "&HFFFFF" << 1048575.0;
        QTest::newRow("hex 8 digits wraps") << "&HFFFFFFFF" << -1.0;
        QTest::newRow("hex 9 digits keeps value") << "&H100000000" << 4294967296.0;
        QTest::newRow("hex without digits") << "&H" << 0.0;
        QTest::newRow("hex bad digit") << "&HG" << 0.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("octal 16-bit wraps") << "&O177777" << -1.0;
        QTest::newRow("octal stops at 8") << "&O78" << 7.0;
        QTest::newRow("ampersand alone") << "&" << 0.0;
        QTest::newRow("correctly rounded") << "0.1" << 0.1;
        QTest::newRow("underflow") << "1e-400" << 0.0;
        QTest::newRow("underflow after leading zeros")
            << QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1") << 0.0;
        QTest::newRow("underflow with zero integer part") << "00.0001e-400" << 0.0;
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(keldar::numbers::leadingNumber(text), expected);
        // The reading never depends on the user's separators.
        QLocale::setDefault(commaLocale);
        QCOMPARE(keldar::numbers::leadingNumber(text), expected);
    }

    void leadingNumber_overflowIsNotWhole()
    {
        const double v = keldar::numbers::leadingNumber("1e400");
        QVERIFY(std::isinf(v) && v > 0);
        QVERIFY(!isWhole(v));
        QVERIFY(std::isinf(keldar::numbers::leadingNumber("-1e400")));
    }

    void regionalNumber_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<double>("expected");
        QTest::newRow("empty") << false << "" << false << 0.0;
        QTest::newRow("blanks") << false << "  " << false << 0.0;
        QTest::newRow("abc") << false << "abc" << false << 0.0;
        QTest::newRow("padded") << false << " 12 " << true << 12.0;
        QTest::newRow("fraction") << false << "2.5" << true << 2.5;
        QTest::newRow("exponent") << false << "1e3" << true << 1000.0;
        QTest::newRow("group separator") << false << "1,000" << true << 1000.0;
        QTest::newRow("misplaced group") << false << "1,00" << false << 0.0;
        QTest::newRow("trailing junk") << false << "12abc" << false << 0.0;
        QTest::newRow("infinity") << false << "inf" << false << 0.0;
        QTest::newRow("nan") << false << "nan" << false << 0.0;
        QTest::newRow("overflow") << false << "1e400" << false << 0.0;
        QTest::newRow("comma decimal") << true << "0,5" << true << 0.5;
        QTest::newRow("comma 2,5") << true << "2,5" << true << 2.5;
        QTest::newRow("point groups in comma locale") << true << "1.000" << true << 1000.0;
    }
    void regionalNumber()
    {
        QFETCH(bool, comma);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(double, expected);
        QLocale::setDefault(comma ? commaLocale : pointLocale);
        const auto v = keldar::numbers::regionalNumber(text);
        QCOMPARE(v.has_value(), accepted);
        if (accepted)
            QCOMPARE(*v, expected);
    }

    void standardText_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole") << false << 20.0 << "20";
        QTest::newRow("fraction") << false << 0.25 << "0.25";
        QTest::newRow("comma fraction") << true << 0.25 << "0,25";
        QTest::newRow("15 digits") << false << 2.0 / 3 << "0.666666666666667";
        QTest::newRow("large exponent") << false << 1e20 << "1E+20";
        QTest::newRow("15 digit integer stays plain")
            << false << 123456789012345.0 << "123456789012345";
        QTest::newRow("1E+15") << false << 1e15 << "1E+15";
        QTest::newRow("small exponent") << false << 1e-5 << "1E-05";
        QTest::newRow("small with fraction") << false << 1.5e-7 << "1.5E-07";
        QTest::newRow("comma exponent") << true << 1.5e-7 << "1,5E-07";
        QTest::newRow("0.0001 stays plain") << false << 0.0001 << "0.0001";
        QTest::newRow("negative") << false << -0.5 << "-0.5";
        QTest::newRow("negative zero") << false << -0.0 << "0";
        QTest::newRow("no group separators") << true << 1234567.0 << "1234567";
    }
    void standardText()
    {
        QFETCH(bool, comma);
        QFETCH(double, value);
        QFETCH(QString, expected);
        QLocale::setDefault(comma ? commaLocale : pointLocale);
        QCOMPARE(keldar::numbers::standardText(value), expected);
    }

    void fileForms_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("numberForm");
        QTest::addColumn<QString>("decimalPointForm");
        const auto row = [](const char *tag, bool comma, double value, const char *numberForm,
                            const char *decimalPointForm) {
            QTest::newRow(tag) << comma << value << QString::fromLatin1(numberForm)
                               << QString::fromLatin1(decimalPointForm);
        };
        row("whole", false, 20.0, " 20 ", " 20 ");
        row("whole comma", true, 20.0, " 20 ", " 20 ");
        row("half", false, 0.5, " 0.5 ", " 0.5 ");
        row("half comma", true, 0.5, " 0,5 ", "0.5");
        row("negative", false, -7.0, "-7 ", "-7 ");
        row("zero", true, 0.0, " 0 ", " 0 ");
        row("one", true, 1.0, " 1 ", " 1 ");
        row("exponent comma", true, 1.5e-7, " 1,5E-07 ", "1.5E-07");
    }
    void fileForms()
    {
        QFETCH(bool, comma);
        QFETCH(double, value);
        QLocale::setDefault(comma ? commaLocale : pointLocale);
        QTEST(keldar::numbers::numberForm(value), "numberForm");
        QTEST(keldar::numbers::decimalPointForm(value), "decimalPointForm");
    }

    void roundToInt16_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<int>("expected");
        QTest::newRow("0.5 to even") << 0.5 << true << 0;
        QTest::newRow("1.5 to even") << 1.5 << true << 2;
        QTest::newRow("2.5 to even") << 2.5 << true << 2;
        QTest::newRow("3.5 to even") << 3.5 << true << 4;
        QTest::newRow("-2.5 to even") << -2.5 << true << -2;
        QTest::newRow("2.6 up") << 2.6 << true << 3;
        QTest::newRow("max") << 32767.0 << true << 32767;
        QTest::newRow("min") << -32768.0 << true << -32768;
        QTest::newRow("rounds before range check") << -32768.4 << true << -32768;
        QTest::newRow("half above max") << 32767.5 << false << 0;
        QTest::newRow("above max") << 32768.0 << false << 0;
        QTest::newRow("below min") << -32769.0 << false << 0;
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << false << 0;
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << false << 0;
    }
    void roundToInt16()
    {
        QFETCH(double, value);
        QFETCH(bool, fits);
        QFETCH(int, expected);
        const auto r = keldar::numbers::roundToInt16(value);
        QCOMPARE(r.has_value(), fits);
        if (fits)
            QCOMPARE(int(*r), expected);
    }
};

QTEST_GUILESS_MAIN(TestNumbers)
#include "tst_numbers.moc"

#include "params/numbers.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace keldar::numbers {

namespace {

bool isDropped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

int digitValue(QChar c, int radix)
{
    int d = -1;
    if (c >= u'0' && c <= u'9')
        d = c.unicode() - u'0';
    else if (c >= u'a' && c <= u'f')
        d = c.unicode() - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        d = c.unicode() - u'A' + 10;
    return d < radix ? d : -1;
}

// "&H..." / "&O...": few digits wrap like a 16-bit value, up to 32 bits like a
// 32-bit value ("&HFFFF" is -1, "&HFFFFFFFF" is -1, "&HFFFFF" is 1048575).
// Longer numbers keep their plain unsigned value rather than wrapping twice.
double radixNumber(const QString &s, int start, int radix)
{
    double value = 0;
    quint64 bits = 0;
    int digits = 0;
    for (int i = start; i < s.size(); ++i) {
        const int d = digitValue(s.at(i), radix);
        if (d < 0)
            break;
        value = value * radix + d;
        bits = bits * static_cast<quint64>(radix) + static_cast<quint64>(d);
        ++digits;
    }
    const int short16 = radix == 16 ? 4 : 6;
    const int long32 = radix == 16 ? 8 : 11;
    if (digits <= short16 && bits <= 0xFFFFu)
        return static_cast<double>(static_cast<qint16>(static_cast<quint16>(bits)));
    if (digits <= long32 && bits <= 0xFFFFFFFFu)
        return static_cast<double>(static_cast<qint32>(static_cast<quint32>(bits)));
    return value;
}

} // namespace

namespace {

// The digits and point of a number's mantissa, read from `i` on, with where
// its first significant digit stands: the count of integer digits from it
// on, or minus the zeros that follow the point before it.
struct Mantissa {
    std::string text;
    int digits = 0;
    int magnitude = 0;
};

Mantissa readMantissa(const QString &s, int &i)
{
    Mantissa m;
    bool significant = false;
    bool seenPoint = false;
    for (; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c.isDigit() && c.unicode() < 128) {
            m.text += static_cast<char>(c.unicode());
            ++m.digits;
            if (c != u'0')
                significant = true;
            if (!seenPoint && significant)
                ++m.magnitude;
            else if (seenPoint && !significant)
                --m.magnitude;
        } else if (c == u'.' && !seenPoint) {
            m.text += '.';
            seenPoint = true;
        } else {
            break;
        }
    }
    return m;
}

// An exponent (E or D, a sign, digits) at `i`, appended to `prefix` in C
// syntax; its value, only as large as telling overflow from underflow needs.
long readExponent(const QString &s, int i, std::string &prefix)
{
    if (i >= s.size())
        return 0;
    const QChar e = s.at(i).toUpper();
    if (e != u'E' && e != u'D')
        return 0;
    int j = i + 1;
    bool negative = false;
    if (j < s.size() && (s.at(j) == u'+' || s.at(j) == u'-')) {
        negative = s.at(j) == u'-';
        ++j;
    }
    std::string digits;
    for (; j < s.size() && s.at(j).unicode() >= u'0' && s.at(j).unicode() <= u'9'; ++j)
        digits += static_cast<char>(s.at(j).unicode());
    if (digits.empty())
        return 0;
    prefix += negative ? "e-" : "e";
    prefix += digits;
    const long exponent = digits.size() > 6 ? 1000000 : std::stol(digits);
    return negative ? -exponent : exponent;
}

} // namespace

double leadingNumber(const QString &text)
{
    QString s;
    s.reserve(text.size());
    for (QChar c : text)
        if (!isDropped(c))
            s.append(c);

    if (s.size() >= 2 && s.at(0) == u'&') {
        const QChar r = s.at(1).toUpper();
        if (r == u'H')
            return radixNumber(s, 2, 16);
        if (r == u'O')
            return radixNumber(s, 2, 8);
        return 0;
    }

    // Collect the numeric prefix in C syntax, then convert it exactly.
    int i = 0;
    bool negative = false;
    if (i < s.size() && (s.at(i) == u'+' || s.at(i) == u'-')) {
        negative = s.at(i) == u'-';
        ++i;
    }
    Mantissa mantissa = readMantissa(s, i);
    if (mantissa.digits == 0)
        return 0;
    const long exponent = readExponent(s, i, mantissa.text);

    double value = 0;
    const std::string &prefix = mantissa.text;
    const auto result = std::from_chars(prefix.data(), prefix.data() + prefix.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        value = mantissa.magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -value : value;
}

std::optional<double> regionalNumber(const QString &text)
{
    bool ok = false;
    const double value = QLocale().toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool isWhole(double value)
{
    return std::isfinite(value) && std::floor(value) == value;
}

QString standardText(double value)
{
    if (value == 0)
        return QStringLiteral("0"); // also for -0
    QString text = QString::number(value, 'G', 15);
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String("."))
        text.replace(QLatin1Char('.'), point);
    return text;
}

QString numberForm(double value)
{
    const QString text = standardText(value);
    if (text.startsWith(u'-'))
        return text + u' ';
    return u' ' + text + u' ';
}

QString decimalPointForm(double value)
{
    QString text = standardText(value);
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String(".")) {
        const qsizetype at = text.indexOf(point);
        if (at >= 0)
            return text.replace(at, point.size(), QLatin1Char('.'));
    }
    return numberForm(value);
}

std::optional<qint16> roundToInt16(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    double rounded = std::round(value);
    if (std::fabs(value - std::trunc(value)) == 0.5)
        rounded = 2 * std::round(value / 2);
    if (rounded < std::numeric_limits<qint16>::min() ||
        rounded > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

} // namespace keldar::numbers

#pragma once

#include <QString>

// The checks a main-window entry field runs when the user leaves it, and the
// value it stands for once the entries are confirmed.
namespace keldar::checks {

inline const QString InputErrorTitle = QStringLiteral("Input Error");
inline const QString NotNumericMessage = QStringLiteral("The input has to be a numeric value");
inline const QString NotPositiveIntegerMessage =
    QStringLiteral("The input should be a positive integer value");
inline const QString OutsideUnitIntervalMessage =
    QStringLiteral("The input number should lie between 0 and 1 (0 and 1 inclusive)");

enum class Verdict {
    Accepted,
    NotNumeric,         // the numeric test's message
    NotPositiveInteger, // a count that is not whole or not above 0
    OutsideUnitInterval // an indicator below 0 or above 1
};

// The numeric test: the exactly empty text, or any text while the entries are
// being reset, passes; otherwise the whole text must be a number under the
// user's locale.  (Blanks alone are not a number.)
bool isNumericOrExempt(const QString &text, bool resetting);

// A count field (nurses, days, shifts): empty, or a whole number above 0.
Verdict checkCount(const QString &text, bool resetting);

// An indicator field: empty, or a number from 0 to 1, both inclusive.
Verdict checkIndicator(const QString &text, bool resetting);

// The message a verdict shows; empty for Accepted.
QString message(Verdict verdict);

// The value a filled entry field stores: the number as the user typed it
// under their locale, so "0,5" with a decimal comma is 0.5 and "1,000" with
// comma digit groups is 1000.  Confirm Input stores only texts its checks
// accept; for any other text this gives the lenient leading-number reading.
double storedValue(const QString &text);

} // namespace keldar::checks

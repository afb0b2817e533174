#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// The program's number readings and renderings.  All take the user's locale
// from QLocale() (the default locale), so tests can switch it.
namespace keldar::numbers {

// Lenient reading of the longest numeric prefix: blanks, tabs and line feeds
// are dropped anywhere first; "." is the only decimal separator; exponent
// letters E and D; "&H" hexadecimal and "&O" octal.  0 when no number leads.
// A value too large for a double reads as +/-infinity (never whole).
double leadingNumber(const QString &text);

// The whole text as a number under the user's locale (decimal and group
// separators).  Empty, blank, trailing junk and non-finite values: nothing.
std::optional<double> regionalNumber(const QString &text);

// A whole number: finite and equal to its floor.
bool isWhole(double value);

// Decimal text rounded to 15 significant digits, trailing zeros dropped, the
// user's decimal separator, exponent form outside 1E-05..1E+15 ("1E+20").
QString standardText(double value);

// The input-data file's number form: a space (or the minus sign), the
// standard text, a space.  " 20 ", "-7 ".
QString numberForm(double value);

// The input-data file's rule for fractions: a standard text that holds a comma
// is written with "." instead and no padding; anything else in number form.
QString decimalPointForm(double value);

// Round half to even, then range-check: nothing when the result does not fit
// a signed 16-bit integer (or the value is not finite).
std::optional<qint16> roundToInt16(double value);

} // namespace keldar::numbers

#include "params/fieldchecks.h"

#include "params/numbers.h"

namespace keldar::checks {

bool isNumericOrExempt(const QString &text, bool resetting)
{
    if (resetting || text.isEmpty())
        return true;
    return numbers::regionalNumber(text).has_value();
}

Verdict checkCount(const QString &text, bool resetting)
{
    if (!isNumericOrExempt(text, resetting))
        return Verdict::NotNumeric;
    if (text.isEmpty())
        return Verdict::Accepted;
    const auto v = numbers::regionalNumber(text);
    if (!v) // only while resetting, when nothing is checked
        return Verdict::Accepted;
    if (!numbers::isWhole(*v) || *v <= 0)
        return Verdict::NotPositiveInteger;
    return Verdict::Accepted;
}

Verdict checkIndicator(const QString &text, bool resetting)
{
    if (!isNumericOrExempt(text, resetting))
        return Verdict::NotNumeric;
    if (text.isEmpty())
        return Verdict::Accepted;
    // The value tested is the value stored, so "1,5" under a decimal comma is
    // refused rather than passed as 1.
    const auto v = numbers::regionalNumber(text);
    if (!v)
        return Verdict::Accepted;
    if (*v >= 0 && *v <= 1)
        return Verdict::Accepted;
    return Verdict::OutsideUnitInterval;
}

QString message(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Accepted:
        break;
    case Verdict::NotNumeric:
        return NotNumericMessage;
    case Verdict::NotPositiveInteger:
        return NotPositiveIntegerMessage;
    case Verdict::OutsideUnitInterval:
        return OutsideUnitIntervalMessage;
    }
    return {};
}

double storedValue(const QString &text)
{
    if (const auto v = numbers::regionalNumber(text))
        return *v;
    return numbers::leadingNumber(text);
}

} // namespace keldar::checks

#include "generation/batchfields.h"

#include "params/numbers.h"

namespace keldar::generation {

std::optional<double> numberOfFiles(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    const double value = numbers::leadingNumber(text);
    if (!numbers::isWhole(value) || !(value > 0))
        return std::nullopt;
    return value;
}

std::optional<qint16> firstFileNumber(const QString &text)
{
    const std::optional<double> value = numberOfFiles(text);
    if (!value)
        return std::nullopt;
    return numbers::roundToInt16(*value);
}

} // namespace keldar::generation

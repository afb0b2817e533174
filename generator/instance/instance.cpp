#include "generator/instance/instance.h"

namespace keldar::generator {

Instance Instance::blank(int nurses, int days, int workingShifts, bool freeCounted)
{
    Instance in;
    in.nurses = nurses;
    in.days = days;
    in.workingShifts = workingShifts;
    in.freeCounted = freeCounted;
    in.coverage.assign(static_cast<std::size_t>(days) * static_cast<std::size_t>(workingShifts), 0);
    in.costs.assign(static_cast<std::size_t>(nurses) * static_cast<std::size_t>(days) *
                        static_cast<std::size_t>(workingShifts + 1),
                    MinCost);
    return in;
}

std::int64_t spreadNumerator(const int counts[MaxCost + 1], std::int64_t sum, int n)
{
    const Deviation dev{n, sum};
    std::int64_t total = 0;
    for (int v = MinCost; v <= MaxCost; ++v)
        total += counts[v] * dev.term(v);
    return total;
}

std::int64_t spreadDenominator(int n)
{
    // n times the largest sum|x - mean|: 2 * floor(n/2) * ceil(n/2) * (b - a).
    const std::int64_t half = n / 2;
    return 2 * half * (n - half) * (MaxCost - MinCost);
}

namespace {

// Mean spread of all lines along one axis: a line is the costs seen when one
// coordinate runs and the other two stay fixed.
double axisSpread(const Instance &in, int axis)
{
    const int sizes[3] = {in.nurses, in.days, in.shiftTypes()};
    const std::size_t strides[3] = {in.costIndex(1, 0, 0), in.costIndex(0, 1, 0), 1};
    const int other1 = axis == 0 ? 1 : 0;
    const int other2 = axis == 2 ? 1 : 2;
    const int length = sizes[axis];
    const std::int64_t denominator = spreadDenominator(length);
    if (denominator == 0)
        return 0;
    std::int64_t numerator = 0;
    for (int i = 0; i < sizes[other1]; ++i) {
        for (int j = 0; j < sizes[other2]; ++j) {
            const std::size_t base = static_cast<std::size_t>(i) * strides[other1] +
                                     static_cast<std::size_t>(j) * strides[other2];
            int counts[MaxCost + 1] = {};
            std::int64_t sum = 0;
            for (int k = 0; k < length; ++k) {
                const int v = in.costs[base + static_cast<std::size_t>(k) * strides[axis]];
                ++counts[v];
                sum += v;
            }
            numerator += spreadNumerator(counts, sum, length);
        }
    }
    const double lines = static_cast<double>(sizes[other1]) * sizes[other2];
    return static_cast<double>(numerator) / (static_cast<double>(denominator) * lines);
}

} // namespace

Indicators measure(const Instance &in)
{
    Indicators m{};
    m[PeriodPreference] = axisSpread(in, 1);
    m[DayPreference] = axisSpread(in, 2);
    m[ShiftPreference] = axisSpread(in, 0);

    const int w = in.workingShifts;
    std::vector<int> dayTotals(static_cast<std::size_t>(in.days), 0);
    std::int64_t required = 0;
    double shiftSum = 0;
    int daysWithRequirement = 0;
    for (int d = 0; d < in.days; ++d) {
        const int *row =
            in.coverage.data() + static_cast<std::size_t>(d) * static_cast<std::size_t>(w);
        int total = 0;
        for (int s = 0; s < w; ++s)
            total += row[s];
        dayTotals[static_cast<std::size_t>(d)] = total;
        required += total;
        if (total > 0) {
            shiftSum += concentration(row, w, total);
            ++daysWithRequirement;
        }
    }
    m[TotalCoverage] = static_cast<double>(required) / (static_cast<double>(in.nurses) * in.days);
    m[DayCoverage] = concentration(dayTotals.data(), in.days, in.nurses);
    m[ShiftCoverage] = daysWithRequirement == 0 ? 0 : shiftSum / daysWithRequirement;
    return m;
}

} // namespace keldar::generator

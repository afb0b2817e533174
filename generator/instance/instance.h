#pragma once

#include "generator/input/indicators.h"
#include "generator/instance/concentration.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace keldar::generator {

// Costs run from the most wanted to the least wanted shift.
inline constexpr int MinCost = 1;
inline constexpr int MaxCost = 4;

// Where (i, j) lies in rows of `width` stored one after another.
inline std::size_t gridIndex(std::size_t i, std::size_t width, std::size_t j)
{
    return i * width + j;
}

// Where cost (n, d, t) lies in a table stored nurse by nurse, then day by day.
inline std::size_t cellIndex(std::size_t days, std::size_t types, std::size_t n, std::size_t d,
                             std::size_t t)
{
    return gridIndex(gridIndex(n, days, d), types, t);
}

// One nurse-rostering instance.  Shift types 0..W-1 are the working shifts,
// type W is the free shift.
struct Instance {
    int nurses = 0;
    int days = 0;
    int workingShifts = 0;
    bool freeCounted = false;
    std::vector<int> coverage;       // [day][working shift]
    std::vector<std::uint8_t> costs; // [nurse][day][shift type], 1..4

    int shiftTypes() const { return workingShifts + 1; }
    int &cover(int d, int w) { return coverage[gridIndex(d, workingShifts, w)]; }
    int cover(int d, int w) const { return coverage[gridIndex(d, workingShifts, w)]; }
    std::size_t costIndex(int n, int d, int t) const
    {
        return cellIndex(days, shiftTypes(), n, d, t);
    }
    int cost(int n, int d, int t) const { return costs[costIndex(n, d, t)]; }

    // Sized and filled with the most wanted cost and no requirement.
    static Instance blank(int nurses, int days, int workingShifts, bool freeCounted);
};

// Spread of n costs from per-value counts (counts[v] for v = 1..4, sum of the
// values), as the whole number n * sum|x - mean|, and the divisor that turns
// it into the 0..1 measure.  Whole numbers keep every machine's sums equal.
std::int64_t spreadNumerator(const int counts[MaxCost + 1], std::int64_t sum, int n);
std::int64_t spreadDenominator(int n);

// The six measured indicators.
Indicators measure(const Instance &instance);

} // namespace keldar::generator

#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

// The coverage measures' one formula, shared by the measure, the coverage
// construction and its searches: n whole numbers x_i of total T, none above a
// cap, have concentration sum |x_i - T/n| divided by the largest value that
// sum takes under the cap.  Kept as whole numbers n times over, so that every
// machine's sums agree and searches can change one term at a time.
namespace keldar::generator {

struct Deviation {
    std::int64_t n = 0;
    std::int64_t total = 0;
    // One element's part, n |x - T/n|.
    std::int64_t term(std::int64_t x) const { return std::llabs(n * x - total); }
};

// The largest deviation: the total packed into as few elements as the cap
// allows.  0 when nothing can move.
inline std::int64_t packedDeviation(std::int64_t n, std::int64_t total, std::int64_t cap)
{
    if (n <= 1 || total == 0 || cap <= 0)
        return 0;
    const Deviation dev{n, total};
    const std::int64_t full = std::min(total / cap, n);
    const std::int64_t rest = total - full * cap;
    std::int64_t largest = full * dev.term(cap);
    std::int64_t untouched = n - full;
    if (rest > 0) {
        largest += dev.term(rest);
        --untouched;
    }
    // Only values over the cap leave no element untouched and some rest.
    return largest + std::max<std::int64_t>(untouched, 0) * total;
}

// The least deviation: the even split, T % n elements one above the others.
inline std::int64_t evenDeviation(std::int64_t n, std::int64_t total)
{
    if (n <= 1 || total <= 0)
        return 0;
    const std::int64_t r = total % n;
    return 2 * r * (n - r);
}

// A deviation as the 0..1 measure.
inline double concentrationOf(std::int64_t deviation, std::int64_t largest)
{
    return largest == 0 ? 0 : static_cast<double>(deviation) / static_cast<double>(largest);
}

// Concentration of non-negative values under a per-element cap (0..1).
inline double concentration(const int *values, int n, std::int64_t cap)
{
    std::int64_t total = 0;
    for (int i = 0; i < n; ++i)
        total += values[i];
    const Deviation dev{n, total};
    std::int64_t deviation = 0;
    for (int i = 0; i < n; ++i)
        deviation += dev.term(values[i]);
    return concentrationOf(deviation, packedDeviation(n, total, cap));
}

} // namespace keldar::generator

#include "generator/instance/preferences.h"

#include "generator/instance/costsearch.h"
#include "generator/instance/directtables.h"
#include "generator/instance/nearest.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace keldar::generator {

using namespace costs;

namespace {

// The indicator measured along each axis of the cost table.
constexpr Indicator AxisIndicator[3] = {ShiftPreference, PeriodPreference, DayPreference};

// Targets this close to 0 or 1 are met exactly by structure instead of by
// search, which cannot find such rigid tables by single moves.
constexpr double Rigid = 0.005;

// Copies a table out along the axes it holds flat (size 1 there) to the full
// sizes.
std::vector<std::uint8_t> expand(std::vector<std::uint8_t> cells, const int *size, const int *full)
{
    if (size[Nurses] == full[Nurses] && size[Days] == full[Days] && size[Types] == full[Types])
        return cells;
    std::vector<std::uint8_t> expanded(countCells(full));
    std::size_t i = 0;
    for (int n = 0; n < full[Nurses]; ++n)
        for (int d = 0; d < full[Days]; ++d)
            for (int t = 0; t < full[Types]; ++t)
                expanded[i++] = cells[indexIn(size, size[Nurses] == 1 ? 0 : n,
                                              size[Days] == 1 ? 0 : d, size[Types] == 1 ? 0 : t)];
    return expanded;
}

// A random half of 0..n-1 (floor or ceiling), as a 0/1 pattern.
std::vector<int> balancedPattern(int n, Random &random)
{
    std::vector<int> pattern(static_cast<std::size_t>(n), 0);
    for (int i = 0; i < n / 2; ++i)
        pattern[static_cast<std::size_t>(i)] = 1;
    if (n % 2 == 1 && random.below(2) == 1)
        pattern[static_cast<std::size_t>(n / 2)] = 1;
    shuffle(pattern, random);
    return pattern;
}

// Costs for a table of the given sizes (a size of 1 along an axis whose
// spread is to be 0), as close to the targets as the search gets.
std::vector<std::uint8_t> solve(const int *size, const double *targets, Random &random);

// Alternates along each rigid axis and along free axes meant to be above 1/2,
// so every move of the search keeps the rigid axes exact.
void fillAlternating(Table &table, const double *targets, const bool *free, const bool *one,
                     Random &random)
{
    std::vector<int> patterns[3];
    bool used[3];
    for (int a = 0; a < 3; ++a) {
        used[a] = one[a] || (free[a] && targets[a] > 0.5);
        if (used[a])
            patterns[a] = balancedPattern(table.size(a), random);
    }
    for (int n = 0; n < table.size(Nurses); ++n)
        for (int d = 0; d < table.size(Days); ++d)
            for (int t = 0; t < table.size(Types); ++t) {
                const int pos[3] = {n, d, t};
                int bit = 0;
                for (int a = 0; a < 3; ++a)
                    if (used[a])
                        bit ^= patterns[a][static_cast<std::size_t>(pos[a])];
                table.at(n, d, t) = static_cast<std::uint8_t>(bit ? MaxCost : MinCost);
            }
}

// Independent costs whose expected spread is the mean target: a share q at
// the extremes and the rest at 2 and 3 gives q + (1 - q) / 3; below 1/3, a
// mix of 2 and 3 with share p of 3s gives 4/3 p (1 - p).
void fillIndependent(Table &table, const double *targets, const bool *free, Random &random)
{
    double mean = 0;
    int count = 0;
    for (int a = 0; a < 3; ++a)
        if (free[a]) {
            mean += targets[a];
            ++count;
        }
    mean = count > 0 ? mean / count : 0;
    const double extreme = mean > 1.0 / 3 ? (mean - 1.0 / 3) * 1.5 : 0;
    const double threes = mean > 1.0 / 3 ? 0.5 : (1 - std::sqrt(1 - 3 * mean)) / 2;
    for (int n = 0; n < table.size(Nurses); ++n)
        for (int d = 0; d < table.size(Days); ++d)
            for (int t = 0; t < table.size(Types); ++t) {
                const double u = random.unit();
                int v;
                if (u < extreme)
                    v = u < extreme / 2 ? MinCost : MaxCost;
                else
                    v = random.unit() < threes ? 3 : 2;
                table.at(n, d, t) = static_cast<std::uint8_t>(v);
            }
}

// When one spread is to be much lower than the others, the table is first
// solved flat along that axis and then copied out: the search only has to
// add a little variation instead of removing a lot.
bool fillFromFlat(Table &table, const double *targets, const bool *free, const bool *one,
                  Random &random)
{
    int low = -1;
    int count = 0;
    for (int a = 0; a < 3; ++a)
        if (free[a]) {
            ++count;
            if (low < 0 || targets[a] < targets[low])
                low = a;
        }
    if (count < 1)
        return false;
    double high = 0;
    for (int a = 0; a < 3; ++a)
        if ((free[a] || one[a]) && a != low)
            high = std::max(high, targets[a]);
    if (targets[low] > 0.6 * high)
        return false;

    int size[3] = {table.size(0), table.size(1), table.size(2)};
    size[low] = 1;
    double flat[3] = {targets[0], targets[1], targets[2]};
    flat[low] = 0;
    table.setCells(expand(solve(size, flat, random), size, table.sizes()));
    return true;
}

// With at most one axis left free beside the rigid ones, the table's shape
// is forced up to the counts of one kind of line: those counts are found
// directly instead of by search.  Returns the table at the given sizes, or
// nothing when more axes are free.
std::vector<std::uint8_t> directCells(const int *size, const double *targets, const bool *zero,
                                      const bool *one, Random &random)
{
    int varying[3];
    int varyingCount = 0;
    for (int a = 0; a < 3; ++a)
        if (!zero[a])
            varying[varyingCount++] = a;
    if (varyingCount == 1) {
        // Every line along the other two axes is flat: one line, copied.
        const int a = varying[0];
        const std::array<int, MaxCost + 1> counts = nearestLine(size[a], targets[a]);
        std::vector<std::uint8_t> line;
        for (int v = MinCost; v <= MaxCost; ++v)
            line.insert(line.end(), static_cast<std::size_t>(counts[v]),
                        static_cast<std::uint8_t>(v));
        shuffle(line, random);
        return line;
    }
    if (varyingCount == 2 && one[varying[0]] != one[varying[1]]) {
        // A plane half and half along its rigid axis, costs 1 and 4 only.
        const int rigid = one[varying[0]] ? varying[0] : varying[1];
        const int across = rigid == varying[0] ? varying[1] : varying[0];
        const std::vector<std::uint8_t> rows =
            halfAndHalfPlane(size[rigid], size[across], targets[across], random);
        // Rows of the plane run along the rigid axis; reorder to table order.
        std::vector<std::uint8_t> cells(rows.size());
        for (int r = 0; r < size[rigid]; ++r)
            for (int c = 0; c < size[across]; ++c) {
                int pos[3] = {0, 0, 0};
                pos[rigid] = r;
                pos[across] = c;
                cells[indexIn(size, pos[Nurses], pos[Days], pos[Types])] =
                    rows[gridIndex(r, size[across], c)];
            }
        return cells;
    }
    return {};
}

std::vector<std::uint8_t> solve(const int *full, const double *targets, Random &random)
{
    bool zero[3];
    bool one[3];
    bool free[3];
    int size[3];
    for (int a = 0; a < 3; ++a) {
        zero[a] = targets[a] <= Rigid || full[a] == 1;
        size[a] = zero[a] ? 1 : full[a];
        one[a] = !zero[a] && targets[a] >= 1 - Rigid;
        free[a] = !zero[a] && !one[a];
    }

    std::vector<std::uint8_t> direct = directCells(size, targets, zero, one, random);
    if (!direct.empty())
        return expand(std::move(direct), size, full);

    Table table(size[Nurses], size[Days], size[Types], free);
    Search search(table, targets, free, one);
    // Small tables reach only a few values and a single search may miss the
    // nearest; they are cheap, so try several short starts and keep the best.
    const std::size_t area = table.cellCount();
    const int attempts = area <= 128 ? 20 : area <= 512 ? 8 : area <= 8192 ? 4 : 1;
    const long budget = 300L * static_cast<long>(area) + (area <= 128 ? 3000 : 20000);
    Nearest<std::vector<std::uint8_t>> best{2};
    for (int attempt = 0; attempt < attempts; ++attempt) {
        // Starts alternate between kinds, as each kind traps the search on
        // some targets.
        if (attempt % 2 != 0 || !fillFromFlat(table, targets, free, one, random)) {
            if (one[0] || one[1] || one[2])
                fillAlternating(table, targets, free, one, random);
            else
                fillIndependent(table, targets, free, random);
        }
        table.recount();
        search.run(budget, random);
        const double gap = search.worstGap();
        best.offer(gap, table.cells());
        if (gap <= SettledGap)
            break;
    }
    return expand(std::move(best.value), size, full);
}

} // namespace

void buildPreferences(Instance &in, const Indicators &targets, Random &random)
{
    const int size[3] = {in.nurses, in.days, in.shiftTypes()};
    double axisTarget[3];
    for (int a = 0; a < 3; ++a)
        axisTarget[a] = targets[AxisIndicator[a]];
    in.costs = solve(size, axisTarget, random);
}

} // namespace keldar::generator

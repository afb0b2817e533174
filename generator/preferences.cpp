#include "generator/preferences.h"

#include <algorithm>
#include <cmath>

namespace keldar::generator {

namespace {

// Axes of the cost table and the indicator measured along each.
enum Axis { Nurses, Days, Types };
constexpr Indicator AxisIndicator[3] = {ShiftPreference, PeriodPreference, DayPreference};

// Targets this close to 0 or 1 are met exactly by structure instead of by
// search, which cannot find such rigid tables by single moves.
constexpr double Rigid = 0.005;
// The search stops once every spread is this close; the promise is 0.01.
constexpr double Settled = 0.004;

struct Line {
    int counts[MaxCost + 1] = {};
    int sum = 0;
};

// The cost table reduced along every axis whose spread is to be 0: such an
// axis keeps one position, copied out at the end, which holds its spread at 0
// and leaves the other two measures unchanged.
class Table
{
public:
    // Only the lines of tracked axes are counted: the others are flat or
    // alternate by construction, and counting them would cost memory in
    // proportion to the table.
    Table(int nurses, int days, int types, const bool *tracked)
        : size_{nurses, days, types}, tracked_{tracked[0], tracked[1], tracked[2]}
    {
        cells_.assign(static_cast<std::size_t>(nurses) * static_cast<std::size_t>(days) *
                          static_cast<std::size_t>(types),
                      MinCost);
        for (int a = 0; a < 3; ++a) {
            if (!tracked_[a])
                continue;
            lines_[a].assign(cellCount() / static_cast<std::size_t>(size_[a]), Line());
            denominator_[a] = static_cast<double>(spreadDenominator(size_[a])) *
                              static_cast<double>(lines_[a].size());
        }
    }

    int size(int axis) const { return size_[axis]; }
    std::size_t cellCount() const { return cells_.size(); }
    std::size_t index(int n, int d, int t) const
    {
        return (static_cast<std::size_t>(n) * static_cast<std::size_t>(size_[Days]) +
                static_cast<std::size_t>(d)) *
                   static_cast<std::size_t>(size_[Types]) +
               static_cast<std::size_t>(t);
    }
    std::uint8_t &at(int n, int d, int t) { return cells_[index(n, d, t)]; }
    std::uint8_t at(int n, int d, int t) const { return cells_[index(n, d, t)]; }
    const std::vector<std::uint8_t> &cells() const { return cells_; }
    void setCells(const std::vector<std::uint8_t> &cells) { cells_ = cells; }

    std::size_t lineOf(int axis, int n, int d, int t) const
    {
        switch (axis) {
        case Nurses:
            return static_cast<std::size_t>(d) * static_cast<std::size_t>(size_[Types]) +
                   static_cast<std::size_t>(t);
        case Days:
            return static_cast<std::size_t>(n) * static_cast<std::size_t>(size_[Types]) +
                   static_cast<std::size_t>(t);
        default:
            return static_cast<std::size_t>(n) * static_cast<std::size_t>(size_[Days]) +
                   static_cast<std::size_t>(d);
        }
    }

    // Recounts every line from the cells.
    void recount()
    {
        for (int a = 0; a < 3; ++a) {
            std::fill(lines_[a].begin(), lines_[a].end(), Line());
            numerator_[a] = 0;
        }
        for (int n = 0; n < size_[Nurses]; ++n)
            for (int d = 0; d < size_[Days]; ++d)
                for (int t = 0; t < size_[Types]; ++t)
                    for (int a = 0; a < 3; ++a) {
                        if (!tracked_[a])
                            continue;
                        Line &line = lines_[a][lineOf(a, n, d, t)];
                        ++line.counts[at(n, d, t)];
                        line.sum += at(n, d, t);
                    }
        for (int a = 0; a < 3; ++a)
            for (const Line &line : lines_[a])
                numerator_[a] += spreadNumerator(line.counts, line.sum, size_[a]);
    }

    // Change of one line's spread numerator when one of its costs changes.
    std::int64_t change(int axis, std::size_t line, int from, int to) const
    {
        Line l = lines_[axis][line];
        const std::int64_t before = spreadNumerator(l.counts, l.sum, size_[axis]);
        --l.counts[from];
        ++l.counts[to];
        l.sum += to - from;
        return spreadNumerator(l.counts, l.sum, size_[axis]) - before;
    }

    void apply(int axis, std::size_t line, int from, int to, std::int64_t delta)
    {
        Line &l = lines_[axis][line];
        --l.counts[from];
        ++l.counts[to];
        l.sum += to - from;
        numerator_[axis] += delta;
    }

    double spread(int axis) const { return spread(axis, numerator_[axis]); }
    double spread(int axis, std::int64_t numerator) const
    {
        return denominator_[axis] == 0 ? 0 : static_cast<double>(numerator) / denominator_[axis];
    }
    std::int64_t numerator(int axis) const { return numerator_[axis]; }

private:
    int size_[3];
    bool tracked_[3];
    std::vector<std::uint8_t> cells_;
    std::vector<Line> lines_[3];
    std::int64_t numerator_[3] = {};
    double denominator_[3] = {};
};

struct Change {
    int n, d, t;
    int to;
};

class Search
{
public:
    Search(Table &table, const double *targets, const bool *free, const bool *rigidOne)
        : table_(table), targets_(targets), free_(free)
    {
        for (int a = 0; a < 3; ++a)
            if (rigidOne[a])
                ones_[oneCount_++] = a;
    }

    double error() const { return error(numerators()); }

    double worstGap() const
    {
        double worst = 0;
        for (int a = 0; a < 3; ++a)
            if (free_[a])
                worst = std::max(worst, std::fabs(table_.spread(a) - targets_[a]));
        return worst;
    }

    void run(long budget, Random &random)
    {
        if (oneCount_ == 3 || (!free_[0] && !free_[1] && !free_[2]))
            return;
        double current = error();
        // Worsening moves are allowed early, scaled so that their noise stays
        // well below the tolerance whatever the table size.
        const double start = 1e-3 / static_cast<double>(table_.cellCount());
        for (long step = 0; step < budget; ++step) {
            if ((step & 255) == 0 && worstGap() <= Settled)
                return;
            Change changes[4];
            const int count = propose(changes, random);
            if (count == 0)
                continue;
            std::int64_t numerators[3];
            std::int64_t deltas[4][3] = {};
            for (int a = 0; a < 3; ++a)
                numerators[a] = table_.numerator(a);
            for (int c = 0; c < count; ++c) {
                const Change &ch = changes[c];
                const int from = table_.at(ch.n, ch.d, ch.t);
                for (int a = 0; a < 3; ++a) {
                    if (!free_[a])
                        continue;
                    deltas[c][a] =
                        table_.change(a, table_.lineOf(a, ch.n, ch.d, ch.t), from, ch.to);
                    numerators[a] += deltas[c][a];
                }
            }
            const double next = error(numerators);
            // Threshold accepting: a little worse is allowed early on, never at
            // the end.  Plain arithmetic keeps runs identical on every machine.
            const double threshold =
                start * static_cast<double>(budget - step) / static_cast<double>(budget);
            if (next > current + threshold)
                continue;
            current = next;
            for (int c = 0; c < count; ++c) {
                const Change &ch = changes[c];
                const int from = table_.at(ch.n, ch.d, ch.t);
                for (int a = 0; a < 3; ++a)
                    if (free_[a])
                        table_.apply(a, table_.lineOf(a, ch.n, ch.d, ch.t), from, ch.to,
                                     deltas[c][a]);
                table_.at(ch.n, ch.d, ch.t) = static_cast<std::uint8_t>(ch.to);
            }
        }
    }

private:
    std::int64_t *numeratorsInto(std::int64_t *out) const
    {
        for (int a = 0; a < 3; ++a)
            out[a] = table_.numerator(a);
        return out;
    }
    struct Numerators {
        std::int64_t v[3];
    };
    Numerators numerators() const
    {
        Numerators n{};
        numeratorsInto(n.v);
        return n;
    }
    double error(const Numerators &n) const { return error(n.v); }
    double error(const std::int64_t *numerators) const
    {
        double sum = 0;
        for (int a = 0; a < 3; ++a) {
            if (!free_[a])
                continue;
            const double gap = table_.spread(a, numerators[a]) - targets_[a];
            sum += gap * gap;
        }
        return sum;
    }

    int pick(int axis, Random &random) const
    {
        return static_cast<int>(random.below(static_cast<std::uint32_t>(table_.size(axis))));
    }

    // Moves keep every line along an axis whose spread must stay 1 half at
    // the lowest and half at the highest cost.
    int propose(Change *changes, Random &random) const
    {
        int pos[3] = {pick(0, random), pick(1, random), pick(2, random)};
        const int here = table_.at(pos[0], pos[1], pos[2]);
        if (oneCount_ == 0) {
            int to = MinCost + static_cast<int>(random.below(MaxCost - MinCost));
            if (to >= here)
                ++to;
            changes[0] = {pos[0], pos[1], pos[2], to};
            return 1;
        }
        const int other = MinCost + MaxCost - here;
        if (oneCount_ == 1) {
            // Swap two unequal costs within a line along the rigid axis.
            const int a = ones_[0];
            int moved[3] = {pos[0], pos[1], pos[2]};
            moved[a] = pick(a, random);
            if (table_.at(moved[0], moved[1], moved[2]) != other)
                return 0;
            changes[0] = {pos[0], pos[1], pos[2], other};
            changes[1] = {moved[0], moved[1], moved[2], here};
            return 2;
        }
        // Two rigid axes: flip a 2 x 2 alternating square in their plane.
        const int a = ones_[0];
        const int b = ones_[1];
        int p01[3] = {pos[0], pos[1], pos[2]};
        p01[b] = pick(b, random);
        int p10[3] = {pos[0], pos[1], pos[2]};
        p10[a] = pick(a, random);
        int p11[3] = {p10[0], p10[1], p10[2]};
        p11[b] = p01[b];
        if (table_.at(p01[0], p01[1], p01[2]) != other ||
            table_.at(p10[0], p10[1], p10[2]) != other || table_.at(p11[0], p11[1], p11[2]) != here)
            return 0;
        changes[0] = {pos[0], pos[1], pos[2], other};
        changes[1] = {p01[0], p01[1], p01[2], here};
        changes[2] = {p10[0], p10[1], p10[2], here};
        changes[3] = {p11[0], p11[1], p11[2], other};
        return 4;
    }

    Table &table_;
    const double *targets_;
    const bool *free_;
    int ones_[3] = {};
    int oneCount_ = 0;
};

// A random half of 0..n-1 (floor or ceiling), as a 0/1 pattern.
std::vector<int> balancedPattern(int n, Random &random)
{
    std::vector<int> pattern(static_cast<std::size_t>(n), 0);
    for (int i = 0; i < n / 2; ++i)
        pattern[static_cast<std::size_t>(i)] = 1;
    if (n % 2 == 1 && random.below(2) == 1)
        pattern[static_cast<std::size_t>(n / 2)] = 1;
    for (std::size_t i = pattern.size(); i > 1; --i)
        std::swap(pattern[i - 1], pattern[random.below(static_cast<std::uint32_t>(i))]);
    return pattern;
}

// Costs of one line of n whose spread is nearest the target, as counts per
// cost.  Every count vector is tried for short lines; longer ones are fine
// enough with the middle costs all alike.
void nearestLine(int n, double target, int best[MaxCost + 1])
{
    const double denominator = static_cast<double>(spreadDenominator(n));
    double bestGap = 3;
    auto consider = [&](int c1, int c2, int c3, int c4) {
        const int counts[MaxCost + 1] = {0, c1, c2, c3, c4};
        const std::int64_t sum = c1 + 2 * c2 + 3 * c3 + 4 * c4;
        const double spread =
            denominator == 0 ? 0
                             : static_cast<double>(spreadNumerator(counts, sum, n)) / denominator;
        const double gap = std::fabs(spread - target);
        if (gap < bestGap) {
            bestGap = gap;
            std::copy(counts, counts + MaxCost + 1, best);
        }
    };
    if (n <= 100) {
        for (int c1 = 0; c1 <= n; ++c1)
            for (int c4 = 0; c1 + c4 <= n; ++c4)
                for (int c2 = 0; c1 + c4 + c2 <= n; ++c2)
                    consider(c1, c2, n - c1 - c4 - c2, c4);
    } else if (n <= 3000) {
        for (int c1 = 0; c1 <= n; ++c1)
            for (int c4 = 0; c1 + c4 <= n; ++c4) {
                consider(c1, n - c1 - c4, 0, c4);
                consider(c1, 0, n - c1 - c4, c4);
            }
    } else {
        for (int k = 0; k <= n; ++k) {
            consider(n - k, k, 0, 0);
            consider(n - k, 0, 0, k);
        }
    }
}

// Whole-number bit sets with shifted unions, for the sums the tables below reach.
using Bits = std::vector<std::uint64_t>;

void orShifted(Bits &to, const Bits &from, std::size_t shift)
{
    const std::size_t words = shift / 64;
    const unsigned bits = static_cast<unsigned>(shift % 64);
    for (std::size_t i = to.size(); i-- > words;) {
        std::uint64_t v = from[i - words] << bits;
        if (bits != 0 && i - words > 0)
            v |= from[i - words - 1] >> (64 - bits);
        to[i] |= v;
    }
}

bool hasBit(const Bits &set, std::size_t i)
{
    return (set[i / 64] >> (i % 64)) & 1U;
}

std::size_t wordsFor(std::size_t bits)
{
    return bits / 64 + 1;
}

// Tables of lowest and highest costs only, every line along one axis half
// and half: the lines across, of length len, each hold k highest costs and
// have spread k (len - k) / G.  Any counts k_1..k_rows whose sum lets every
// line along the rigid axis be half and half can be laid out (see
// layOutRows), so the other spread depends on the counts alone.  Returns the
// counts whose mean spread is nearest the target.
std::vector<int> binaryRowCounts(int rows, int len, double target)
{
    const std::int64_t half = len / 2;
    const std::int64_t big = half * (len - half);
    auto g = [len](std::int64_t k) {
        return k * (len - k);
    };
    const double goal = target * static_cast<double>(big) * rows;
    const std::int64_t lowSum = static_cast<std::int64_t>(len) * (rows / 2);
    const std::int64_t highSum = static_cast<std::int64_t>(len) * (rows - rows / 2);
    std::vector<int> counts(static_cast<std::size_t>(rows), 0);
    double bestGap = -1;

    // Rows in pairs k and len - k keep the sum right whatever k is; an odd
    // row out may hold any count.
    const int pairs = rows / 2;
    const bool odd = rows % 2 == 1;
    const std::size_t span = static_cast<std::size_t>(pairs) * static_cast<std::size_t>(big) + 1;
    if (static_cast<double>(pairs + 1) * static_cast<double>(span) <= 16777216.0) {
        std::vector<Bits> reach(static_cast<std::size_t>(pairs) + 1, Bits(wordsFor(span), 0));
        reach[0][0] = 1;
        for (std::size_t c = 1; c <= static_cast<std::size_t>(pairs); ++c)
            for (std::int64_t j = 0; j <= half; ++j)
                orShifted(reach[c], reach[c - 1], static_cast<std::size_t>(g(j)));
        std::size_t bestSum = 0;
        int bestSingle = 0;
        for (int single = 0; single <= (odd ? len : 0); ++single)
            for (std::size_t s = 0; s < span; ++s) {
                if (!hasBit(reach[static_cast<std::size_t>(pairs)], s))
                    continue;
                const double total =
                    2 * static_cast<double>(s) + (odd ? static_cast<double>(g(single)) : 0);
                const double gap = std::fabs(total - goal);
                if (bestGap < 0 || gap < bestGap) {
                    bestGap = gap;
                    bestSum = s;
                    bestSingle = single;
                }
            }
        for (std::size_t c = static_cast<std::size_t>(pairs); c > 0; --c) {
            std::int64_t j = 0;
            while (static_cast<std::int64_t>(bestSum) < g(j) ||
                   !hasBit(reach[c - 1], bestSum - static_cast<std::size_t>(g(j))))
                ++j;
            bestSum -= static_cast<std::size_t>(g(j));
            counts[2 * (c - 1)] = static_cast<int>(j);
            counts[2 * (c - 1) + 1] = static_cast<int>(len - j);
        }
        if (odd)
            counts.back() = bestSingle;
    } else {
        // So many pairs that two neighbouring counts mixed are fine enough.
        const int single = odd ? len / 2 : 0;
        const double perPair = (goal - (odd ? static_cast<double>(g(single)) : 0)) / 2 / pairs;
        std::int64_t j = 0;
        while (j < half && static_cast<double>(g(j + 1)) <= perPair)
            ++j;
        const double step = j < half ? static_cast<double>(g(j + 1) - g(j)) : 1;
        const auto upper = std::clamp(
            static_cast<int>(std::lround((perPair - static_cast<double>(g(j))) / step * pairs)), 0,
            j < half ? pairs : 0);
        for (int p = 0; p < pairs; ++p) {
            const std::int64_t k = p < upper ? j + 1 : j;
            counts[static_cast<std::size_t>(2 * p)] = static_cast<int>(k);
            counts[static_cast<std::size_t>(2 * p + 1)] = static_cast<int>(len - k);
        }
        if (odd)
            counts.back() = single;
        return counts;
    }

    // Unpaired counts reach a few more sums; worth the exact search when the
    // pairs missed and the table is small.
    const std::size_t sums = static_cast<std::size_t>(rows) * static_cast<std::size_t>(len) + 1;
    const std::size_t values = static_cast<std::size_t>(rows) * static_cast<std::size_t>(big) + 1;
    const double cells =
        static_cast<double>(rows + 1) * static_cast<double>(sums) * static_cast<double>(values);
    if (bestGap <= Settled * static_cast<double>(big) * rows || cells > 67108864.0)
        return counts;
    const std::size_t words = wordsFor(values);
    // reach[c][sum of counts] = the spread totals c rows reach.
    std::vector<std::vector<Bits>> reach(static_cast<std::size_t>(rows) + 1,
                                         std::vector<Bits>(sums, Bits(words, 0)));
    reach[0][0][0] = 1;
    for (std::size_t c = 1; c <= static_cast<std::size_t>(rows); ++c)
        for (std::size_t s = 0; s <= (c - 1) * static_cast<std::size_t>(len); ++s)
            for (int k = 0; k <= len; ++k)
                orShifted(reach[c][s + static_cast<std::size_t>(k)], reach[c - 1][s],
                          static_cast<std::size_t>(g(k)));
    std::size_t bestK = 0;
    std::size_t bestValue = 0;
    bool found = false;
    for (auto s = static_cast<std::size_t>(lowSum); s <= static_cast<std::size_t>(highSum); ++s)
        for (std::size_t v = 0; v < values; ++v) {
            if (!hasBit(reach[static_cast<std::size_t>(rows)][s], v))
                continue;
            const double gap = std::fabs(static_cast<double>(v) - goal);
            if (gap < bestGap) {
                bestGap = gap;
                bestK = s;
                bestValue = v;
                found = true;
            }
        }
    if (!found)
        return counts;
    for (std::size_t c = static_cast<std::size_t>(rows); c > 0; --c) {
        std::size_t k = 0;
        while (k > bestK || static_cast<std::size_t>(g(static_cast<std::int64_t>(k))) > bestValue ||
               !hasBit(reach[c - 1][bestK - k],
                       bestValue - static_cast<std::size_t>(g(static_cast<std::int64_t>(k)))))
            ++k;
        counts[c - 1] = static_cast<int>(k);
        bestK -= k;
        bestValue -= static_cast<std::size_t>(g(static_cast<std::int64_t>(k)));
    }
    return counts;
}

// Lays the counts out row after row, each row's highest costs starting where
// the last row's ended: the columns' counts then differ by at most one, so
// each column is half and half.  Rows and columns are then shuffled.
std::vector<std::uint8_t> layOutRows(const std::vector<int> &counts, int len, Random &random)
{
    const auto rows = counts.size();
    const auto width = static_cast<std::size_t>(len);
    std::vector<std::uint8_t> laid(rows * width, MinCost);
    std::size_t column = 0;
    for (std::size_t r = 0; r < rows; ++r)
        for (int i = 0; i < counts[r]; ++i) {
            laid[r * width + column] = MaxCost;
            column = (column + 1) % width;
        }
    std::vector<std::size_t> rowOrder(rows);
    std::vector<std::size_t> columnOrder(width);
    for (std::size_t i = 0; i < rows; ++i)
        rowOrder[i] = i;
    for (std::size_t i = 0; i < width; ++i)
        columnOrder[i] = i;
    for (std::size_t i = rows; i > 1; --i)
        std::swap(rowOrder[i - 1], rowOrder[random.below(static_cast<std::uint32_t>(i))]);
    for (std::size_t i = width; i > 1; --i)
        std::swap(columnOrder[i - 1], columnOrder[random.below(static_cast<std::uint32_t>(i))]);
    std::vector<std::uint8_t> shuffled(laid.size());
    for (std::size_t r = 0; r < rows; ++r)
        for (std::size_t c = 0; c < width; ++c)
            shuffled[r * width + c] = laid[rowOrder[r] * width + columnOrder[c]];
    return shuffled;
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
    const std::vector<std::uint8_t> cells = solve(size, flat, random);
    for (int n = 0; n < table.size(Nurses); ++n)
        for (int d = 0; d < table.size(Days); ++d)
            for (int t = 0; t < table.size(Types); ++t) {
                const int pos[3] = {low == Nurses ? 0 : n, low == Days ? 0 : d,
                                    low == Types ? 0 : t};
                table.at(n, d, t) =
                    cells[(static_cast<std::size_t>(pos[0]) * static_cast<std::size_t>(size[Days]) +
                           static_cast<std::size_t>(pos[1])) *
                              static_cast<std::size_t>(size[Types]) +
                          static_cast<std::size_t>(pos[2])];
            }
    return true;
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

    // With at most one axis left free beside the rigid ones, the table's
    // shape is forced up to the counts of one kind of line: find those
    // counts directly instead of searching.
    int varying[3];
    int varyingCount = 0;
    for (int a = 0; a < 3; ++a)
        if (!zero[a])
            varying[varyingCount++] = a;
    std::vector<std::uint8_t> direct;
    int directSize[3] = {1, 1, 1};
    if (varyingCount == 1) {
        // Every line along the other two axes is flat: one line, copied.
        const int a = varying[0];
        int counts[MaxCost + 1] = {};
        nearestLine(size[a], targets[a], counts);
        for (int v = MinCost; v <= MaxCost; ++v)
            direct.insert(direct.end(), static_cast<std::size_t>(counts[v]),
                          static_cast<std::uint8_t>(v));
        for (std::size_t i = direct.size(); i > 1; --i)
            std::swap(direct[i - 1], direct[random.below(static_cast<std::uint32_t>(i))]);
        directSize[a] = size[a];
    } else if (varyingCount == 2 && one[varying[0]] != one[varying[1]]) {
        // A plane half and half along its rigid axis, costs 1 and 4 only.
        const int rigid = one[varying[0]] ? varying[0] : varying[1];
        const int across = rigid == varying[0] ? varying[1] : varying[0];
        const std::vector<std::uint8_t> rows = layOutRows(
            binaryRowCounts(size[rigid], size[across], targets[across]), size[across], random);
        directSize[rigid] = size[rigid];
        directSize[across] = size[across];
        direct.resize(rows.size());
        // Rows of the plane run along the rigid axis; reorder to table order.
        for (int r = 0; r < size[rigid]; ++r)
            for (int c = 0; c < size[across]; ++c) {
                int pos[3] = {0, 0, 0};
                pos[rigid] = r;
                pos[across] = c;
                direct[(static_cast<std::size_t>(pos[0]) *
                            static_cast<std::size_t>(directSize[Days]) +
                        static_cast<std::size_t>(pos[1])) *
                           static_cast<std::size_t>(directSize[Types]) +
                       static_cast<std::size_t>(pos[2])] =
                    rows[static_cast<std::size_t>(r) * static_cast<std::size_t>(size[across]) +
                         static_cast<std::size_t>(c)];
            }
    }
    if (!direct.empty()) {
        std::vector<std::uint8_t> cells(static_cast<std::size_t>(full[0]) *
                                        static_cast<std::size_t>(full[1]) *
                                        static_cast<std::size_t>(full[2]));
        std::size_t i = 0;
        for (int n = 0; n < full[Nurses]; ++n)
            for (int d = 0; d < full[Days]; ++d)
                for (int t = 0; t < full[Types]; ++t) {
                    const int pos[3] = {zero[Nurses] ? 0 : n, zero[Days] ? 0 : d,
                                        zero[Types] ? 0 : t};
                    cells[i++] = direct[(static_cast<std::size_t>(pos[0]) *
                                             static_cast<std::size_t>(directSize[Days]) +
                                         static_cast<std::size_t>(pos[1])) *
                                            static_cast<std::size_t>(directSize[Types]) +
                                        static_cast<std::size_t>(pos[2])];
                }
        return cells;
    }

    Table table(size[Nurses], size[Days], size[Types], free);
    Search search(table, targets, free, one);
    // Small tables reach only a few values and a single search may miss the
    // nearest; they are cheap, so try several short starts and keep the best.
    const std::size_t area = table.cellCount();
    const int attempts = area <= 128 ? 20 : area <= 512 ? 8 : area <= 8192 ? 4 : 1;
    const long budget = 300L * static_cast<long>(area) + (area <= 128 ? 3000 : 20000);
    std::vector<std::uint8_t> best;
    double bestGap = 2;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        // Starts alternate between kinds, as each kind traps the search on
        // some targets.
        if (attempt % 2 == 0 && fillFromFlat(table, targets, free, one, random))
            ;
        else if (one[0] || one[1] || one[2])
            fillAlternating(table, targets, free, one, random);
        else
            fillIndependent(table, targets, free, random);
        table.recount();
        search.run(budget, random);
        const double gap = search.worstGap();
        if (gap < bestGap) {
            bestGap = gap;
            best = table.cells();
        }
        if (gap <= Settled)
            break;
    }

    // Copy out along the axes held flat.
    if (size[0] == full[0] && size[1] == full[1] && size[2] == full[2])
        return best;
    std::vector<std::uint8_t> cells(static_cast<std::size_t>(full[0]) *
                                    static_cast<std::size_t>(full[1]) *
                                    static_cast<std::size_t>(full[2]));
    std::size_t i = 0;
    for (int n = 0; n < full[Nurses]; ++n)
        for (int d = 0; d < full[Days]; ++d)
            for (int t = 0; t < full[Types]; ++t)
                cells[i++] = best[table.index(zero[Nurses] ? 0 : n, zero[Days] ? 0 : d,
                                              zero[Types] ? 0 : t)];
    return cells;
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

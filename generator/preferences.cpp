#include "generator/preferences.h"

#include "generator/directtables.h"
#include "generator/nearest.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace keldar::generator {

namespace {

// Axes of the cost table and the indicator measured along each.
enum Axis { Nurses, Days, Types };
constexpr Indicator AxisIndicator[3] = {ShiftPreference, PeriodPreference, DayPreference};

// Targets this close to 0 or 1 are met exactly by structure instead of by
// search, which cannot find such rigid tables by single moves.
constexpr double Rigid = 0.005;

std::size_t countCells(const int *size)
{
    return static_cast<std::size_t>(size[Nurses]) * static_cast<std::size_t>(size[Days]) *
           static_cast<std::size_t>(size[Types]);
}

// Where cell (n, d, t) lies in a table of the given sizes.
std::size_t indexIn(const int *size, int n, int d, int t)
{
    return cellIndex(size[Days], size[Types], n, d, t);
}

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

struct Line {
    int counts[MaxCost + 1] = {};
    int sum = 0;

    void move(int from, int to)
    {
        --counts[from];
        ++counts[to];
        sum += to - from;
    }
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
        cells_.assign(countCells(size_), MinCost);
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
    const int *sizes() const { return size_; }
    std::uint8_t &at(int n, int d, int t) { return cells_[indexIn(size_, n, d, t)]; }
    std::uint8_t at(int n, int d, int t) const { return cells_[indexIn(size_, n, d, t)]; }
    std::uint8_t at(const int *pos) const { return at(pos[Nurses], pos[Days], pos[Types]); }
    const std::vector<std::uint8_t> &cells() const { return cells_; }
    void setCells(std::vector<std::uint8_t> cells) { cells_ = std::move(cells); }

    // The line through the cell along the axis, numbered across the other two.
    std::size_t lineOf(int axis, int n, int d, int t) const
    {
        switch (axis) {
        case Nurses:
            return gridIndex(d, size_[Types], t);
        case Days:
            return gridIndex(n, size_[Types], t);
        default:
            return gridIndex(n, size_[Days], d);
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
        l.move(from, to);
        return spreadNumerator(l.counts, l.sum, size_[axis]) - before;
    }

    void apply(int axis, std::size_t line, int from, int to, std::int64_t delta)
    {
        lines_[axis][line].move(from, to);
        numerator_[axis] += delta;
    }

    double spread(int axis) const { return spread(axis, numerator_[axis]); }
    double spread(int axis, std::int64_t numerator) const
    {
        return denominator_[axis] == 0 ? 0 : static_cast<double>(numerator) / denominator_[axis];
    }
    const std::int64_t *numerators() const { return numerator_; }

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

    double error() const { return error(table_.numerators()); }

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
            if ((step & 255) == 0 && worstGap() <= SettledGap)
                return;
            Change changes[4];
            const int count = propose(changes, random);
            if (count == 0)
                continue;
            std::int64_t numerators[3];
            std::int64_t deltas[4][3] = {};
            std::copy_n(table_.numerators(), 3, numerators);
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
        const int here = table_.at(pos);
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
            if (table_.at(moved) != other)
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
        if (table_.at(p01) != other || table_.at(p10) != other || table_.at(p11) != here)
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

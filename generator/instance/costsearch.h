#pragma once

#include "generator/instance/directtables.h"
#include "generator/instance/instance.h"
#include "generator/instance/random.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// The cost table as the preference search sees it: each line along an axis
// counted, so that one cost changed alters the spreads by a sum of a few
// whole numbers, and the search that moves costs towards the targets.
namespace keldar::generator::costs {

// Axes of the cost table.
enum Axis { Nurses, Days, Types };

inline std::size_t countCells(const int *size)
{
    return static_cast<std::size_t>(size[Nurses]) * static_cast<std::size_t>(size[Days]) *
           static_cast<std::size_t>(size[Types]);
}

// Where cell (n, d, t) lies in a table of the given sizes.
inline std::size_t indexIn(const int *size, int n, int d, int t)
{
    return cellIndex(size[Days], size[Types], n, d, t);
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

// Threshold accepting on the table: single cost moves, or swaps and flips
// that keep every rigid axis (spread 1) half at the lowest and half at the
// highest cost, until the spreads of the free axes are within SettledGap of
// their targets or the budget is spent.
class Search
{
public:
    Search(Table &table, const double *targets, const bool *free, const bool *rigidOne);

    double error() const { return error(table_.numerators()); }
    double worstGap() const;
    void run(long budget, Random &random);

private:
    double error(const std::int64_t *numerators) const;
    int pick(int axis, Random &random) const
    {
        return static_cast<int>(random.below(static_cast<std::uint32_t>(table_.size(axis))));
    }
    int propose(Change *changes, Random &random) const;

    Table &table_;
    const double *targets_;
    const bool *free_;
    int ones_[3] = {};
    int oneCount_ = 0;
};

} // namespace keldar::generator::costs

#include "generator/instance/directtables.h"

#include "generator/instance/nearest.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>

namespace keldar::generator {

// Every count vector is tried for short lines; longer ones are fine enough
// with the middle costs all alike.
std::array<int, MaxCost + 1> nearestLine(int n, double target)
{
    using Counts = std::array<int, MaxCost + 1>;
    const double denominator = static_cast<double>(spreadDenominator(n));
    Nearest<Counts> best{3};
    auto consider = [&](int c1, int c2, int c3, int c4) {
        const Counts counts = {0, c1, c2, c3, c4};
        const std::int64_t sum = c1 + 2 * c2 + 3 * c3 + 4 * c4;
        const double spread =
            denominator == 0
                ? 0
                : static_cast<double>(spreadNumerator(counts.data(), sum, n)) / denominator;
        best.offer(std::fabs(spread - target), counts);
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
    return best.value;
}

namespace {

// Whole-number bit sets with shifted unions, for the sums the tables below reach.
using Bits = std::vector<std::uint64_t>;

// Only the first `used` words of `from` may hold set bits.
void orShifted(Bits &to, const Bits &from, std::size_t shift, std::size_t used = SIZE_MAX)
{
    const std::size_t words = shift / 64;
    const unsigned bits = static_cast<unsigned>(shift % 64);
    if (words >= to.size())
        return;
    const std::size_t end = used >= to.size() - words ? to.size() : used + words + 1;
    for (std::size_t i = end; i-- > words;) {
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

// The highest set bit at or below i, or the set's size when none is.
std::size_t lastBitAtOrBelow(const Bits &set, std::size_t i)
{
    std::size_t word = i / 64;
    std::uint64_t bits = set[word] & (~std::uint64_t{0} >> (63 - i % 64));
    while (bits == 0) {
        if (word == 0)
            return set.size() * 64;
        bits = set[--word];
    }
    return word * 64 + 63 - static_cast<std::size_t>(__builtin_clzll(bits));
}

// The lowest set bit above i and below limit, or limit when none is.
std::size_t firstBitAbove(const Bits &set, std::size_t i, std::size_t limit)
{
    if (++i >= limit)
        return limit;
    std::size_t word = i / 64;
    std::uint64_t bits = set[word] & (~std::uint64_t{0} << (i % 64));
    while (bits == 0) {
        if (++word >= set.size())
            return limit;
        bits = set[word];
    }
    return std::min(limit, word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits)));
}

std::size_t wordsFor(std::size_t bits)
{
    return bits / 64 + 1;
}

// The search for row counts: rows lines across of length len, and the
// spread total (sum of k (len - k)) to come nearest.
struct RowCountSearch {
    int rows;
    int len;
    double goal;
    std::int64_t half = len / 2;
    std::int64_t big = half * (len - half);
    int pairs = rows / 2;
    bool odd = rows % 2 == 1;

    std::int64_t g(std::int64_t k) const { return k * (len - k); }
    // Sums of the pairs' first rows' spreads, 0 .. pairs * big.
    std::size_t span() const
    {
        return static_cast<std::size_t>(pairs) * static_cast<std::size_t>(big) + 1;
    }
};

// Rows in pairs k and len - k keep the sum right whatever k is; an odd row
// out may hold any count.  Exact over the reachable sums; returns the gap
// left.
double pairedCounts(const RowCountSearch &p, std::vector<int> &counts)
{
    const int pairs = p.pairs;
    const bool odd = p.odd;
    const int len = p.len;
    const std::size_t span = p.span();
    std::vector<Bits> reach(static_cast<std::size_t>(pairs) + 1, Bits(wordsFor(span), 0));
    reach[0][0] = 1;
    for (std::size_t c = 1; c <= static_cast<std::size_t>(pairs); ++c)
        for (std::int64_t j = 0; j <= p.half; ++j)
            orShifted(reach[c], reach[c - 1], static_cast<std::size_t>(p.g(j)),
                      wordsFor((c - 1) * static_cast<std::size_t>(p.big)));
    // The sum over the pairs' first rows, and the odd row's count.
    struct Split {
        std::size_t sum;
        int single;
    };
    Nearest<Split> best{std::numeric_limits<double>::infinity()};
    const Bits &sums = reach[static_cast<std::size_t>(pairs)];
    for (int single = 0; single <= (odd ? len : 0); ++single) {
        // The gap is smallest at the reached sums on either side of the
        // ideal one; reached sums lie at most len apart, so the search for
        // them is short, and the candidates come in the order of a full pass.
        const double rest = p.goal - (odd ? static_cast<double>(p.g(single)) : 0);
        const double ideal = std::clamp(std::floor(rest / 2), 0.0, static_cast<double>(span - 1));
        const auto at = static_cast<std::size_t>(ideal);
        for (const std::size_t s : {lastBitAtOrBelow(sums, at), firstBitAbove(sums, at, span)})
            if (s < span) {
                const double total =
                    2 * static_cast<double>(s) + (odd ? static_cast<double>(p.g(single)) : 0);
                best.offer(std::fabs(total - p.goal), {s, single});
            }
    }
    std::size_t bestSum = best.value.sum;
    for (std::size_t c = static_cast<std::size_t>(pairs); c > 0; --c) {
        std::int64_t j = 0;
        while (static_cast<std::int64_t>(bestSum) < p.g(j) ||
               !hasBit(reach[c - 1], bestSum - static_cast<std::size_t>(p.g(j))))
            ++j;
        bestSum -= static_cast<std::size_t>(p.g(j));
        counts[2 * (c - 1)] = static_cast<int>(j);
        counts[2 * (c - 1) + 1] = static_cast<int>(len - j);
    }
    if (odd)
        counts.back() = best.value.single;
    return best.gap;
}

// So many pairs that two neighbouring counts mixed are fine enough.
void mixedPairCounts(const RowCountSearch &p, std::vector<int> &counts)
{
    const int pairs = p.pairs;
    const int single = p.odd ? p.len / 2 : 0;
    const double perPair = (p.goal - (p.odd ? static_cast<double>(p.g(single)) : 0)) / 2 / pairs;
    std::int64_t j = 0;
    while (j < p.half && static_cast<double>(p.g(j + 1)) <= perPair)
        ++j;
    const double step = j < p.half ? static_cast<double>(p.g(j + 1) - p.g(j)) : 1;
    const auto upper = std::clamp(
        static_cast<int>(std::lround((perPair - static_cast<double>(p.g(j))) / step * pairs)), 0,
        j < p.half ? pairs : 0);
    for (int q = 0; q < pairs; ++q) {
        const std::int64_t k = q < upper ? j + 1 : j;
        counts[2 * static_cast<std::size_t>(q)] = static_cast<int>(k);
        counts[2 * static_cast<std::size_t>(q) + 1] = static_cast<int>(p.len - k);
    }
    if (p.odd)
        counts.back() = single;
}

// Unpaired counts reach a few more sums; worth the exact search when the
// pairs missed and the table is small.
void unpairedCounts(const RowCountSearch &p, double bestGap, std::vector<int> &counts)
{
    const int rows = p.rows;
    const std::int64_t lowSum = static_cast<std::int64_t>(p.len) * (rows / 2);
    const std::int64_t highSum = static_cast<std::int64_t>(p.len) * (rows - rows / 2);
    const std::size_t sums = static_cast<std::size_t>(rows) * static_cast<std::size_t>(p.len) + 1;
    const std::size_t values = static_cast<std::size_t>(rows) * static_cast<std::size_t>(p.big) + 1;
    const double cells =
        static_cast<double>(rows + 1) * static_cast<double>(sums) * static_cast<double>(values);
    // Two rows must sum to len, as a pair does: nothing more to find.
    if (bestGap <= SettledGap * static_cast<double>(p.big) * rows || cells > 67108864.0 ||
        rows == 2)
        return;
    // Totals only grow row by row, and only those nearer the goal than the
    // pairs' best can be chosen: higher ones are not kept.  Nor are sums of
    // counts from which the remaining rows cannot end within the range.
    const auto kept = std::min(values, static_cast<std::size_t>(std::floor(p.goal + bestGap)) + 1);
    const std::size_t words = wordsFor(kept);
    // reach[c][sum of counts] = the spread totals c rows reach.
    std::vector<std::vector<Bits>> reach(static_cast<std::size_t>(rows) + 1,
                                         std::vector<Bits>(sums, Bits(words, 0)));
    reach[0][0][0] = 1;
    const auto width = static_cast<std::size_t>(p.len);
    auto gk = [&p](std::size_t k) {
        return static_cast<std::size_t>(p.g(static_cast<std::int64_t>(k)));
    };
    for (std::size_t c = 1; c <= static_cast<std::size_t>(rows); ++c) {
        const std::size_t left = (static_cast<std::size_t>(rows) - c) * width;
        for (std::size_t s = 0; s <= (c - 1) * width; ++s)
            for (std::size_t k = 0; k <= width; ++k) {
                if (s + k > static_cast<std::size_t>(highSum))
                    break;
                if (s + k + left < static_cast<std::size_t>(lowSum))
                    continue;
                orShifted(reach[c][s + k], reach[c - 1][s], gk(k));
            }
    }
    // The sum of the counts, and the spread total they reach.
    struct Reached {
        std::size_t sum, value;
    };
    Nearest<Reached> best{bestGap};
    for (auto s = static_cast<std::size_t>(lowSum); s <= static_cast<std::size_t>(highSum); ++s)
        for (std::size_t v = 0; v < kept; ++v)
            if (hasBit(reach[static_cast<std::size_t>(rows)][s], v))
                best.offer(std::fabs(static_cast<double>(v) - p.goal), {s, v});
    if (!best.found)
        return;
    std::size_t bestK = best.value.sum;
    std::size_t bestValue = best.value.value;
    for (std::size_t c = static_cast<std::size_t>(rows); c > 0; --c) {
        std::size_t k = 0;
        while (k > bestK || gk(k) > bestValue ||
               !hasBit(reach[c - 1][bestK - k], bestValue - gk(k)))
            ++k;
        counts[c - 1] = static_cast<int>(k);
        bestK -= k;
        bestValue -= gk(k);
    }
}

// Tables of lowest and highest costs only, every line along one axis half
// and half: the lines across, of length len, each hold k highest costs and
// have spread k (len - k) / G.  Any counts k_1..k_rows whose sum lets every
// line along the rigid axis be half and half can be laid out (see
// layOutRows), so the other spread depends on the counts alone.  Returns the
// counts whose mean spread is nearest the target.
std::vector<int> binaryRowCounts(int rows, int len, double target)
{
    RowCountSearch search{rows, len, 0};
    search.goal = target * static_cast<double>(search.big) * rows;
    std::vector<int> counts(static_cast<std::size_t>(rows), 0);
    if (static_cast<double>(search.pairs + 1) * static_cast<double>(search.span()) > 16777216.0) {
        mixedPairCounts(search, counts);
        return counts;
    }
    const double gap = pairedCounts(search, counts);
    unpairedCounts(search, gap, counts);
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
            laid[gridIndex(r, width, column)] = MaxCost;
            column = (column + 1) % width;
        }
    std::vector<std::size_t> rowOrder(rows);
    std::vector<std::size_t> columnOrder(width);
    std::iota(rowOrder.begin(), rowOrder.end(), 0);
    std::iota(columnOrder.begin(), columnOrder.end(), 0);
    shuffle(rowOrder, random);
    shuffle(columnOrder, random);
    std::vector<std::uint8_t> shuffled(laid.size());
    for (std::size_t r = 0; r < rows; ++r)
        for (std::size_t c = 0; c < width; ++c)
            shuffled[gridIndex(r, width, c)] = laid[gridIndex(rowOrder[r], width, columnOrder[c])];
    return shuffled;
}

} // namespace

std::vector<std::uint8_t> halfAndHalfPlane(int rows, int len, double target, Random &random)
{
    return layOutRows(binaryRowCounts(rows, len, target), len, random);
}

} // namespace keldar::generator

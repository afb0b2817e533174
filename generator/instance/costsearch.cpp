#include "generator/instance/costsearch.h"

#include <cmath>

namespace keldar::generator::costs {

Search::Search(Table &table, const double *targets, const bool *free, const bool *rigidOne)
    : table_(table), targets_(targets), free_(free)
{
    for (int a = 0; a < 3; ++a)
        if (rigidOne[a])
            ones_[oneCount_++] = a;
}

double Search::worstGap() const
{
    double worst = 0;
    for (int a = 0; a < 3; ++a)
        if (free_[a])
            worst = std::max(worst, std::fabs(table_.spread(a) - targets_[a]));
    return worst;
}

double Search::error(const std::int64_t *numerators) const
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

// Moves keep every line along an axis whose spread must stay 1 half at
// the lowest and half at the highest cost.
int Search::propose(Change *changes, Random &random) const
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

void Search::run(long budget, Random &random)
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
                deltas[c][a] = table_.change(a, table_.lineOf(a, ch.n, ch.d, ch.t), from, ch.to);
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
                    table_.apply(a, table_.lineOf(a, ch.n, ch.d, ch.t), from, ch.to, deltas[c][a]);
            table_.at(ch.n, ch.d, ch.t) = static_cast<std::uint8_t>(ch.to);
        }
    }
}

} // namespace keldar::generator::costs

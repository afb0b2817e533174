#include "generator/instance/daytotals.h"

#include "generator/input/indicators.h"
#include "generator/instance/concentration.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace keldar::generator {

namespace {

// The least concentration a day of `total` nurses reaches over w shifts: the
// even split.  A day of 1 nurse over 3 shifts cannot go below 1, a day of 3
// reaches 0.
double leastShiftConcentration(std::int64_t total, int w)
{
    return concentrationOf(evenDeviation(w, total), packedDeviation(w, total, total));
}

// How well day totals serve the targets, compared in this order: how far
// the day concentration lies outside the tolerance, how far the least mean
// shift concentration their split allows lies above the shift target, how
// far the day concentration is from its target.
struct DayScore {
    double outside = 0;
    double floorExcess = 0;
    double gap = 0;
    bool operator<(const DayScore &o) const
    {
        constexpr double eps = 1e-12;
        if (outside < o.outside - eps || outside > o.outside + eps)
            return outside < o.outside;
        if (floorExcess < o.floorExcess - eps || floorExcess > o.floorExcess + eps)
            return floorExcess < o.floorExcess;
        return gap < o.gap - eps;
    }
};

class DayTotalsGoal
{
public:
    DayTotalsGoal(int days, std::int64_t total, int cap, int w, double dayTarget,
                  double shiftTarget)
        : dev_{days, total}, cap_(cap), w_(w), shiftTarget_(shiftTarget)
    {
        const auto largest = static_cast<double>(packedDeviation(days, total, cap));
        wanted_ = dayTarget * largest;
        // Slightly inside the tolerance, so rounding in the measure keeps it.
        band_ = std::max(0.0, (Tolerance - 1e-7) * largest);
    }
    std::int64_t term(std::int64_t x) const { return dev_.term(x); }
    double floorOf(std::int64_t x) const { return leastShiftConcentration(x, w_); }
    DayScore score(std::int64_t deviation, double floorSum, std::int64_t busy) const
    {
        DayScore s;
        s.gap = std::fabs(static_cast<double>(deviation) - wanted_);
        s.outside = std::max(0.0, s.gap - band_);
        if (w_ > 1 && busy > 0)
            s.floorExcess = std::max(0.0, floorSum / static_cast<double>(busy) - shiftTarget_);
        return s;
    }
    DayScore score(const std::vector<int> &x) const
    {
        std::int64_t deviation = 0;
        double floorSum = 0;
        std::int64_t busy = 0;
        for (int v : x) {
            deviation += term(v);
            floorSum += floorOf(v);
            busy += v > 0 ? 1 : 0;
        }
        return score(deviation, floorSum, busy);
    }
    int cap() const { return cap_; }
    std::int64_t total() const { return dev_.total; }

private:
    Deviation dev_;
    int cap_;
    int w_;
    double shiftTarget_;
    double wanted_ = 0;
    double band_ = 0;
};

// The best of the shapes "k days at a, the other days as even as the rest
// allows", which reach many values the walk from the even split passes by.
bool bestShape(std::vector<int> &x, const DayTotalsGoal &goal, DayScore &best, Random &random)
{
    const auto days = static_cast<std::int64_t>(x.size());
    const std::int64_t total = goal.total();
    const int cap = goal.cap();
    if (days < 2 || static_cast<double>(days) * cap > 2e7)
        return false;
    struct Shape {
        std::int64_t k, a;
    };
    Shape chosen{0, 0};
    bool improved = false;
    for (std::int64_t a = 0; a <= cap; ++a)
        for (std::int64_t k = 1; k < days; ++k) {
            const std::int64_t rest = total - k * a;
            const std::int64_t m = days - k;
            if (rest < 0)
                break;
            if (rest > m * cap)
                continue;
            const std::int64_t q = rest / m;
            const std::int64_t e = rest % m;
            const std::int64_t deviation =
                k * goal.term(a) + e * goal.term(q + 1) + (m - e) * goal.term(q);
            const double floorSum = static_cast<double>(k) * goal.floorOf(a) +
                                    static_cast<double>(e) * goal.floorOf(q + 1) +
                                    static_cast<double>(m - e) * goal.floorOf(q);
            const std::int64_t busy = (a > 0 ? k : 0) + (q + 1 > 0 ? e : 0) + (q > 0 ? m - e : 0);
            const DayScore s = goal.score(deviation, floorSum, busy);
            if (s < best) {
                best = s;
                chosen = {k, a};
                improved = true;
            }
        }
    if (!improved)
        return false;
    const auto [k, a] = chosen;
    const std::int64_t rest = total - k * a;
    const std::int64_t m = days - k;
    std::vector<int> order(x.size());
    std::iota(order.begin(), order.end(), 0);
    shuffle(order, random);
    for (std::int64_t r = 0; r < days; ++r)
        x[static_cast<std::size_t>(order[static_cast<std::size_t>(r)])] =
            static_cast<int>(r < k ? a : rest / m + (r - k < rest % m ? 1 : 0));
    return true;
}

// Moves nurses between days while that improves the score: the day
// concentration into the tolerance first, then totals that split over the
// shifts as evenly as the shift target asks (0 or a multiple of w).
void improveDayTotals(std::vector<int> &x, const DayTotalsGoal &goal, int units, Random &random)
{
    const auto days = static_cast<int>(x.size());
    if (days < 2)
        return;
    const int cap = goal.cap();
    // Large instances look at a sample of pairs per step and stop after a
    // budget that grows with the days, so the time stays linear in them.
    const int fromSample = std::min(days, 64);
    const int toSample = std::min(days, 256);
    const long steps = 4L * days + 64;
    const long long budget = 2'000'000LL + 4'000LL * days;
    long long evaluated = 0;
    std::vector<int> order(x.size());
    std::iota(order.begin(), order.end(), 0);
    // The stream moves on only when the totals change, so the shift splits
    // that follow draw as before when nothing better was found.
    Random local = random;
    bool moved = false;
    for (long step = 0; step < steps; ++step) {
        std::int64_t deviation = 0;
        double floorSum = 0;
        std::int64_t busy = 0;
        for (int v : x) {
            deviation += goal.term(v);
            floorSum += goal.floorOf(v);
            busy += v > 0 ? 1 : 0;
        }
        DayScore best = goal.score(deviation, floorSum, busy);
        int bestFrom = -1;
        int bestTo = -1;
        int bestUnits = 0;
        shuffle(order, local);
        for (int i = 0; i < fromSample; ++i) {
            const int from = order[static_cast<std::size_t>(i)];
            const int a = x[static_cast<std::size_t>(from)];
            for (int j = 0; j < toSample; ++j) {
                const int to = order[static_cast<std::size_t>((i + 1 + j) % days)];
                const int b = x[static_cast<std::size_t>(to)];
                if (to == from)
                    continue;
                // Up to w nurses at once: a whole shift's worth keeps both
                // days' splits even where one nurse at a time cannot.
                for (int u = 1; u <= units && u <= a && b + u <= cap; ++u) {
                    ++evaluated;
                    const DayScore s = goal.score(deviation + goal.term(a - u) - goal.term(a) +
                                                      goal.term(b + u) - goal.term(b),
                                                  floorSum + goal.floorOf(a - u) - goal.floorOf(a) +
                                                      goal.floorOf(b + u) - goal.floorOf(b),
                                                  busy - (a == u ? 1 : 0) + (b == 0 ? 1 : 0));
                    if (s < best) {
                        best = s;
                        bestFrom = from;
                        bestTo = to;
                        bestUnits = u;
                    }
                }
            }
        }
        if (bestFrom < 0)
            break;
        x[static_cast<std::size_t>(bestFrom)] -= bestUnits;
        x[static_cast<std::size_t>(bestTo)] += bestUnits;
        moved = true;
        if (evaluated > budget)
            break;
    }
    if (moved)
        random = local;
}

} // namespace

void refineDayTotals(std::vector<int> &dayTotals, std::int64_t required, int nurses, int w,
                     double dayTarget, double shiftTarget, Random &random)
{
    const DayTotalsGoal goal(static_cast<int>(dayTotals.size()), required, nurses, w, dayTarget,
                             shiftTarget);
    DayScore score = goal.score(dayTotals);
    if (score.outside > 0 || score.floorExcess > Tolerance / 2) {
        bestShape(dayTotals, goal, score, random);
        improveDayTotals(dayTotals, goal, std::max(w, 1), random);
    }
}

} // namespace keldar::generator

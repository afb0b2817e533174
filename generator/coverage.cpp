#include "generator/coverage.h"

#include "generator/nearest.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace keldar::generator {

namespace {

// The concentration of a vector as whole numbers: n * sum|x - T/n| and the
// largest value it can take.
struct Deviation {
    std::int64_t n = 0;
    std::int64_t total = 0;
    std::int64_t term(std::int64_t x) const { return std::llabs(n * x - total); }
};

std::int64_t largestDeviation(std::int64_t n, std::int64_t total, std::int64_t cap)
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
    return largest + untouched * total;
}

// The least concentration a day of `total` nurses reaches over w shifts: the
// even split, total % w shifts one above the others.  A day of 1 nurse over
// 3 shifts cannot go below 1, a day of 3 reaches 0.
double leastShiftConcentration(std::int64_t total, int w)
{
    if (total <= 0 || w <= 1)
        return 0;
    const std::int64_t r = total % w;
    return static_cast<double>(r * (w - r)) / static_cast<double>(std::int64_t{w - 1} * total);
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
        const auto largest = static_cast<double>(largestDeviation(days, total, cap));
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

void concentrate(std::vector<int> &values, std::int64_t total, std::int64_t cap, double target,
                 Random &random)
{
    const auto n = static_cast<int>(values.size());
    if (n == 0)
        return;
    const std::int64_t largest = largestDeviation(n, total, cap);
    const Deviation dev{n, total};

    // Walk from the even split towards the packed one, one unit at a time,
    // moving from the last element above its packed value to the first one
    // below it; the deviation never falls on the way.
    std::vector<int> order(values.size());
    std::iota(order.begin(), order.end(), 0);
    shuffle(order, random);
    auto at = [&](int rank) -> int & {
        return values[order[static_cast<std::size_t>(rank)]];
    };
    const std::int64_t even = total / n;
    const std::int64_t extra = total % n;
    const std::int64_t full = cap > 0 ? std::min(total / cap, std::int64_t{n}) : 0;
    const std::int64_t rest = total - full * cap;
    auto packed = [&](int rank) -> std::int64_t {
        return rank < full ? cap : rank == full ? rest : 0;
    };
    std::int64_t deviation = 0;
    for (int rank = 0; rank < n; ++rank) {
        at(rank) = static_cast<int>(even + (rank < extra ? 1 : 0));
        deviation += dev.term(at(rank));
    }
    const double wanted = target * static_cast<double>(largest);
    int receiver = 0;
    int donor = n - 1;
    while (static_cast<double>(deviation) < wanted) {
        while (receiver < n && at(receiver) >= packed(receiver))
            ++receiver;
        while (donor >= 0 && at(donor) <= packed(donor))
            --donor;
        if (receiver >= n || donor < 0 || receiver >= donor)
            break;
        const std::int64_t before = deviation;
        deviation += dev.term(at(receiver) + 1) - dev.term(at(receiver)) + dev.term(at(donor) - 1) -
                     dev.term(at(donor));
        ++at(receiver);
        --at(donor);
        if (static_cast<double>(deviation) >= wanted &&
            static_cast<double>(deviation) - wanted > wanted - static_cast<double>(before)) {
            --at(receiver);
            ++at(donor);
            deviation = before;
            break;
        }
    }

    // The walk moves in steps of two; single unit moves across the mean can
    // land in between.  A few rounds of the best pair move settle that.
    struct UnitMove {
        int from, to;
        std::int64_t deviation;
    };
    const int candidates = std::min(n, 256);
    for (int round = 0; round < 8; ++round) {
        Nearest<UnitMove> best{std::fabs(static_cast<double>(deviation) - wanted)};
        if (best.gap < 0.5)
            break;
        for (int a = 0; a < candidates; ++a) {
            const int from =
                candidates == n ? a : order[random.below(static_cast<std::uint32_t>(n))];
            const int x = values[static_cast<std::size_t>(from)];
            if (x == 0)
                continue;
            for (int b = 0; b < candidates; ++b) {
                const int to = candidates == n ? b : order[static_cast<std::size_t>(b)];
                const int y = values[static_cast<std::size_t>(to)];
                if (to == from || y >= cap)
                    continue;
                const std::int64_t moved =
                    deviation + dev.term(x - 1) - dev.term(x) + dev.term(y + 1) - dev.term(y);
                best.offer(std::fabs(static_cast<double>(moved) - wanted), {from, to, moved});
            }
        }
        if (!best.found)
            break;
        --values[static_cast<std::size_t>(best.value.from)];
        ++values[static_cast<std::size_t>(best.value.to)];
        deviation = best.value.deviation;
    }
}

void buildCoverage(Instance &in, const Indicators &targets, Random &random)
{
    const std::int64_t capacity = static_cast<std::int64_t>(in.nurses) * in.days;
    const auto required = static_cast<std::int64_t>(
        std::llround(targets[TotalCoverage] * static_cast<double>(capacity)));

    std::vector<int> dayTotals(static_cast<std::size_t>(in.days), 0);
    concentrate(dayTotals, required, in.nurses, targets[DayCoverage], random);

    const int w = in.workingShifts;
    // The walk above ignores two things: values it passes by, and how the
    // totals split over the shifts (a day of 1 nurse over 3 shifts is always
    // packed).  Only when either leaves a target out of reach is it
    // searched further, so other batches keep their files.
    const DayTotalsGoal goal(in.days, required, in.nurses, w, targets[DayCoverage],
                             targets[ShiftCoverage]);
    DayScore score = goal.score(dayTotals);
    if (score.outside > 0 || score.floorExcess > Tolerance / 2) {
        bestShape(dayTotals, goal, score, random);
        improveDayTotals(dayTotals, goal, std::max(w, 1), random);
    }
    const double target = targets[ShiftCoverage];
    std::vector<int> split(static_cast<std::size_t>(w), 0);
    std::vector<std::int64_t> deviation(static_cast<std::size_t>(in.days), 0);
    std::vector<std::int64_t> largest(static_cast<std::size_t>(in.days), 0);
    double sum = 0;
    int busyDays = 0;
    for (int d = 0; d < in.days; ++d) {
        const auto day = static_cast<std::size_t>(d);
        const int dayTotal = dayTotals[day];
        concentrate(split, dayTotal, dayTotal, target, random);
        for (int s = 0; s < w; ++s)
            in.cover(d, s) = split[static_cast<std::size_t>(s)];
        if (dayTotal > 0 && w > 1) {
            const Deviation dev{w, dayTotal};
            for (int s = 0; s < w; ++s)
                deviation[day] += dev.term(in.cover(d, s));
            largest[day] = 2 * std::int64_t{w - 1} * dayTotal;
            sum += static_cast<double>(deviation[day]) / static_cast<double>(largest[day]);
            ++busyDays;
        }
    }
    if (busyDays == 0)
        return;

    // Days with few nurses reach only coarse values; trade single units
    // between shifts of random days, alone or two days at a time so that a
    // step up on one day can pair with a smaller step down on another, until
    // the mean over days is on target.
    struct Move {
        int day = 0;
        int from = 0;
        int to = 0;
        std::int64_t deviation = 0;
        double change = 0;
    };
    auto propose = [&](Move &move) {
        move.day = static_cast<int>(random.below(static_cast<std::uint32_t>(in.days)));
        const auto day = static_cast<std::size_t>(move.day);
        const std::int64_t dayTotal = dayTotals[day];
        move.from = static_cast<int>(random.below(static_cast<std::uint32_t>(w)));
        move.to = static_cast<int>(random.below(static_cast<std::uint32_t>(w)));
        const int from = in.cover(move.day, move.from);
        const int to = in.cover(move.day, move.to);
        if (dayTotal == 0 || move.from == move.to || from == 0)
            return false;
        const Deviation dev{w, dayTotal};
        move.deviation =
            deviation[day] + dev.term(from - 1) - dev.term(from) + dev.term(to + 1) - dev.term(to);
        move.change = static_cast<double>(move.deviation - deviation[day]) /
                      static_cast<double>(largest[day]);
        return true;
    };
    auto apply = [&](const Move &move) {
        --in.cover(move.day, move.from);
        ++in.cover(move.day, move.to);
        deviation[static_cast<std::size_t>(move.day)] = move.deviation;
        sum += move.change;
    };
    const double count = busyDays;
    const long budget = 64L * in.days * w + 4000;
    for (long step = 0; step < budget; ++step) {
        const double gap = std::fabs(sum / count - target);
        if (gap < 0.001)
            break;
        Move first;
        if (!propose(first))
            continue;
        if (std::fabs((sum + first.change) / count - target) < gap) {
            apply(first);
            continue;
        }
        Move second;
        if (!propose(second) || second.day == first.day)
            continue;
        if (std::fabs((sum + first.change + second.change) / count - target) < gap) {
            apply(first);
            apply(second);
        }
    }
}

} // namespace keldar::generator

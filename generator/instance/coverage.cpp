#include "generator/instance/coverage.h"

#include "generator/instance/concentration.h"
#include "generator/instance/daytotals.h"
#include "generator/instance/nearest.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace keldar::generator {

namespace {

// Walks from the even split towards the packed one, one unit at a time,
// moving from the last element above its packed value to the first one
// below it; the deviation never falls on the way.  Returns the deviation
// reached.
std::int64_t walkTowardsPacked(std::vector<int> &values, const std::vector<int> &order,
                               std::int64_t total, std::int64_t cap, double wanted)
{
    const auto n = static_cast<int>(values.size());
    const Deviation dev{n, total};
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
    return deviation;
}

// The walk moves in steps of two; single unit moves across the mean can
// land in between.  A few rounds of the best pair move settle that.
void settleByUnitMoves(std::vector<int> &values, const std::vector<int> &order, std::int64_t total,
                       std::int64_t cap, double wanted, std::int64_t deviation, Random &random)
{
    const auto n = static_cast<int>(values.size());
    const Deviation dev{n, total};
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

} // namespace

void concentrate(std::vector<int> &values, std::int64_t total, std::int64_t cap, double target,
                 Random &random)
{
    const auto n = static_cast<int>(values.size());
    if (n == 0)
        return;
    std::vector<int> order(values.size());
    std::iota(order.begin(), order.end(), 0);
    shuffle(order, random);
    const double wanted = target * static_cast<double>(packedDeviation(n, total, cap));
    const std::int64_t deviation = walkTowardsPacked(values, order, total, cap, wanted);
    settleByUnitMoves(values, order, total, cap, wanted, deviation, random);
}

namespace {

// Each day's requirements split over the shifts, with the shift coverage's
// terms kept up to date while units are traded between shifts.
class ShiftSplit
{
public:
    ShiftSplit(Instance &in, const std::vector<int> &dayTotals, double target, Random &random)
        : in_(in), dayTotals_(dayTotals), target_(target), random_(random), w_(in.workingShifts),
          deviation_(static_cast<std::size_t>(in.days), 0),
          largest_(static_cast<std::size_t>(in.days), 0)
    {}

    // Each day split by concentrate on its own.
    void split()
    {
        std::vector<int> split(static_cast<std::size_t>(w_), 0);
        for (int d = 0; d < in_.days; ++d) {
            const auto day = static_cast<std::size_t>(d);
            const int dayTotal = dayTotals_[day];
            concentrate(split, dayTotal, dayTotal, target_, random_);
            for (int s = 0; s < w_; ++s)
                in_.cover(d, s) = split[static_cast<std::size_t>(s)];
            if (dayTotal > 0 && w_ > 1) {
                const Deviation dev{w_, dayTotal};
                for (int s = 0; s < w_; ++s)
                    deviation_[day] += dev.term(in_.cover(d, s));
                largest_[day] = packedDeviation(w_, dayTotal, dayTotal);
                sum_ += concentrationOf(deviation_[day], largest_[day]);
                ++busyDays_;
            }
        }
    }

    // Days with few nurses reach only coarse values; trade single units
    // between shifts of random days, alone or two days at a time so that a
    // step up on one day can pair with a smaller step down on another, until
    // the mean over days is on target.
    void trade()
    {
        if (busyDays_ == 0)
            return;
        const double count = busyDays_;
        const long budget = 64L * in_.days * w_ + 4000;
        for (long step = 0; step < budget; ++step) {
            const double gap = std::fabs(sum_ / count - target_);
            if (gap < 0.001)
                break;
            Move first;
            if (!propose(first))
                continue;
            if (std::fabs((sum_ + first.change) / count - target_) < gap) {
                apply(first);
                continue;
            }
            Move second;
            if (!propose(second) || second.day == first.day)
                continue;
            if (std::fabs((sum_ + first.change + second.change) / count - target_) < gap) {
                apply(first);
                apply(second);
            }
        }
    }

private:
    struct Move {
        int day = 0;
        int from = 0;
        int to = 0;
        std::int64_t deviation = 0;
        double change = 0;
    };

    bool propose(Move &move)
    {
        move.day = static_cast<int>(random_.below(static_cast<std::uint32_t>(in_.days)));
        const auto day = static_cast<std::size_t>(move.day);
        const std::int64_t dayTotal = dayTotals_[day];
        move.from = static_cast<int>(random_.below(static_cast<std::uint32_t>(w_)));
        move.to = static_cast<int>(random_.below(static_cast<std::uint32_t>(w_)));
        const int from = in_.cover(move.day, move.from);
        const int to = in_.cover(move.day, move.to);
        if (dayTotal == 0 || move.from == move.to || from == 0)
            return false;
        const Deviation dev{w_, dayTotal};
        move.deviation =
            deviation_[day] + dev.term(from - 1) - dev.term(from) + dev.term(to + 1) - dev.term(to);
        move.change = concentrationOf(move.deviation - deviation_[day], largest_[day]);
        return true;
    }

    void apply(const Move &move)
    {
        --in_.cover(move.day, move.from);
        ++in_.cover(move.day, move.to);
        deviation_[static_cast<std::size_t>(move.day)] = move.deviation;
        sum_ += move.change;
    }

    Instance &in_;
    const std::vector<int> &dayTotals_;
    const double target_;
    Random &random_;
    const int w_;
    std::vector<std::int64_t> deviation_;
    std::vector<std::int64_t> largest_;
    double sum_ = 0;
    int busyDays_ = 0;
};

} // namespace

void buildCoverage(Instance &in, const Indicators &targets, Random &random)
{
    const std::int64_t capacity = static_cast<std::int64_t>(in.nurses) * in.days;
    const auto required = static_cast<std::int64_t>(
        std::llround(targets[TotalCoverage] * static_cast<double>(capacity)));

    std::vector<int> dayTotals(static_cast<std::size_t>(in.days), 0);
    concentrate(dayTotals, required, in.nurses, targets[DayCoverage], random);
    refineDayTotals(dayTotals, required, in.nurses, in.workingShifts, targets[DayCoverage],
                    targets[ShiftCoverage], random);
    ShiftSplit shifts(in, dayTotals, targets[ShiftCoverage], random);
    shifts.split();
    shifts.trade();
}

} // namespace keldar::generator

#include "generator/coverage.h"

#include "generator/concentration.h"
#include "generator/daytotals.h"
#include "generator/nearest.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace keldar::generator {

void concentrate(std::vector<int> &values, std::int64_t total, std::int64_t cap, double target,
                 Random &random)
{
    const auto n = static_cast<int>(values.size());
    if (n == 0)
        return;
    const std::int64_t largest = packedDeviation(n, total, cap);
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
    refineDayTotals(dayTotals, required, in.nurses, w, targets[DayCoverage], targets[ShiftCoverage],
                    random);
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
            largest[day] = packedDeviation(w, dayTotal, dayTotal);
            sum += concentrationOf(deviation[day], largest[day]);
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
        move.change = concentrationOf(move.deviation - deviation[day], largest[day]);
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

#include "generator/solve/plantedcoverage.h"

#include "generator/instance/concentration.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace keldar::generator::planting {

namespace {

// The day and shift coverage as the measure takes them, kept up to date as
// units move between cells: a move touches two days' shares alone.
class CoverageShape
{
public:
    explicit CoverageShape(Instance &in)
        : in_(in), w_(in.workingShifts), totals_(std::size_t(in.days), 0)
    {
        for (int d = 0; d < in.days; ++d) {
            for (int s = 0; s < w_; ++s)
                totals_[std::size_t(d)] += in.cover(d, s);
            total_ += totals_[std::size_t(d)];
        }
        const Deviation dev{in.days, total_};
        for (const std::int64_t t : totals_)
            deviation_ += dev.term(t);
        largest_ = packedDeviation(in.days, total_, in.nurses);
        for (int d = 0; d < in.days; ++d)
            share(d, +1);
    }

    double day() const { return concentrationOf(deviation_, largest_); }
    double shift() const { return busy_ == 0 ? 0 : sum_ / busy_; }

    // One unit from cell `from` to cell `to` ([day][shift] indexes).
    void move(std::size_t from, std::size_t to)
    {
        const int a = int(from) / w_;
        const int b = int(to) / w_;
        share(a, -1);
        if (b != a)
            share(b, -1);
        --in_.coverage[from];
        ++in_.coverage[to];
        if (b != a) {
            const Deviation dev{in_.days, total_};
            std::int64_t &ta = totals_[std::size_t(a)];
            std::int64_t &tb = totals_[std::size_t(b)];
            deviation_ += dev.term(ta - 1) - dev.term(ta) + dev.term(tb + 1) - dev.term(tb);
            --ta;
            ++tb;
        }
        share(a, +1);
        if (b != a)
            share(b, +1);
    }

private:
    // Adds (or takes out) day d's shift coverage from the mean's sum.
    void share(int d, int sign)
    {
        const std::int64_t total = totals_[std::size_t(d)];
        if (total == 0)
            return;
        busy_ += sign;
        sum_ +=
            sign * concentration(in_.coverage.data() + std::size_t(d) * std::size_t(w_), w_, total);
    }

    Instance &in_;
    const int w_;
    std::vector<std::int64_t> totals_;
    std::int64_t total_ = 0, deviation_ = 0, largest_ = 0;
    double sum_ = 0;
    int busy_ = 0;
};

// Units of the coverage moved between the shifts the roster works, one at
// a time, while the day and shift coverage come nearer their targets: the
// roster still meets the coverage and the total stays.
void polishCoverage(Instance &in, const std::vector<int> &worked, const Indicators &targets,
                    Random &random)
{
    CoverageShape shape(in);
    auto gap = [&] {
        return std::max(std::fabs(shape.day() - targets[DayCoverage]),
                        std::fabs(shape.shift() - targets[ShiftCoverage]));
    };
    double now = gap();
    const auto cells = std::uint32_t(in.coverage.size());
    const long budget = 40L * cells + 400;
    for (long step = 0; step < budget && now > Tolerance / 2; ++step) {
        const std::size_t from = random.below(cells);
        const std::size_t to = random.below(cells);
        if (from == to || in.coverage[from] == 0 || in.coverage[to] >= worked[to])
            continue;
        shape.move(from, to);
        const double moved = gap();
        if (moved < now)
            now = moved;
        else
            shape.move(to, from);
    }
}

// Takes `count` units at random from the cells of `from` (each cell giving at
// most its value) and moves them by `apply`.
template <typename Apply>
void moveUnits(const std::vector<int> &from, std::int64_t count, Random &random, Apply apply)
{
    std::vector<std::size_t> units;
    for (std::size_t i = 0; i < from.size(); ++i)
        for (int u = 0; u < from[i]; ++u)
            units.push_back(i);
    shuffle(units, random);
    for (std::int64_t u = 0; u < count && u < std::int64_t(units.size()); ++u)
        apply(units[std::size_t(u)]);
}

} // namespace

// The measures of the coverage do not depend on the order of the days, nor
// on the order of a day's shifts, so both are chosen to suit the rules:
// under a bound on runs of work, the busiest days fill runs of that length
// with rests of the rules' length between them (in a random phase); under
// forbidden successions, every day's largest requirement is on the same
// shift, its second largest on the same other one, and so on, so a nurse
// can stay on her shift.
void arrangeForRules(Instance &in, const Walk &w, Random &random)
{
    const int working = in.workingShifts;
    const std::vector<int> before = in.coverage;
    if (w.runBound) {
        std::vector<int> byTotal(std::size_t(in.days));
        std::vector<int> totals(std::size_t(in.days), 0);
        for (int d = 0; d < in.days; ++d) {
            byTotal[std::size_t(d)] = d;
            for (int s = 0; s < working; ++s)
                totals[std::size_t(d)] += in.cover(d, s);
        }
        std::stable_sort(byTotal.begin(), byTotal.end(), [&](int a, int b) {
            return totals[std::size_t(a)] > totals[std::size_t(b)];
        });
        const int period = w.run + w.rest;
        const int phase = int(random.below(std::uint32_t(period)));
        std::vector<int> runDays, restDays;
        for (int d = 0; d < in.days; ++d)
            ((d + phase) % period < w.run ? runDays : restDays).push_back(d);
        shuffle(runDays, random);
        shuffle(restDays, random);
        runDays.insert(runDays.end(), restDays.begin(), restDays.end());
        for (int i = 0; i < in.days; ++i)
            for (int s = 0; s < working; ++s)
                in.cover(runDays[std::size_t(i)], s) = before[gridIndex(
                    std::size_t(byTotal[std::size_t(i)]), std::size_t(working), std::size_t(s))];
    }
    if (w.tracked > 1) {
        std::vector<int> shiftOrder(std::size_t(working), 0);
        for (int s = 0; s < working; ++s)
            shiftOrder[std::size_t(s)] = s;
        shuffle(shiftOrder, random);
        // The shift most others may precede takes the most nurses.
        std::vector<int> preceded(std::size_t(working), 0);
        for (int a = 0; a < working; ++a)
            for (int b = 0; b < working; ++b)
                preceded[std::size_t(b)] += w.may(a, b) ? 1 : 0;
        std::stable_sort(shiftOrder.begin(), shiftOrder.end(), [&](int a, int b) {
            return preceded[std::size_t(a)] > preceded[std::size_t(b)];
        });
        std::vector<int> day(std::size_t(working), 0);
        for (int d = 0; d < in.days; ++d) {
            for (int s = 0; s < working; ++s)
                day[std::size_t(s)] = in.cover(d, s);
            std::sort(day.begin(), day.end(), std::greater<int>());
            for (int s = 0; s < working; ++s)
                in.cover(d, shiftOrder[std::size_t(s)]) = day[std::size_t(s)];
        }
    }
}

// Shifts beyond the coverage, spread at random over the days that have room
// for them (no day holds more working shifts than nurses).
std::vector<int> plannedExtra(const Instance &in, std::int64_t extra, Random &random)
{
    std::vector<int> planned(in.coverage.size(), 0);
    std::vector<int> room;
    for (int d = 0; d < in.days; ++d) {
        int need = 0;
        for (int s = 0; s < in.workingShifts; ++s)
            need += in.cover(d, s);
        for (int free = in.nurses - need; free > 0; --free)
            room.push_back(d);
    }
    shuffle(room, random);
    for (std::int64_t i = 0; i < extra && i < std::int64_t(room.size()); ++i) {
        const int d = room[std::size_t(i)];
        ++planned[gridIndex(std::size_t(d), std::size_t(in.workingShifts),
                            random.below(std::uint32_t(in.workingShifts)))];
    }
    return planned;
}

// The coverage the roster meets, with exactly the share `slack` of its
// working shifts (as near as whole shifts allow) left unrequired: a target
// the roster could not meet, or more work than the rules let it leave out,
// moves the coverage, which is then brought back towards its shape.
double settleCoverage(Instance &in, const std::vector<int> &roster, double slack,
                      const Indicators &targets, Random &random)
{
    std::vector<int> worked(in.coverage.size(), 0);
    for (int n = 0; n < in.nurses; ++n)
        for (int d = 0; d < in.days; ++d) {
            const int s = roster[gridIndex(n, in.days, d)];
            if (s < in.workingShifts)
                ++worked[gridIndex(d, in.workingShifts, s)];
        }
    std::int64_t planted = 0, required = 0;
    std::vector<int> spare(worked.size());
    for (std::size_t i = 0; i < worked.size(); ++i) {
        in.coverage[i] = std::min(in.coverage[i], worked[i]);
        spare[i] = worked[i] - in.coverage[i];
        planted += worked[i];
        required += in.coverage[i];
    }
    const auto wanted = std::int64_t(std::llround((1 - slack) * double(planted)));
    if (required > wanted)
        moveUnits(in.coverage, required - wanted, random, [&](std::size_t i) { --in.coverage[i]; });
    else if (required < wanted)
        moveUnits(spare, wanted - required, random, [&](std::size_t i) { ++in.coverage[i]; });
    polishCoverage(in, worked, targets, random);
    return planted == 0 ? 0 : 1 - double(wanted) / double(planted);
}

} // namespace keldar::generator::planting

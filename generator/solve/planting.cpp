#include "generator/solve/planting.h"

#include "generator/instance/coverage.h"
#include "generator/instance/preferences.h"
#include "generator/instance/random.h"
#include "generator/solve/capacity.h"
#include "generator/solve/dayplanner.h"
#include "generator/solve/plantedcoverage.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

namespace keldar::generator {

namespace {

using planting::DayPlanner;
using planting::extend;
using planting::Free;
using planting::keepsRules;
using planting::trim;
using planting::Walk;
using planting::workingDays;

// What a nurse gains by one working shift: covering a requirement first,
// then one of the planned shifts beyond the coverage; work nobody planned
// costs, so it is only taken when the rules ask for it.  A requirement on a
// day that still needs many of the nurses left weighs a little more, and a
// little noise keeps the nurses' rosters apart.
constexpr std::int64_t Required = 1 << 20;
constexpr std::int64_t Planned = Required / 16;
constexpr std::int64_t Unplanned = -Required;
constexpr std::int64_t Urgency = 4 * Required;
constexpr std::uint32_t Noise = 64;
// Under forbidden successions a nurse who keeps her shift through a run
// leaves the shifts of the days after as the coverage shaped them.
constexpr std::int64_t Continuity = Required / 8;

// The roster's working shifts, nurse by nurse in a random order, each the
// best the rules allow against what is still required and planned; then
// what the turns left open is mended, and work nobody needs is dropped.
class Planter
{
public:
    Planter(const Instance &in, const Walk &walk, std::vector<int> planned, double slack,
            Random &random)
        : in_(in), w_(walk), planner_(walk, Continuity), random_(random), slack_(slack),
          required_(in.coverage), planned_(std::move(planned)), wanted_(required_),
          worked_(required_.size(), 0), plans_(std::size_t(in.nurses))
    {
        dayNeed_.assign(std::size_t(in.days), 0);
        for (int d = 0; d < in.days; ++d)
            for (int s = 0; s < in.workingShifts; ++s)
                dayNeed_[std::size_t(d)] += in.cover(d, s);
        for (std::size_t i = 0; i < wanted_.size(); ++i) {
            wanted_[i] += planned_[i];
            left_ += wanted_[i];
        }
    }

    std::vector<int> plant()
    {
        std::vector<int> order(std::size_t(in_.nurses));
        for (int n = 0; n < in_.nurses; ++n)
            order[std::size_t(n)] = n;
        shuffle(order, random_);
        for (int i = 0; i < in_.nurses; ++i)
            assign(order[std::size_t(i)], in_.nurses - i);
        mend(order);
        prune(wanted_, std::numeric_limits<std::int64_t>::max());
        balance(order, slack_);
        std::vector<int> roster(std::size_t(in_.nurses) * std::size_t(in_.days), in_.workingShifts);
        for (int n = 0; n < in_.nurses; ++n)
            for (int d = 0; d < in_.days; ++d)
                if (plans_[std::size_t(n)][std::size_t(d)] != Free)
                    roster[gridIndex(n, in_.days, d)] = plans_[std::size_t(n)][std::size_t(d)];
        return roster;
    }

private:
    std::size_t cell(int d, int s) const { return std::size_t(d * in_.workingShifts + s); }

    std::vector<std::int64_t> values(int nursesLeft)
    {
        const int working = in_.workingShifts;
        std::vector<std::int64_t> values(std::size_t(in_.days) * std::size_t(working));
        for (int d = 0; d < in_.days; ++d)
            for (int s = 0; s < working; ++s) {
                const std::size_t i = cell(d, s);
                const std::int64_t noise = random_.below(Noise);
                values[i] = required_[i] > 0
                                ? Required + Urgency * dayNeed_[std::size_t(d)] / nursesLeft + noise
                            : planned_[i] > 0 ? Planned + noise
                                              : Unplanned - noise;
            }
        return values;
    }

    // The plan's working days within the rules' counts: at most her share of
    // what is left (never below the least), at least the least.
    std::vector<int> withinCounts(std::vector<int> plan, const std::vector<std::int64_t> &values,
                                  int nursesLeft)
    {
        if (w_.least == 0 && !w_.most)
            return plan;
        const std::int64_t share = (left_ + nursesLeft - 1) / nursesLeft;
        const int most =
            std::max(w_.least, int(std::min<std::int64_t>(share, w_.most.value_or(w_.days))));
        trim(plan, most, values, in_.workingShifts);
        if (!extend(w_, plan, w_.least, values)) {
            // Every day worth working: the most days the other rules allow,
            // then cut back to the share.
            std::vector<std::int64_t> eager(values);
            for (std::int64_t &value : eager)
                value += 8 * Required;
            plan = planner_.plan(eager);
            trim(plan, most, values, in_.workingShifts);
        }
        return plan;
    }

    void work(int nurse, int d, int s)
    {
        plans_[std::size_t(nurse)][std::size_t(d)] = s;
        const std::size_t i = cell(d, s);
        ++worked_[i];
        if (required_[i] > 0) {
            --required_[i];
            --dayNeed_[std::size_t(d)];
            --left_;
        } else if (planned_[i] > 0) {
            --planned_[i];
            --left_;
        }
    }

    void assign(int nurse, int nursesLeft)
    {
        const std::vector<std::int64_t> worth = values(nursesLeft);
        const std::vector<int> plan = withinCounts(planner_.plan(worth), worth, nursesLeft);
        plans_[std::size_t(nurse)].assign(std::size_t(in_.days), Free);
        for (int d = 0; d < in_.days; ++d)
            if (plan[std::size_t(d)] != Free)
                work(nurse, d, plan[std::size_t(d)]);
    }

    // Each requirement still open goes to a nurse free that day whom the
    // rules let work it, or to one working that day on a shift beyond what
    // is wanted who may change to it.
    void mend(const std::vector<int> &order)
    {
        for (int d = 0; d < in_.days; ++d)
            for (int s = 0; s < in_.workingShifts; ++s)
                for (std::size_t k = 0; k < order.size() && required_[cell(d, s)] > 0; ++k)
                    mendWith(order[k], d, s);
    }

    void mendWith(int nurse, int d, int s)
    {
        std::vector<int> &plan = plans_[std::size_t(nurse)];
        const int now = plan[std::size_t(d)];
        if (now == Free) {
            if ((!w_.most || workingDays(plan) < *w_.most) && keepsRules(w_, plan, d, s))
                work(nurse, d, s);
            return;
        }
        if (now == s || worked_[cell(d, now)] <= wanted_[cell(d, now)])
            return;
        plan[std::size_t(d)] = Free;
        if (keepsRules(w_, plan, d, s)) {
            --worked_[cell(d, now)];
            work(nurse, d, s);
        } else
            plan[std::size_t(d)] = now;
    }

    // Work beyond `keep` ([day][shift]) goes while the nurse keeps her least
    // and `budget` lasts: at the end of a run, where dropping it keeps every
    // rule, or inside one when as many days in a row go as a rest needs.
    void prune(const std::vector<int> &keep, std::int64_t budget)
    {
        for (std::vector<int> &plan : plans_) {
            int count = workingDays(plan);
            for (int d = 0; d < in_.days && count > w_.least && budget > 0;) {
                int last = d; // the stretch of work beyond `keep` from d
                while (last < in_.days && beyond(plan, last, keep))
                    ++last;
                const int length = last - d;
                const int most = int(std::min<std::int64_t>(count - w_.least, budget));
                const bool atEnd = d == 0 || plan[std::size_t(d - 1)] == Free || last == in_.days ||
                                   plan[std::size_t(last)] == Free;
                // Inside a run, only a whole rest's worth may go.
                if (length == 0 || (!atEnd && std::min(length, most) < w_.rest)) {
                    d = std::max(d + 1, last);
                    continue;
                }
                // Nearest the run's end first, so a stretch cut short still is one.
                const bool fromStart = d == 0 || plan[std::size_t(d - 1)] == Free;
                for (int k = 0; k < std::min(length, most); ++k) {
                    const int day = atEnd && !fromStart ? last - 1 - k : d + k;
                    --worked_[cell(day, plan[std::size_t(day)])];
                    plan[std::size_t(day)] = Free;
                    --count;
                    --budget;
                }
                d = last;
            }
        }
    }

    // Work added where the rules let a nurse take one more shift, on shifts
    // the coverage leaves room on, until `count` more are worked.
    void add(const std::vector<int> &order, std::int64_t count)
    {
        for (std::size_t k = 0; k < order.size() && count > 0; ++k) {
            std::vector<int> &plan = plans_[std::size_t(order[k])];
            for (int d = 0; d < in_.days && count > 0; ++d)
                for (int s = 0; s < in_.workingShifts && count > 0; ++s)
                    if (plan[std::size_t(d)] == Free &&
                        (!w_.most || workingDays(plan) < *w_.most) && keepsRules(w_, plan, d, s)) {
                        plan[std::size_t(d)] = s;
                        ++worked_[cell(d, s)];
                        --count;
                    }
        }
    }

    // The roster's working shifts brought to the number the slack asks for
    // beside the coverage as built.
    void balance(const std::vector<int> &order, double slack)
    {
        std::int64_t planted = 0, required = 0;
        for (std::size_t i = 0; i < worked_.size(); ++i) {
            planted += worked_[i];
            required += in_.coverage[i];
        }
        // Requirements left open are made up on work beyond them.
        const auto wanted = std::int64_t(std::llround(double(required) / (1 - slack)));
        if (planted > wanted)
            prune(in_.coverage, planted - wanted);
        else if (planted < wanted)
            add(order, wanted - planted);
    }

    bool beyond(const std::vector<int> &plan, int d, const std::vector<int> &keep) const
    {
        const int s = plan[std::size_t(d)];
        return s != Free && worked_[cell(d, s)] > keep[cell(d, s)];
    }

    const Instance &in_;
    const Walk &w_;
    DayPlanner planner_;
    Random &random_;
    const double slack_;
    std::vector<int> required_; // [day][shift] still to cover
    std::vector<int> planned_;  // [day][shift] still to work beyond the coverage
    std::vector<int> wanted_;   // [day][shift] required and planned, as first asked
    std::vector<int> worked_;   // [day][shift] nurses on it
    std::vector<int> dayNeed_;  // [day] still required
    std::int64_t left_ = 0;     // required and planned still to work
    std::vector<std::vector<int>> plans_;
};

} // namespace

QString plantingProblem(const Rules &rules, int days, int workingShifts)
{
    Rules uncounted = rules;
    uncounted.maxWorkingShifts.reset();
    const int reachable = mostWorkingShifts(uncounted, days, workingShifts);
    const int least = rules.minWorkingShifts.value_or(0);
    if (rules.maxWorkingShifts && *rules.maxWorkingShifts < least)
        return QStringLiteral("they ask for at least %1 and at most %2 working shifts a nurse")
            .arg(least)
            .arg(*rules.maxWorkingShifts);
    if (reachable < least)
        return QStringLiteral("a nurse must work %1 shifts, and over %2 days the rules let her "
                              "work at most %3")
            .arg(least)
            .arg(days)
            .arg(reachable);
    return QString();
}

PlantedInstance generatePlanted(const BatchInput &input, std::uint64_t seed, const Rules &rules,
                                double slack)
{
    Random random(seed);
    PlantedInstance made;
    Instance &in = made.instance;
    in = Instance::blank(input.nurses, input.days, input.workingShifts(), input.freeCounted);
    buildCoverage(in, input.targets, random);
    std::int64_t required = 0;
    for (const int c : in.coverage)
        required += c;
    const auto extra = std::int64_t(std::llround(double(required) * slack / (1 - slack)));
    const Walk walk(rules, in.days, in.workingShifts);
    planting::arrangeForRules(in, walk, random);
    made.roster =
        Planter(in, walk, planting::plannedExtra(in, extra, random), slack, random).plant();
    made.slack = planting::settleCoverage(in, made.roster, slack, input.targets, random);
    buildPreferences(in, input.targets, random);
    return made;
}

} // namespace keldar::generator

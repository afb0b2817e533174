#include "generator/solve/planting.h"

#include "generator/instance/concentration.h"
#include "generator/instance/coverage.h"
#include "generator/instance/preferences.h"
#include "generator/instance/random.h"
#include "generator/solve/capacity.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

namespace keldar::generator {

namespace {

constexpr int Free = -1;
constexpr std::int64_t Unreached = std::numeric_limits<std::int64_t>::min() / 4;

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

// The rules as a nurse's day-by-day walk sees them: how long a run of work
// may grow, how many free days a rest needs, and which shift may follow
// which.  Dimensions the rules leave out collapse to one.
struct Walk {
    int days = 0;
    int working = 0;
    int run = 1; // runs are counted up to this when the rules bound them
    bool runBound = false;
    int rest = 1;              // free days counted up to this; a rest of `rest` is complete
    int tracked = 1;           // shifts told apart: all of them when successions are forbidden
    std::vector<char> follows; // [a * W + b]: b may follow a the next day
    int least = 0;             // working shifts a nurse must take
    std::optional<int> most;

    Walk(const Rules &rules, int days_, int working_) : days(days_), working(working_)
    {
        if (rules.maxConsecutiveWorkingDays) {
            runBound = true;
            run = std::max(1, *rules.maxConsecutiveWorkingDays);
        }
        rest = std::max(1, rules.minConsecutiveFreeDays.value_or(1));
        follows.assign(std::size_t(working) * std::size_t(working), 1);
        for (const int code : rules.forbiddenSuccessions)
            if (code / 100 < working && code % 100 < working)
                follows[std::size_t(code / 100 * working + code % 100)] = 0;
        tracked = std::find(follows.begin(), follows.end(), 0) != follows.end() ? working : 1;
        least = std::max(0, rules.minWorkingShifts.value_or(0));
        most = rules.maxWorkingShifts;
    }

    int workStates() const { return run * tracked; }
    int states() const { return workStates() + rest; }
    int workState(int length, int shift) const { return (length - 1) * tracked + shift; }
    int freeState(int freeDays) const { return workStates() + freeDays - 1; }
    bool may(int a, int b) const { return follows[std::size_t(a * working + b)] != 0; }
};

// One nurse's best days under the rules for the values of her working
// shifts ([day][shift]): a dynamic programme over (length of the run of work
// and its last shift) or (free days since the last work).
class DayPlanner
{
public:
    explicit DayPlanner(const Walk &walk)
        : w_(walk), best_(std::size_t(walk.states())), next_(best_.size()),
          from_(std::size_t(walk.days) * best_.size()), shift_(from_.size())
    {}

    // The plan: a shift or Free for each day.
    std::vector<int> plan(const std::vector<std::int64_t> &values)
    {
        std::fill(best_.begin(), best_.end(), Unreached);
        best_[std::size_t(w_.freeState(w_.rest))] = 0; // nothing owed before the first day
        for (int d = 0; d < w_.days; ++d)
            step(d, values);
        return trace();
    }

private:
    // Each state of day d from its best predecessor of the day before.
    void step(int d, const std::vector<std::int64_t> &values)
    {
        const std::int64_t *value = values.data() + std::size_t(d) * std::size_t(w_.working);
        const std::size_t base = std::size_t(d) * best_.size();
        const auto keep = [&](int to, std::int64_t best, int from, int shift) {
            next_[std::size_t(to)] = best;
            from_[base + std::size_t(to)] = from;
            shift_[base + std::size_t(to)] = shift;
        };
        // A free day: after work, or a rest going on.
        for (int f = 1; f <= w_.rest; ++f) {
            std::int64_t best = Unreached;
            int from = 0;
            const auto offer = [&](int state) {
                if (best_[std::size_t(state)] > best) {
                    best = best_[std::size_t(state)];
                    from = state;
                }
            };
            if (f == 1)
                for (int state = 0; state < w_.workStates(); ++state)
                    offer(state);
            if (f > 1)
                offer(w_.freeState(f - 1));
            if (f == w_.rest)
                offer(w_.freeState(f));
            keep(w_.freeState(f), best, from, Free);
        }
        // Untold shifts: the day's best one.
        int pick = 0;
        for (int s = 1; w_.tracked == 1 && s < w_.working; ++s)
            if (value[s] > value[pick])
                pick = s;
        // A working day: after a complete rest, or one more day of a run.
        for (int length = 1; length <= w_.run; ++length)
            for (int s = 0; s < w_.tracked; ++s) {
                const int shift = w_.tracked == 1 ? pick : s;
                std::int64_t best = Unreached;
                int from = 0;
                if (length == 1) {
                    best = best_[std::size_t(w_.freeState(w_.rest))];
                    from = w_.freeState(w_.rest);
                }
                if (length > 1 || !w_.runBound) {
                    const int before = w_.runBound ? length - 1 : 1;
                    for (int t = 0; t < w_.tracked; ++t) {
                        const std::int64_t reached = best_[std::size_t(w_.workState(before, t))];
                        if (reached == Unreached || (w_.tracked > 1 && !w_.may(t, s)))
                            continue;
                        const std::int64_t with =
                            reached + (w_.tracked > 1 && t == s ? Continuity : 0);
                        if (with > best) {
                            best = with;
                            from = w_.workState(before, t);
                        }
                    }
                }
                keep(w_.workState(length, s), best == Unreached ? Unreached : best + value[shift],
                     from, shift);
            }
        best_.swap(next_);
    }

    std::vector<int> trace() const
    {
        const auto at = std::max_element(best_.begin(), best_.end()) - best_.begin();
        std::vector<int> days(std::size_t(w_.days), Free);
        int state = int(at);
        for (int d = w_.days - 1; d >= 0; --d) {
            const std::size_t i = std::size_t(d) * best_.size() + std::size_t(state);
            days[std::size_t(d)] = shift_[i];
            state = from_[i];
        }
        return days;
    }

    const Walk &w_;
    std::vector<std::int64_t> best_, next_;
    std::vector<int> from_, shift_; // [day][state]: where the best came from, the shift taken
};

// Whether working `shift` on day d, the rest of the plan as it stands, keeps
// the rules that one day touches: its run's length, the rests on either
// side, and the successions with its neighbours.
bool keepsRules(const Walk &w, const std::vector<int> &plan, int d, int shift)
{
    auto working = [&](int day) {
        return day >= 0 && day < w.days && plan[std::size_t(day)] != Free;
    };
    if (w.tracked > 1 && ((working(d - 1) && !w.may(plan[std::size_t(d - 1)], shift)) ||
                          (working(d + 1) && !w.may(shift, plan[std::size_t(d + 1)]))))
        return false;
    int first = d;
    while (working(first - 1))
        --first;
    int last = d;
    while (working(last + 1))
        ++last;
    if (w.runBound && last - first + 1 > w.run)
        return false;
    int before = first - 1;
    while (before >= 0 && !working(before))
        --before;
    int after = last + 1;
    while (after < w.days && !working(after))
        ++after;
    return (before < 0 || first - before - 1 >= w.rest) &&
           (after >= w.days || after - last - 1 >= w.rest);
}

int workingDays(const std::vector<int> &plan)
{
    return int(plan.size() - std::size_t(std::count(plan.begin(), plan.end(), Free)));
}

// Down to `most` working days, dropping the least valued day at either end
// of a run: a run cut short keeps every rule.
void trim(std::vector<int> &plan, int most, const std::vector<std::int64_t> &values, int working)
{
    const int days = int(plan.size());
    for (int count = workingDays(plan); count > most; --count) {
        int drop = -1;
        std::int64_t lowest = 0;
        for (int d = 0; d < days; ++d) {
            const int s = plan[std::size_t(d)];
            const bool end = s != Free && (d == 0 || plan[std::size_t(d - 1)] == Free ||
                                           d + 1 == days || plan[std::size_t(d + 1)] == Free);
            const std::int64_t value = end ? values[std::size_t(d * working + s)] : 0;
            if (end && (drop < 0 || value < lowest)) {
                drop = d;
                lowest = value;
            }
        }
        plan[std::size_t(drop)] = Free;
    }
}

// Up to `least` working days, adding the best valued day the rules allow
// one at a time; false when no day can be added.
bool extend(const Walk &w, std::vector<int> &plan, int least,
            const std::vector<std::int64_t> &values)
{
    for (int count = workingDays(plan); count < least; ++count) {
        int day = -1, shift = 0;
        for (int d = 0; d < w.days; ++d)
            for (int s = 0; plan[std::size_t(d)] == Free && s < w.working; ++s)
                if ((day < 0 || values[std::size_t(d * w.working + s)] >
                                    values[std::size_t(day * w.working + shift)]) &&
                    keepsRules(w, plan, d, s)) {
                    day = d;
                    shift = s;
                }
        if (day < 0)
            return false;
        plan[std::size_t(day)] = shift;
    }
    return true;
}

// The roster's working shifts, nurse by nurse in a random order, each the
// best the rules allow against what is still required and planned; then
// what the turns left open is mended, and work nobody needs is dropped.
class Planter
{
public:
    Planter(const Instance &in, const Walk &walk, std::vector<int> planned, double slack,
            Random &random)
        : in_(in), w_(walk), planner_(walk), random_(random), slack_(slack), required_(in.coverage),
          planned_(std::move(planned)), wanted_(required_), worked_(required_.size(), 0),
          plans_(std::size_t(in.nurses))
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
    arrangeForRules(in, walk, random);
    made.roster = Planter(in, walk, plannedExtra(in, extra, random), slack, random).plant();
    made.slack = settleCoverage(in, made.roster, slack, input.targets, random);
    buildPreferences(in, input.targets, random);
    return made;
}

} // namespace keldar::generator

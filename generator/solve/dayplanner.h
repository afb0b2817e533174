#pragma once

#include <algorithm>

#include "generator/solve/roster.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

// One nurse's days under the rules, for a roster planted nurse by nurse: the
// rules as her walk through the days sees them, the best plan for given
// values of her working shifts, and the changes to a plan that keep them.
namespace keldar::generator::planting {

// A day without work in a plan; otherwise the working shift, 0..W-1.
inline constexpr int Free = -1;
inline constexpr std::int64_t Unreached = std::numeric_limits<std::int64_t>::min() / 4;

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
    // `keepShift`: what a day on the shift of the day before is worth more,
    // where shifts are told apart.
    DayPlanner(const Walk &walk, std::int64_t keepShift)
        : w_(walk), keepShift_(keepShift), best_(std::size_t(walk.states())), next_(best_.size()),
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
                            reached + (w_.tracked > 1 && t == s ? keepShift_ : 0);
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
    const std::int64_t keepShift_;
    std::vector<std::int64_t> best_, next_;
    std::vector<int> from_, shift_; // [day][state]: where the best came from, the shift taken
};

// Whether working `shift` on day d, the rest of the plan as it stands, keeps
// the rules that one day touches: its run's length, the rests on either
// side, and the successions with its neighbours.
bool keepsRules(const Walk &w, const std::vector<int> &plan, int d, int shift);

int workingDays(const std::vector<int> &plan);

// Down to `most` working days, dropping the least valued day at either end
// of a run: a run cut short keeps every rule.
void trim(std::vector<int> &plan, int most, const std::vector<std::int64_t> &values, int working);

// Up to `least` working days, adding the best valued day the rules allow
// one at a time; false when no day can be added.
bool extend(const Walk &w, std::vector<int> &plan, int least,
            const std::vector<std::int64_t> &values);

} // namespace keldar::generator::planting

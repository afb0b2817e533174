#include "generator/solve/dayplanner.h"

#include <algorithm>

namespace keldar::generator::planting {

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

} // namespace keldar::generator::planting

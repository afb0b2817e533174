#include "generator/solve/capacity.h"

#include <algorithm>
#include <vector>

namespace keldar::generator {

namespace {

constexpr int Unreached = -1;

// The longest run of working days the forbidden successions allow: the
// longest walk through the shifts, unbounded (days) when it can cycle.
int longestRun(const Rules &rules, int days, int workingShifts)
{
    const auto allowed = [&rules](int a, int b) {
        return a >= 100 || b >= 100 ||
               std::find(rules.forbiddenSuccessions.begin(), rules.forbiddenSuccessions.end(),
                         a * 100 + b) == rules.forbiddenSuccessions.end();
    };
    // Walks of length L ending in each shift, L = 1, 2, ...: none left after
    // W steps without a cycle.
    std::vector<char> ends(std::size_t(workingShifts), 1);
    int length = workingShifts > 0 ? 1 : 0;
    while (length < days && length <= workingShifts) {
        std::vector<char> next(ends.size(), 0);
        bool any = false;
        for (int a = 0; a < workingShifts; ++a)
            for (int b = 0; ends[std::size_t(a)] && b < workingShifts; ++b)
                if (allowed(a, b)) {
                    next[std::size_t(b)] = 1;
                    any = true;
                }
        if (!any)
            return length;
        ends.swap(next);
        ++length;
    }
    return length > workingShifts ? days : length;
}

} // namespace

int mostWorkingShifts(const Rules &rules, int days, int workingShifts)
{
    const int run = std::min(longestRun(rules, days, workingShifts),
                             rules.maxConsecutiveWorkingDays.value_or(days));
    const int rest = std::max(1, rules.minConsecutiveFreeDays.value_or(1));
    // Best count by state: working for r + 1 days in a row (r < run), free
    // for f + 1 days in a row after work (capped at rest), or free since the
    // first day, when no rest is owed.
    std::vector<int> working(std::size_t(std::max(run, 0)), Unreached);
    std::vector<int> resting(std::size_t(rest), Unreached);
    int fresh = 0;
    if (run > 0)
        working[0] = 1;
    for (int d = 1; d < days; ++d) {
        std::vector<int> work(working.size(), Unreached);
        std::vector<int> free(resting.size(), Unreached);
        const int rested = std::max(fresh, resting.back());
        if (run > 0 && rested != Unreached)
            work[0] = rested + 1;
        for (std::size_t r = 0; r + 1 < working.size(); ++r)
            if (working[r] != Unreached)
                work[r + 1] = working[r] + 1;
        for (int value : working)
            free[0] = std::max(free[0], value);
        for (std::size_t f = 0; f < resting.size(); ++f) {
            const std::size_t to = std::min(f + 1, resting.size() - 1);
            free[to] = std::max(free[to], resting[f]);
        }
        working.swap(work);
        resting.swap(free);
    }
    int most = fresh;
    for (int value : working)
        most = std::max(most, value);
    for (int value : resting)
        most = std::max(most, value);
    return std::min(most, rules.maxWorkingShifts.value_or(days));
}

} // namespace keldar::generator

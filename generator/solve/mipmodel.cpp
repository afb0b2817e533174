#include "generator/solve/mipmodel.h"

#include <algorithm>

namespace keldar::generator {

namespace {

using Entries = std::vector<std::pair<int, double>>;

// The crew model stays small enough to settle in a fraction of a second.
constexpr std::size_t CrewModelArcLimit = 200'000;

int column(const Instance &in, int n, int d, int t)
{
    return static_cast<int>(in.costIndex(n, d, t));
}

int freeColumn(const Instance &in, int n, int d)
{
    return column(in, n, d, in.workingShifts);
}

// Working shift a followed by b the next day, for the shifts the instance has.
using Pairs = std::vector<std::vector<bool>>;

Pairs forbiddenPairs(const Instance &in, const Rules &rules)
{
    const auto size = static_cast<std::size_t>(in.workingShifts);
    Pairs forbidden(size, std::vector<bool>(size));
    for (const int code : rules.forbiddenSuccessions)
        if (code / 100 < in.workingShifts && code % 100 < in.workingShifts)
            forbidden[std::size_t(code / 100)][std::size_t(code % 100)] = true;
    return forbidden;
}

bool anyForbidden(const Pairs &forbidden)
{
    return std::any_of(forbidden.begin(), forbidden.end(), [](const std::vector<bool> &row) {
        return std::find(row.begin(), row.end(), true) != row.end();
    });
}

bool noWorkAtAll(const Rules &rules)
{
    return rules.maxConsecutiveWorkingDays && *rules.maxConsecutiveWorkingDays == 0;
}

// Whether the rules on runs of working and free days bind at all.
bool runRulesApply(const Instance &in, const Rules &rules)
{
    const bool mostWorking =
        rules.maxConsecutiveWorkingDays && *rules.maxConsecutiveWorkingDays < in.days;
    const bool leastFree =
        rules.minConsecutiveFreeDays && *rules.minConsecutiveFreeDays >= 2 && in.days >= 3;
    return !noWorkAtAll(rules) && (mostWorking || leastFree);
}

// A nurse's course of days as a walk through states, a state a day: working
// shift t as the r-th working day in a row (one state per shift that
// repeats when there is no most), the s-th free day of a period that may not
// end yet, and a free day after which work may come.  A period free from the
// first day starts in that last state, since it may reach before the
// horizon; every state may end the horizon, since a period may reach beyond
// it.  Arcs join the states of one day to those of the next as the run and
// succession rules allow.
struct RunStates {
    int shifts = 0;
    int runLength = 1;
    bool runRepeats = false;
    int waiting = 0;
    std::vector<std::pair<int, int>> arcs; // from, to

    int working() const { return shifts * runLength; }
    int state(int t, int r) const { return t * runLength + r; }
    int shiftOf(int s) const { return s / runLength; }
    int freeToWork() const { return working() + waiting; }
    int count() const { return freeToWork() + 1; }
};

// Needs a most of working days in a row of 1 or more, or none.
RunStates runStates(const Instance &in, const Rules &rules, const Pairs &forbidden)
{
    RunStates s;
    s.shifts = in.workingShifts;
    const bool limited =
        rules.maxConsecutiveWorkingDays && *rules.maxConsecutiveWorkingDays < in.days;
    s.runLength = limited ? *rules.maxConsecutiveWorkingDays : 1;
    s.runRepeats = !limited;
    s.waiting = std::clamp(rules.minConsecutiveFreeDays.value_or(0) - 1, 0, in.days);
    const int firstFree = s.waiting > 0 ? s.working() : s.freeToWork();
    for (int t = 0; t < s.shifts; ++t)
        for (int r = 0; r < s.runLength; ++r) {
            const int next = r + 1 < s.runLength ? r + 1 : s.runRepeats ? r : -1;
            for (int u = 0; u < s.shifts && next >= 0; ++u)
                if (!forbidden[std::size_t(t)][std::size_t(u)])
                    s.arcs.emplace_back(s.state(t, r), s.state(u, next));
            s.arcs.emplace_back(s.state(t, r), firstFree);
        }
    for (int w = 0; w < s.waiting; ++w)
        s.arcs.emplace_back(s.working() + w, s.working() + w + 1);
    s.arcs.emplace_back(s.freeToWork(), s.freeToWork());
    for (int u = 0; u < s.shifts; ++u)
        s.arcs.emplace_back(s.freeToWork(), s.state(u, 0));
    return s;
}

// [day][state]: the columns counting the nurses in the state that day.
using Inflows = std::vector<std::vector<std::vector<int>>>;

// Whole numbers of nurses flowing through the states a day at a time: all of
// them start on day 0 in a working state of run 1 or the free state, and
// what is in a state on a day leaves it by an arc to the next day.  Only
// states reached get arcs.
Inflows addCrewFlow(const Instance &in, const RunStates &states, MipModel &mip)
{
    const auto count = static_cast<std::size_t>(states.count());
    Inflows inflow(static_cast<std::size_t>(in.days), std::vector<std::vector<int>>(count));
    Entries everyone;
    for (int t = 0; t <= in.workingShifts; ++t) {
        const int s = t < in.workingShifts ? states.state(t, 0) : states.freeToWork();
        inflow[0][std::size_t(s)].push_back(mip.addColumn(0, in.nurses, true));
        everyone.emplace_back(inflow[0][std::size_t(s)].back(), 1.0);
    }
    mip.addRow(everyone, in.nurses, in.nurses);
    std::vector<Entries> balance(count);
    for (int d = 0; d + 1 < in.days; ++d) {
        for (std::size_t s = 0; s < count; ++s) {
            balance[s].clear();
            for (const int c : inflow[std::size_t(d)][s])
                balance[s].emplace_back(c, -1.0);
        }
        for (const auto &[from, to] : states.arcs)
            if (!balance[std::size_t(from)].empty()) {
                const int c = mip.addColumn(0, in.nurses, true);
                balance[std::size_t(from)].emplace_back(c, 1.0);
                inflow[std::size_t(d) + 1][std::size_t(to)].push_back(c);
            }
        for (const Entries &row : balance)
            if (!row.empty())
                mip.addRow(row, 0, 0);
    }
    return inflow;
}

// Each nurse takes exactly one shift type a day.
void addAssignments(const Instance &in, MipModel &mip)
{
    Entries row;
    for (int n = 0; n < in.nurses; ++n)
        for (int d = 0; d < in.days; ++d) {
            row.clear();
            for (int t = 0; t < in.shiftTypes(); ++t)
                row.emplace_back(column(in, n, d, t), 1.0);
            mip.addRow(row, 1, 1);
        }
}

void addCoverage(const Instance &in, MipModel &mip)
{
    Entries row;
    for (int d = 0; d < in.days; ++d)
        for (int w = 0; w < in.workingShifts; ++w) {
            if (in.cover(d, w) == 0)
                continue;
            row.clear();
            for (int n = 0; n < in.nurses; ++n)
                row.emplace_back(column(in, n, d, w), 1.0);
            mip.addRow(row, in.cover(d, w), MipInfinity);
        }
}

// The free days a nurse may have: the working-shift counts turned around,
// since counting free days takes one column a day instead of W.
std::pair<double, double> freeDaysRange(const Instance &in, const Rules &rules)
{
    return {std::max(in.days - rules.maxWorkingShifts.value_or(in.days), 0),
            in.days - rules.minWorkingShifts.value_or(0)};
}

bool countsApply(const Instance &in, const Rules &rules)
{
    const auto [least, most] = freeDaysRange(in, rules);
    return least > 0 || most < in.days;
}

void addWorkingCounts(const Instance &in, const Rules &rules, MipModel &mip)
{
    if (!countsApply(in, rules))
        return;
    const auto [least, most] = freeDaysRange(in, rules);
    Entries row;
    for (int n = 0; n < in.nurses; ++n) {
        row.clear();
        for (int d = 0; d < in.days; ++d)
            row.emplace_back(freeColumn(in, n, d), 1.0);
        mip.addRow(row, least, most);
    }
}

// At most k working days in a row: every k + 1 days in a row hold a free
// one.  With free periods of at least m, a window whose first and last days
// are worked holds a whole period of m free days, so over the free columns
//   m f(a) + f(a+1) + ... + f(a+k-1) + m f(a+k) >= m,
// which with m = 1 is the plain window row and implies it for m > 1.  It
// cuts off patterns like working days 4 and 8 of 6 in a row at most with
// 2/3 of each day between, and raised the relaxation of 100 nurses over 28
// days under the four-week rules from 5322.1 to 5338.2 (optimum 5348): a
// search that missed 120 s took 9 s with it.
void addWorkingRuns(const Instance &in, const Rules &rules, MipModel &mip)
{
    if (!rules.maxConsecutiveWorkingDays || *rules.maxConsecutiveWorkingDays >= in.days)
        return;
    const int k = *rules.maxConsecutiveWorkingDays;
    // A period longer than the k - 1 days inside cannot fit whatever its
    // length, so m = k says the same with coefficients kept small.
    const double m = std::clamp(rules.minConsecutiveFreeDays.value_or(1), 1, std::max(k, 1));
    Entries row;
    for (int n = 0; n < in.nurses; ++n)
        for (int a = 0; a + k < in.days; ++a) {
            row.clear();
            for (int i = a; i <= a + k; ++i)
                row.emplace_back(freeColumn(in, n, i), i == a || i == a + k ? m : 1.0);
            mip.addRow(row, m, MipInfinity);
        }
}

// A free period starting after working day d lasts m days or reaches the
// horizon's end: working on d and free on d + 1 forces free on d + j for
// each j = 2..m within the horizon, f(d+1) - f(d) - f(d+j) <= 0, one row
// per j since their sum is weaker.  A period starting on day 0 is exempt,
// as d + 1 >= 1.  A flow per nurse through the run states would be tighter
// still, but its columns made each relaxation of 100 nurses over 28 days
// several times slower, and what it adds beyond these rows is mostly what
// the crew model proves.
void addFreeRuns(const Instance &in, const Rules &rules, MipModel &mip)
{
    if (!rules.minConsecutiveFreeDays || *rules.minConsecutiveFreeDays < 2)
        return;
    const int m = *rules.minConsecutiveFreeDays;
    for (int n = 0; n < in.nurses; ++n)
        for (int d = 0; d + 2 < in.days; ++d)
            for (int j = 2; j <= m && d + j < in.days; ++j)
                mip.addRow({{freeColumn(in, n, d + 1), 1.0},
                            {freeColumn(in, n, d), -1.0},
                            {freeColumn(in, n, d + j), -1.0}},
                           -MipInfinity, 0);
}

// A forbidden succession a -> b as one row per star instead of per pair:
// since a nurse takes one shift a day, shift a on day d excludes all its
// forbidden successors on d + 1 at once (x(d,a) + sum x(d+1,b) <= 1), and
// shift b on d + 1 all its forbidden predecessors.  These cliques cut off
// fractional points the pairwise rows allow (half a on d, half each of two
// successors on d + 1).  A star of one pair lies in the other side's star,
// so it is left out unless both sides have only that pair.
std::vector<std::pair<std::vector<int>, std::vector<int>>> successionStars(const Pairs &forbidden)
{
    const int w = static_cast<int>(forbidden.size());
    auto successors = [&](int a) {
        std::vector<int> list;
        for (int b = 0; b < w; ++b)
            if (forbidden[std::size_t(a)][std::size_t(b)])
                list.push_back(b);
        return list;
    };
    auto predecessors = [&](int b) {
        std::vector<int> list;
        for (int a = 0; a < w; ++a)
            if (forbidden[std::size_t(a)][std::size_t(b)])
                list.push_back(a);
        return list;
    };
    std::vector<std::pair<std::vector<int>, std::vector<int>>> stars; // day d, day d + 1
    for (int a = 0; a < w; ++a)
        if (successors(a).size() >= 2)
            stars.push_back({{a}, successors(a)});
    for (int b = 0; b < w; ++b)
        if (predecessors(b).size() >= 2)
            stars.push_back({predecessors(b), {b}});
    for (int a = 0; a < w; ++a)
        for (int b = 0; b < w; ++b)
            if (forbidden[std::size_t(a)][std::size_t(b)] && successors(a).size() == 1 &&
                predecessors(b).size() == 1)
                stars.push_back({{a}, {b}});
    return stars;
}

void addSuccessions(const Instance &in, const Rules &rules, MipModel &mip)
{
    const auto stars = successionStars(forbiddenPairs(in, rules));
    Entries row;
    for (int n = 0; n < in.nurses; ++n)
        for (int d = 0; d + 1 < in.days; ++d)
            for (const auto &[today, tomorrow] : stars) {
                row.clear();
                for (const int a : today)
                    row.emplace_back(column(in, n, d, a), 1.0);
                for (const int b : tomorrow)
                    row.emplace_back(column(in, n, d + 1, b), 1.0);
                mip.addRow(row, -MipInfinity, 1);
            }
}

// The crew's coverage of each working shift, and its free days in all
// within the counts' range for every nurse.
void addCrewCoverage(const Instance &in, const Rules &rules, const RunStates &states,
                     const Inflows &inflow, MipModel &mip)
{
    auto enter = [&](int d, int s, Entries &row) {
        for (const int c : inflow[std::size_t(d)][std::size_t(s)])
            row.emplace_back(c, 1.0);
    };
    Entries row;
    for (int d = 0; d < in.days; ++d)
        for (int w = 0; w < in.workingShifts; ++w) {
            if (in.cover(d, w) == 0)
                continue;
            row.clear();
            for (int s = 0; s < states.working(); ++s)
                if (states.shiftOf(s) == w)
                    enter(d, s, row);
            mip.addRow(row, in.cover(d, w), MipInfinity);
        }
    if (!countsApply(in, rules))
        return;
    row.clear();
    for (int d = 0; d < in.days; ++d)
        for (int s = states.working(); s < states.count(); ++s)
            enter(d, s, row);
    const auto [least, most] = freeDaysRange(in, rules);
    mip.addRow(row, least * in.nurses, most * in.nurses);
}

} // namespace

int MipModel::addColumn(double cost, double upperBound, bool isInteger)
{
    objective.push_back(cost);
    upper.push_back(upperBound);
    integer.push_back(isInteger ? 1 : 0);
    return columns() - 1;
}

void MipModel::addRow(const std::vector<std::pair<int, double>> &entries, double least, double most)
{
    for (const auto &[c, value] : entries) {
        entryColumn.push_back(c);
        entryValue.push_back(value);
    }
    rowStart.push_back(static_cast<int>(entryColumn.size()));
    rowLower.push_back(least);
    rowUpper.push_back(most);
}

MipModel buildRosterModel(const Instance &in, const Rules &rules)
{
    MipModel mip;
    for (const std::uint8_t cost : in.costs)
        mip.addColumn(cost, 1, true);
    addAssignments(in, mip);
    addCoverage(in, mip);
    addWorkingCounts(in, rules, mip);
    addWorkingRuns(in, rules, mip);
    addFreeRuns(in, rules, mip);
    addSuccessions(in, rules, mip);
    return mip;
}

MipModel buildCrewModel(const Instance &in, const Rules &rules)
{
    MipModel mip;
    const Pairs forbidden = forbiddenPairs(in, rules);
    if (noWorkAtAll(rules) || (!runRulesApply(in, rules) && !anyForbidden(forbidden)))
        return mip;
    const RunStates states = runStates(in, rules, forbidden);
    if (states.arcs.size() * std::size_t(in.days) > CrewModelArcLimit)
        return mip;
    const Inflows inflow = addCrewFlow(in, states, mip);
    addCrewCoverage(in, rules, states, inflow, mip);
    return mip;
}

std::vector<int> rosterOfSolution(const Instance &in, const double *solution)
{
    std::vector<int> roster(static_cast<std::size_t>(in.nurses) * static_cast<std::size_t>(in.days),
                            in.workingShifts);
    for (int n = 0; n < in.nurses; ++n)
        for (int d = 0; d < in.days; ++d)
            for (int t = 0; t < in.shiftTypes(); ++t)
                if (solution[in.costIndex(n, d, t)] > 0.5)
                    roster[gridIndex(n, in.days, d)] = t;
    return roster;
}

} // namespace keldar::generator

#pragma once

#include "generator/instance/instance.h"
#include "generator/solve/roster.h"

#include <utility>
#include <vector>

namespace keldar::generator {

// A mixed-integer program to minimise: columns from 0 to an upper bound,
// rows between a lower and an upper bound.
struct MipModel {
    std::vector<double> objective; // per column
    std::vector<double> upper;     // per column
    std::vector<char> integer;     // per column
    // Row r holds the entries [rowStart[r], rowStart[r + 1]).
    std::vector<int> rowStart{0};
    std::vector<int> entryColumn;
    std::vector<double> entryValue;
    std::vector<double> rowLower; // -MipInfinity for none
    std::vector<double> rowUpper; // MipInfinity for none

    int columns() const { return static_cast<int>(objective.size()); }
    int rows() const { return static_cast<int>(rowLower.size()); }
    int addColumn(double cost, double upperBound, bool isInteger);
    void addRow(const std::vector<std::pair<int, double>> &entries, double least, double most);
};

inline constexpr double MipInfinity = 1e30;

// The roster problem under its rules.  Its first columns are binary, one per
// nurse, day and shift type, laid out like the instance's costs
// (Instance::costIndex), so a column's index names its cell; continuous
// columns may follow.
MipModel buildRosterModel(const Instance &instance, const Rules &rules);

// A relaxation over how many nurses follow each course of shifts, blind to
// which nurse does: feasible for every feasible roster, and without the
// working-shift counts exactly as feasible as the roster problem.  None
// (no columns) when the rules leave nothing beyond the rule-free bound's
// check of each day, or when it would be too large to help.
MipModel buildCrewModel(const Instance &instance, const Rules &rules);

// The roster a 0-1 solution of the roster model stands for: [nurse][day]
// shift types.
std::vector<int> rosterOfSolution(const Instance &instance, const double *solution);

} // namespace keldar::generator

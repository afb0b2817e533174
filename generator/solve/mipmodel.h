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

// The roster problem under its rules: binary columns, one per nurse, day
// and shift type, laid out like the instance's costs (Instance::costIndex)
// so that a column's index names its cell.  Nothing breaks the symmetry of
// nurses with equal costs: generated nurses have 35 costs or more each and
// differ in some (none alike in the bench instances), and where symmetry
// costs most, proving there is no roster, the crew model below takes over.
MipModel buildRosterModel(const Instance &instance, const Rules &rules);

// How many nurses follow each course of shifts, blind to which nurse does:
// whole numbers of nurses flowing day by day through the states of a
// course (the shift, how many working days in a row, how long free), as the
// run and succession rules allow, covering every shift.  The rules treat
// nurses alike, so this holds for every feasible roster, and without the
// working-shift counts (which it only keeps in total) any solution splits
// into one course per nurse: exactly as feasible as the roster problem.
// It proves in a few hundredths of a second what the roster model proves
// by searching through copies of the same roster with nurses swapped,
// which took 2 to 16 seconds on 50 nurses over 28 days with days needing
// every nurse.  None (no columns) when the rules leave nothing beyond the
// rule-free bound's check of each day, or when it would be too large to
// help.
MipModel buildCrewModel(const Instance &instance, const Rules &rules);

// The roster a 0-1 solution of the roster model stands for: [nurse][day]
// shift types.
std::vector<int> rosterOfSolution(const Instance &instance, const double *solution);

} // namespace keldar::generator

#pragma once

#include "generator/input/inputreader.h"
#include "generator/instance/instance.h"
#include "generator/solve/roster.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace keldar::generator {

// Why no nurse can keep the rules over `days` days with `workingShifts`
// working shifts to choose from, or empty when one can: then every instance
// can be built around a roster that keeps them.
QString plantingProblem(const Rules &rules, int days, int workingShifts);

// An instance built around a roster that keeps the rules and meets its
// coverage, so the instance has a roster by construction.
struct PlantedInstance {
    Instance instance;
    std::vector<int> roster; // [nurse][day]: 0..W-1 working, W free
    double slack = 0;        // the share of the roster's working shifts not required
};

// The instance of the batch with this file seed: the coverage is built to
// its targets, a roster that keeps the rules is planted over it with `slack`
// (0 <= slack < 1) of its working shifts beyond the coverage, and the
// coverage is then what that roster meets: the targets bend only where the
// rules forbid them or the slack asks for more or less work than they
// require.  The costs are built last, so the roster's cost is an upper
// bound and no optimum is planted.  `plantingProblem` must be empty.
PlantedInstance generatePlanted(const BatchInput &input, std::uint64_t seed, const Rules &rules,
                                double slack);

} // namespace keldar::generator

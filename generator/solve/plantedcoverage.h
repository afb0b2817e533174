#pragma once

#include "generator/input/indicators.h"
#include "generator/instance/instance.h"
#include "generator/instance/random.h"
#include "generator/solve/dayplanner.h"

#include <cstdint>
#include <vector>

// The coverage of a planted instance: shaped for the rules before the
// roster is planted, and settled to what the roster meets after.
namespace keldar::generator::planting {

// The measures of the coverage do not depend on the order of the days, nor
// on the order of a day's shifts, so both are chosen to suit the rules.
void arrangeForRules(Instance &in, const Walk &w, Random &random);

// Shifts beyond the coverage, spread at random over the days that have room
// for them (no day holds more working shifts than nurses).
std::vector<int> plannedExtra(const Instance &in, std::int64_t extra, Random &random);

// The coverage the roster meets, with exactly the share `slack` of its
// working shifts (as near as whole shifts allow) left unrequired; the share
// reached.
double settleCoverage(Instance &in, const std::vector<int> &roster, double slack,
                      const Indicators &targets, Random &random);

} // namespace keldar::generator::planting

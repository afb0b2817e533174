#pragma once

#include "generator/input/indicators.h"
#include "generator/instance/instance.h"
#include "generator/instance/random.h"

namespace keldar::generator {

// Spreads `total` over values.size() elements of at most `cap` each so that
// their concentration comes as close to `target` as whole numbers allow.
void concentrate(std::vector<int> &values, std::int64_t total, std::int64_t cap, double target,
                 Random &random);

// Fills the requirements: the total first, then the day totals, then each
// day's split over the working shifts.
void buildCoverage(Instance &instance, const Indicators &targets, Random &random);

} // namespace keldar::generator

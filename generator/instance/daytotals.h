#pragma once

#include "generator/instance/random.h"

#include <cstdint>
#include <vector>

namespace keldar::generator {

// The walk that first spreads the required nurses over the days ignores two
// things: values it passes by, and how the totals split over the w working
// shifts (a day of 1 nurse over 3 shifts is always packed).  Only when either
// leaves the day or shift coverage target out of reach are the day totals
// searched further, so other batches keep their files.
void refineDayTotals(std::vector<int> &dayTotals, std::int64_t required, int nurses, int w,
                     double dayTarget, double shiftTarget, Random &random);

} // namespace keldar::generator

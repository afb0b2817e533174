#pragma once

#include "generator/solve/roster.h"

namespace keldar::generator {

// The most working shifts one nurse can take over `days` days under the
// rules, with `workingShifts` working shifts to choose from each day.
int mostWorkingShifts(const Rules &rules, int days, int workingShifts);

} // namespace keldar::generator

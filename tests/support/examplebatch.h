#pragma once

#include "params/parameterset.h"

namespace keldar::test {

// The parameters of the worked example: 20 nurses, 28 days, 4 shifts with
// the free shift, every indicator 0.5, seed 100 (no batch values yet).
inline ParameterSet exampleBatch()
{
    ParameterSet p;
    p.nurses = 20;
    p.days = 28;
    p.shifts = 4;
    p.freeShiftInculuded = true;
    p.periodPreference = p.dayPreference = p.shiftPreference = 0.5;
    p.totalCoverage = p.dayCoverage = p.shiftCoverage = 0.5;
    p.seed = DefaultSeed;
    return p;
}

} // namespace keldar::test

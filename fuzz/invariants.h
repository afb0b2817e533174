// What every instance the generator writes or accepts must hold, for the
// fuzz targets: its shape, costs 1 to 4, no negative requirement and no day
// asking for more nurses than there are.
#pragma once

#include "generator/instance/instance.h"

#include <cstdint>
#include <cstdlib>

namespace keldar::generator {

inline void abortUnlessWellFormed(const Instance &in)
{
    if (in.nurses < 1 || in.days < 1 || in.workingShifts < 1 ||
        in.costs.size() !=
            std::size_t(in.nurses) * std::size_t(in.days) * std::size_t(in.shiftTypes()) ||
        in.coverage.size() != std::size_t(in.days) * std::size_t(in.workingShifts))
        std::abort();
    for (const std::uint8_t cost : in.costs)
        if (cost < MinCost || cost > MaxCost)
            std::abort();
    for (int d = 0; d < in.days; ++d) {
        long long total = 0;
        for (int w = 0; w < in.workingShifts; ++w) {
            if (in.cover(d, w) < 0)
                std::abort();
            total += in.cover(d, w);
        }
        if (total > in.nurses)
            std::abort();
    }
}

} // namespace keldar::generator

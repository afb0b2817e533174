#pragma once

#include "generator/instance/instance.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace keldar::generator {

// The optimum of the instance without rules: each day is its own minimum-cost
// flow from the nurses to the shift types, every working shift taking at
// least its requirement.  No rule can make a roster cheaper, so this bounds
// the optimum under any rules from below, and with no rules it is exact.
struct LowerBound {
    std::optional<std::int64_t> cost; // none when some day cannot be covered
    int infeasibleDay = 0;            // 1-based, when cost is none
    // One optimal rule-free roster: [nurse][day], shift types 0..W (W free).
    std::vector<int> roster;

    QString text() const;
};

LowerBound lowerBound(const Instance &instance);

} // namespace keldar::generator

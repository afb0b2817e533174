#pragma once

#include "generator/instance/instance.h"
#include "generator/instance/random.h"

#include <array>
#include <cstdint>
#include <vector>

// Cost tables built directly instead of by search, for targets that leave at
// most one axis free beside the rigid ones.
namespace keldar::generator {

// Preference spreads this close to their targets, well inside Tolerance,
// need no more work: the search stops there and the plane below skips its
// exact pass.
inline constexpr double SettledGap = 0.004;

// Costs of one line of n whose spread is nearest the target, as counts per
// cost (index 1..4).
std::array<int, MaxCost + 1> nearestLine(int n, double target);

// A rows x len plane of lowest and highest costs, stored row by row, whose
// columns are each half and half and whose rows' mean spread is as near the
// target as such planes allow.
std::vector<std::uint8_t> halfAndHalfPlane(int rows, int len, double target, Random &random);

} // namespace keldar::generator

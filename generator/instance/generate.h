#pragma once

#include "generator/input/inputreader.h"
#include "generator/instance/instance.h"

#include <cstdint>

namespace keldar::generator {

// One instance of the batch, built from its own seed alone: coverage first,
// then the costs.
Instance generate(const BatchInput &input, std::uint64_t seed);

} // namespace keldar::generator

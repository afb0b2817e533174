#pragma once

#include "generator/input/indicators.h"
#include "generator/instance/instance.h"
#include "generator/instance/random.h"

namespace keldar::generator {

// Fills the costs so that the three preference spreads come as close to
// their targets as whole costs from 1 to 4 allow.
void buildPreferences(Instance &instance, const Indicators &targets, Random &random);

} // namespace keldar::generator

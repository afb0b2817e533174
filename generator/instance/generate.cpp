#include "generator/instance/generate.h"

#include "generator/instance/coverage.h"
#include "generator/instance/preferences.h"
#include "generator/instance/random.h"

namespace keldar::generator {

Instance generate(const BatchInput &input, std::uint64_t seed)
{
    Random random(seed);
    Instance instance =
        Instance::blank(input.nurses, input.days, input.workingShifts(), input.freeCounted);
    buildCoverage(instance, input.targets, random);
    buildPreferences(instance, input.targets, random);
    return instance;
}

} // namespace keldar::generator

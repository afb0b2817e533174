// libFuzzer entry: what a solver's user feeds in.  An instance the reader
// accepts always has a bound, and the roster that comes with it passes the
// check at exactly that cost; the roster and rules readers refuse or accept
// any bytes without crashing; and any rules a nurse can keep give a planted
// instance whose witness keeps them.
#include "generator/files/instancefile.h"
#include "generator/solve/lowerbound.h"
#include "generator/solve/planting.h"
#include "generator/solve/roster.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace keldar::generator;
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    const ParsedInstance parsed = parseInstance(bytes);
    if (parsed.instance) {
        const LowerBound bound = lowerBound(*parsed.instance);
        if (!bound.cost)
            std::abort();
        const RosterCheck check = checkRoster(*parsed.instance, bound.roster);
        if (!check.feasible() || check.cost != *bound.cost)
            std::abort();
    }

    const ParsedRules rules = parseRules(bytes);
    if (!rules.rules && rules.error.isEmpty())
        std::abort();
    // One input in four, so the readers and the bound keep most of the time.
    if (rules.rules && size >= 4 && data[3] % 4 == 0) {
        // Sizes and slack from the first bytes, small enough to stay fast.
        BatchInput input;
        input.nurses = 1 + data[0] % 6;
        input.days = 1 + data[1] % 28;
        input.shifts = 1 + data[2] % 4;
        input.targets = {0.5, 0.5, 0.5, (data[3] % 11) / 10.0, (data[0] % 11) / 10.0,
                         (data[1] % 11) / 10.0};
        const double slack = (data[2] % 10) / 10.0;
        if (plantingProblem(*rules.rules, input.days, input.workingShifts()).isEmpty()) {
            const PlantedInstance made = generatePlanted(input, size, *rules.rules, slack);
            if (!checkRoster(made.instance, made.roster, *rules.rules).feasible())
                std::abort();
        }
    }

    Instance small = Instance::blank(3, 4, 2, false);
    small.cover(1, 0) = 2;
    const ParsedRoster roster = parseRoster(bytes, small);
    if (roster.error.isEmpty()) {
        if (roster.roster.size() != 12)
            std::abort();
        const RosterCheck check = checkRoster(small, roster.roster, rules.rules.value_or(Rules{}));
        if (check.cost < 12 || check.cost > 48)
            std::abort();
    }
    return 0;
}

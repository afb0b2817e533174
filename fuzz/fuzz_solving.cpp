// libFuzzer entry: what a solver's user feeds in.  An instance the reader
// accepts always has a bound, and the roster that comes with it passes the
// check at exactly that cost; the roster and rules readers refuse or accept
// any bytes without crashing.
#include "generator/files/instancefile.h"
#include "generator/solve/lowerbound.h"
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

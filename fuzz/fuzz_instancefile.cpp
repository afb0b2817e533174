// libFuzzer entry: the instance-file reader behind --measure must refuse or
// accept any bytes without crashing; what it accepts holds the format's
// ranges, measures within 0 to 1, and reads back the same once written.
#include "generator/files/instancefile.h"
#include "invariants.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace keldar::generator;
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const ParsedInstance parsed = parseInstance(bytes);
    if (!parsed.instance) {
        if (parsed.error.isEmpty())
            std::abort();
        return 0;
    }
    const Instance &in = *parsed.instance;
    abortUnlessWellFormed(in);
    const Indicators measured = measure(in);
    for (const double value : measured)
        if (!(value >= 0 && value <= 1 + 1e-12))
            std::abort();

    // Written out and read again, the same instance.
    BatchInput batch;
    batch.nurses = in.nurses;
    batch.days = in.days;
    batch.shifts = in.freeCounted ? in.workingShifts + 1 : in.workingShifts;
    batch.freeCounted = in.freeCounted;
    batch.files = 1;
    batch.firstFile = 1;
    Provenance provenance;
    provenance.measured = measured;
    const ParsedInstance again = parseInstance(instanceText(in, batch, provenance));
    if (!again.instance || again.instance->costs != in.costs ||
        again.instance->coverage != in.coverage || again.instance->freeCounted != in.freeCounted)
        std::abort();
    return 0;
}

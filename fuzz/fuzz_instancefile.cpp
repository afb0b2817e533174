// libFuzzer entry: the instance-file reader behind --measure must refuse or
// accept any bytes without crashing; what it accepts holds the format's
// ranges, measures within 0 to 1, and reads back the same once written.
#include "generator/instancefile.h"

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
    batch.folder = QStringLiteral("fuzz");
    Provenance provenance;
    provenance.measured = measured;
    const ParsedInstance again = parseInstance(instanceText(in, batch, provenance));
    if (!again.instance || again.instance->costs != in.costs ||
        again.instance->coverage != in.coverage || again.instance->freeCounted != in.freeCounted)
        std::abort();
    return 0;
}

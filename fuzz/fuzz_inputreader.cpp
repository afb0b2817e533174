// libFuzzer entry: the input-data reader must refuse or accept any bytes
// without crashing, and what it accepts must hold its own limits.
#include "generator/input/inputreader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace keldar::generator;
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const ReadResult read = readInput(bytes);
    if (!read.input) {
        if (read.error.isEmpty())
            std::abort();
        return 0;
    }
    const BatchInput &in = *read.input;
    const bool sane =
        in.nurses >= 1 && in.days >= 1 && in.workingShifts() >= 1 &&
        static_cast<qint64>(in.nurses) * in.days * in.shiftTypes() <= MaxPreferenceValues &&
        in.files >= 1 && in.files <= MaxFiles && in.firstFile >= 1 &&
        !in.folder.trimmed().isEmpty();
    for (double target : in.targets)
        if (!(target >= 0 && target <= 1))
            std::abort();
    if (!sane)
        std::abort();
    return 0;
}

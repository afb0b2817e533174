// libFuzzer entry: the design reader must refuse or accept any bytes without
// crashing, and a design it accepts must make cells within the batch limits.
// The same bytes go to the manifest reader, whose rows must write back as
// they were read.
#include "generator/input/design.h"
#include "generator/run/manifest.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace keldar::generator;
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    const ManifestRead manifest = readManifest(bytes);
    if (manifest.rows) {
        const ManifestRead again = readManifest(manifestText(*manifest.rows));
        if (!again.rows || again.rows->size() != manifest.rows->size())
            std::abort();
    } else if (manifest.error.isEmpty()) {
        std::abort();
    }

    const DesignRead read = readDesign(bytes);
    if (!read.design) {
        if (read.error.isEmpty())
            std::abort();
        return 0;
    }
    const Design &design = *read.design;
    const qint64 cells = design.cellCount();
    if (cells < 1 || design.fileCount() > MaxFiles)
        std::abort();
    for (qint64 number : {qint64(1), cells}) {
        const BatchInput in = design.cell(number, QStringLiteral("out"));
        const bool sane =
            in.nurses >= 1 && in.days >= 1 && in.workingShifts() >= 1 &&
            static_cast<qint64>(in.nurses) * in.days * in.shiftTypes() <= MaxPreferenceValues &&
            in.files == design.instancesPerCell && in.firstFile >= 1 &&
            in.firstFile + in.files - 1 <= MaxFileNumber;
        if (!sane)
            std::abort();
        for (double target : in.targets)
            if (!(target >= 0 && target <= 1))
                std::abort();
    }
    return 0;
}

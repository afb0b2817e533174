// libFuzzer entry: read an input-data file, generate an instance from it,
// write it and parse it back.  The file must have the asked shape, costs 1
// to 4, no day asking for more nurses than there are, and the indicators
// measured again from the file must be those its header logs.  Sizes are cut
// down so that each run stays quick.
#include "generator/files/instancefile.h"
#include "generator/instance/generate.h"
#include "generator/instance/random.h"
#include "invariants.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace keldar::generator;
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const ReadResult read = readInput(bytes);
    if (!read.input)
        return 0;
    BatchInput input = *read.input;
    input.nurses = std::min(input.nurses, 24);
    input.days = std::min(input.days, 16);
    input.shifts = std::min(input.shifts, 6);

    Provenance provenance;
    provenance.fileNumber = input.firstFile;
    provenance.fileSeed = fileSeed(input.seed, input.firstFile);
    const Instance made = generate(input, provenance.fileSeed);
    provenance.measured = measure(made);
    const QByteArray text = instanceText(made, input, provenance);

    const ParsedInstance parsed = parseInstance(text);
    if (!parsed.instance)
        std::abort();
    const Instance &in = *parsed.instance;
    if (in.nurses != input.nurses || in.days != input.days ||
        in.workingShifts != input.workingShifts() || in.freeCounted != input.freeCounted ||
        in.costs != made.costs || in.coverage != made.coverage)
        std::abort();
    abortUnlessWellFormed(in);
    const Indicators again = measure(in);
    for (int k = 0; k < IndicatorCount; ++k) {
        const QByteArray logged = QByteArray("# ") + IndicatorNames[k] + " measured " +
                                  QByteArray::number(again[std::size_t(k)], 'f', 6) + " target ";
        if (!(again[std::size_t(k)] >= 0 && again[std::size_t(k)] <= 1 + 1e-12) ||
            !text.contains(logged))
            std::abort();
    }
    return 0;
}

#pragma once

#include "generator/inputreader.h"
#include "generator/instance.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace keldar::generator {

// What the header of an instance file records besides the inputs.
struct Provenance {
    qint64 fileNumber = 0;
    std::uint64_t fileSeed = 0;
    Indicators measured{};
};

// The instance file: "#" comment header, then "N D W F", D lines of W
// requirements, N lines of D * (W + 1) costs.  LF line ends.
QByteArray instanceText(const Instance &instance, const BatchInput &input,
                        const Provenance &provenance);

// Largest distance between measured values and targets.
double largestDeviation(const Indicators &measured, const Indicators &targets);

struct ParsedInstance {
    std::optional<Instance> instance;
    int line = 0;
    QString error;
};

// Reads the body of an instance file back (comments are skipped).
ParsedInstance parseInstance(const QByteArray &text);

} // namespace keldar::generator

#pragma once

#include "generator/input/inputreader.h"
#include "generator/instance/instance.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

class QTextStream;

namespace keldar::generator {

// What the header of an instance file records besides the inputs.
struct Provenance {
    qint64 fileNumber = 0;
    std::uint64_t fileSeed = 0;
    Indicators measured{};
};

// The instance file: "#" comment header, then "N D W F", D lines of W
// requirements, N lines of D * (W + 1) costs.  LF line ends.  The header
// names the batch but not its folder.
QByteArray instanceText(const Instance &instance, const BatchInput &input,
                        const Provenance &provenance);

// Largest distance between measured values and targets.
double largestDeviation(const Indicators &measured, const Indicators &targets);

// Whether a measured value misses its target by more than the tolerance, so
// that the log flags it as the nearest reachable.
bool unreachable(double measured, double target);

// Bytes an instance file of the batch takes at most, near enough for a
// free-space check.
double expectedFileBytes(const BatchInput &input);

// The batch and file number an instance file's header names: every input of
// the batch that wrote it but the folder, so the file can be made again and
// compared.
struct InstanceOrigin {
    BatchInput input;
    qint64 fileNumber = 0;
};

// Reads the origin from the header; none when a line of it is missing or
// malformed.  An earlier version's "# folder" line is passed over.
std::optional<InstanceOrigin> readOrigin(const QByteArray &text);

struct ParsedInstance {
    std::optional<Instance> instance;
    int line = 0;
    QString error;
};

// No instance file within the size limit comes near this.
inline constexpr qint64 MaxInstanceFileBytes = qint64(256) << 20;

// Reads the body of an instance file back (comments are skipped).
ParsedInstance parseInstance(const QByteArray &text);

// Reads and parses the instance file at `path`; the error says why it is
// none (unreadable, too large, or the parse's reason).
ParsedInstance readInstanceFile(const QString &path);

// Reads each instance file in turn and hands it to `use`, which returns its
// own exit status.  A file that cannot be read is reported on `err` with
// the reason and counts 2.  Returns the worst status.
int forEachInstanceFile(const QStringList &paths, QTextStream &err,
                        const std::function<int(const QString &path, const Instance &)> &use);

} // namespace keldar::generator

#pragma once

#include "generator/files/exportformats.h"
#include "generator/input/inputreader.h"
#include "generator/instance/instance.h"
#include "generator/solve/rulesets.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace keldar::generator {

// Every shift lasts this long in the SSB file, so minutes count shifts.
inline constexpr int SsbShiftMinutes = 480;

// The constant K with SSB penalty = cost + K for every roster that meets the
// coverage: the sum over nurses and days of the on-request weights (the free
// shift's cost less the cost of each working shift cheaper than it) less the
// free shift's cost.
std::int64_t ssbOffset(const Instance &instance);

// The instance under the rules in the text format of the Shift Scheduling
// Benchmark: costs become requests against the free shift, coverage a cover
// no roster leaves short while it can help it.
QByteArray instanceSsb(const Instance &instance, const RulesChoice &rules,
                       const InstanceFacts &facts);

// The bytes of one export by its suffix (extraSuffixes), the SSB file's
// under the rules.
QByteArray exportFile(const QString &suffix, const Instance &instance, const InstanceFacts &facts,
                      const RulesChoice &rules);

// Bytes an export of the batch's instances takes at most, for the
// free-space check.
double expectedExportBytes(const QString &suffix, const BatchInput &input);

} // namespace keldar::generator

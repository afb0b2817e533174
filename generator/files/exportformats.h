#pragma once

#include "generator/instance/instance.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <cstdint>
#include <optional>

namespace keldar::generator {

// The formats an instance is written in.  The text file is the reference;
// the others hold the same numbers for solvers and scripts to read directly.
enum ExportFormat : unsigned {
    TextFormat = 1U << 0,
    DznFormat = 1U << 1,
    JsonFormat = 1U << 2,
    SsbFormat = 1U << 3, // Shift Scheduling Benchmark text, one file per rule set
};
using ExportFormats = unsigned;

// "txt,dzn,json,ssb" in any order and combination; none for anything else.
std::optional<ExportFormats> parseFormats(const QString &list);

// How much larger a .dzn or .json is than the text file, at most, for
// estimating the room a batch needs.
inline constexpr double ExportBytesPerTextByte = 1.7;

// The suffixes of the formats beside the text file, in a fixed order; the
// SSB file's carries the label of its rules ("week.ssb.txt").
QStringList extraSuffixes(ExportFormats formats,
                          const QString &rulesLabel = QStringLiteral("none"));

// Whether a suffix of extraSuffixes is the SSB file's.
bool isSsbSuffix(const QString &suffix);

// What the exported files carry besides the instance itself.
struct InstanceFacts {
    Indicators measured{};
    std::optional<std::int64_t> lowerBound;
    QString source; // the text file's name, for the reader's orientation
};

// MiniZinc data for share/keldar/roster.mzn.
QByteArray instanceDzn(const Instance &instance, const InstanceFacts &facts);
// JSON, as docs/formats.md describes its members.
QByteArray instanceJson(const Instance &instance, const InstanceFacts &facts);
// The bytes of one format by its suffix ("dzn" or "json").
QByteArray exportText(const QString &suffix, const Instance &instance, const InstanceFacts &facts);

} // namespace keldar::generator

#pragma once

#include "generator/input/inputreader.h"

#include <QString>
#include <QtGlobal>

// How much of a run goes on at once, within what the machine allows: open
// descriptors and memory.
namespace keldar::generator {

// Files one sync makes durable at most.
inline constexpr int GroupFiles = 1024;

// The bytes making and writing one instance of the batch takes at its
// peak, beside what the process holds anyway.
qint64 instancePeakBytes(const BatchInput &input, int extraFormats);

// The memory the process may still take: what the system counts as
// available, within its control group's limit; -1 when unknown.
qint64 availableMemory();

// Why an instance of `peak` bytes cannot be made, with both figures; empty
// when it fits.
QString memoryShortage(qint64 peak);

struct RunLimits {
    int jobs = 1;   // threads making files
    int window = 1; // files made ahead of the one taken
    int group = 1;  // files one sync makes durable
    QString note;   // why fewer threads run than asked, when they do
};

// Fits the threads asked for into the memory and the descriptors: each file
// pending in the window or a group holds two per format until it is named,
// and the soft descriptor limit is first raised to the hard one.
RunLimits runLimits(int jobs, int filesPerInstance, qint64 instancePeak);

// A seam for tests: the memory the system pretends to have available.
namespace faults {
void setAvailableMemory(qint64 bytes); // bytes < 0: no fault
} // namespace faults

} // namespace keldar::generator

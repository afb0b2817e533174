#pragma once

#include "generator/input/handshake.h"

#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

class QObject;

namespace keldar::generation {

// How long the program waits for the generator to take its input, at most.
inline constexpr int ReadTimeoutMs = 10000;

enum class ReadWait {
    Marked,   // the generator left its mark: it holds the file's contents
    Exited,   // the generator is gone without a mark; it reads nothing more
    TimedOut, // neither within the time allowed
};

// Whether the process with an id still runs (the host knows).
using IsRunning = std::function<bool(qint64 pid)>;

// One look at the generator `pid`: Marked when `markPath` holds its mark
// (another generator's mark does not count), Exited when it has ended
// without one, nothing while it may still read.
std::optional<ReadWait> lookForRead(const IsRunning &isRunning, qint64 pid,
                                    const QString &markPath);

// The verdict the generator left in its mark; unknown when there is none.
generator::BatchVerdict verdictIn(const QString &markPath);

// Waits until lookForRead has an answer or `timeoutMs` have passed, then
// calls `done` with it, once.  The event loop runs meanwhile (the answer is
// given at once when there already is one); the wait ends unanswered when
// `context` goes.
void waitUntilRead(IsRunning isRunning, qint64 pid, const QString &markPath, int timeoutMs,
                   QObject *context, std::function<void(ReadWait)> done);

} // namespace keldar::generation

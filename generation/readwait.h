#pragma once

#include <QString>
#include <QtGlobal>

namespace keldar {

class Host;

namespace generation {

// How long the program waits for the generator to take its input, at most.
inline constexpr int ReadTimeoutMs = 10000;

enum class ReadWait {
    Marked,   // the generator left its mark: it holds the file's contents
    Exited,   // the generator is gone without a mark; it reads nothing more
    TimedOut, // neither within the time allowed
};

// Waits until the generator `pid` has left `markPath` or has ended, or until
// `timeoutMs` have passed.  Blocks the caller; polls every few milliseconds.
ReadWait waitUntilRead(Host &host, qint64 pid, const QString &markPath, int timeoutMs);

} // namespace generation
} // namespace keldar

#include "generation/readwait.h"

#include "generator/input/handshake.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTimer>

namespace keldar::generation {

namespace {

bool markedBy(const QString &markPath, qint64 pid)
{
    QFile mark(markPath);
    return mark.open(QIODevice::ReadOnly) && generator::isReadMarkOf(mark.read(32), pid);
}

} // namespace

std::optional<ReadWait> lookForRead(const IsRunning &isRunning, qint64 pid, const QString &markPath)
{
    if (markedBy(markPath, pid))
        return ReadWait::Marked;
    if (!isRunning(pid))
        // It may have left the mark just before it ended.
        return markedBy(markPath, pid) ? ReadWait::Marked : ReadWait::Exited;
    return std::nullopt;
}

generator::BatchVerdict verdictIn(const QString &markPath)
{
    QFile mark(markPath);
    if (!mark.open(QIODevice::ReadOnly))
        return {};
    return generator::verdictOf(mark.read(4096));
}

void waitUntilRead(IsRunning isRunning, qint64 pid, const QString &markPath, int timeoutMs,
                   QObject *context, std::function<void(ReadWait)> done)
{
    if (const std::optional<ReadWait> now = lookForRead(isRunning, pid, markPath)) {
        done(*now);
        return;
    }
    const QDeadlineTimer deadline(timeoutMs);
    auto *poll = new QTimer(context);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        std::optional<ReadWait> outcome = lookForRead(isRunning, pid, markPath);
        if (!outcome && deadline.hasExpired())
            outcome = ReadWait::TimedOut;
        if (!outcome)
            return;
        poll->stop();
        poll->deleteLater();
        done(*outcome);
    });
    poll->start();
}

} // namespace keldar::generation

#include "generation/readwait.h"

#include "app/host.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

namespace keldar::generation {

ReadWait waitUntilRead(Host &host, qint64 pid, const QString &markPath, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (QFileInfo::exists(markPath))
            return ReadWait::Marked;
        if (!host.isProcessRunning(pid))
            // It may have left the mark just before it ended.
            return QFileInfo::exists(markPath) ? ReadWait::Marked : ReadWait::Exited;
        if (clock.elapsed() >= timeoutMs)
            return ReadWait::TimedOut;
        QThread::msleep(10);
    }
}

} // namespace keldar::generation

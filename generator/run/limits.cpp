#include "generator/run/limits.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <atomic>

#include <sys/resource.h>

namespace keldar::generator {

namespace {

std::atomic<qint64> memoryFault{-1};

// Measured peaks (resident set): about 8 bytes per preference value for
// the text file, 10 with dzn and json, beyond some fixed tables.  The
// estimate leaves room above them.
constexpr qint64 FixedBytes = 16 << 20;
constexpr qint64 BytesPerValue = 12;
constexpr qint64 ExportBytesPerValue = 4;

// Descriptors kept for the log, the standard streams and Qt's own.
constexpr qint64 ReservedDescriptors = 64;

// The first number after `key` at the start of a line of a /proc or /sys
// file; -1 when there is none.
qint64 numberIn(const char *path, const char *key = "")
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.startsWith(key))
            continue;
        bool ok = false;
        const qint64 value =
            line.mid(qstrlen(key)).simplified().split(' ').value(0).toLongLong(&ok);
        return ok ? value : -1;
    }
    return -1;
}

// The room left under the control group's memory limit; -1 when none.
qint64 controlGroupRoom()
{
    const struct {
        const char *limit;
        const char *usage;
    } Groups[] = {{"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory.current"},
                  {"/sys/fs/cgroup/memory/memory.limit_in_bytes",
                   "/sys/fs/cgroup/memory/memory.usage_in_bytes"}};
    for (const auto &group : Groups) {
        const qint64 limit = numberIn(group.limit);
        const qint64 usage = numberIn(group.usage);
        // "max", or the page-rounded largest number: no limit.
        if (limit > 0 && usage >= 0 && limit < (qint64(1) << 60))
            return std::max<qint64>(0, limit - usage);
    }
    return -1;
}

// The descriptors the process may open, its soft limit first raised as far
// as the hard one allows.
qint64 descriptorLimit()
{
    struct rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 256;
    if (limit.rlim_cur != limit.rlim_max) {
        struct rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > (rlim_t(1) << 30))
        return qint64(1) << 30;
    return static_cast<qint64>(limit.rlim_cur);
}

} // namespace

qint64 instancePeakBytes(const BatchInput &input, int extraFormats)
{
    const qint64 values = qint64(input.nurses) * input.days * input.shiftTypes();
    return FixedBytes + values * (BytesPerValue + (extraFormats > 0 ? ExportBytesPerValue : 0));
}

qint64 availableMemory()
{
    if (memoryFault >= 0)
        return memoryFault;
    const qint64 kib = numberIn("/proc/meminfo", "MemAvailable:");
    const qint64 system = kib < 0 ? -1 : kib * 1024;
    const qint64 group = controlGroupRoom();
    if (system < 0 || group < 0)
        return std::max(system, group);
    return std::min(system, group);
}

QString memoryShortage(qint64 peak)
{
    const qint64 available = availableMemory();
    if (available < 0 || peak <= available)
        return QString();
    return QStringLiteral("an instance needs about %1 bytes of memory at its peak, %2 bytes are "
                          "available")
        .arg(QString::number(peak), QString::number(available));
}

RunLimits runLimits(int jobs, int filesPerInstance, qint64 instancePeak)
{
    RunLimits limits;
    const qint64 descriptors = descriptorLimit();
    const qint64 pending = std::max<qint64>(
        2, (descriptors - std::min(ReservedDescriptors, descriptors / 4)) / (2 * filesPerInstance));
    limits.window = int(std::clamp<qint64>(qint64(jobs) * 8, 1, pending / 2));
    limits.group = int(std::clamp<qint64>(pending - limits.window, 1, GroupFiles));
    limits.jobs = std::min(jobs, limits.window);
    if (limits.jobs < jobs)
        limits.note = QStringLiteral("%1 jobs instead of %2: %3 files may be open")
                          .arg(limits.jobs)
                          .arg(jobs)
                          .arg(descriptors);
    const qint64 available = availableMemory();
    if (available >= 0 && qint64(limits.jobs) * instancePeak > available) {
        const int fit = int(std::max<qint64>(1, available / std::max<qint64>(1, instancePeak)));
        limits.note = QStringLiteral("%1 jobs instead of %2: an instance needs about %3 bytes of "
                                     "memory at its peak, %4 bytes are available")
                          .arg(fit)
                          .arg(jobs)
                          .arg(instancePeak)
                          .arg(available);
        limits.jobs = fit;
    }
    return limits;
}

namespace faults {

void setAvailableMemory(qint64 bytes)
{
    memoryFault = bytes;
}

} // namespace faults

} // namespace keldar::generator

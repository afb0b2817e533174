#include "generator/run/claims.h"

#include "generator/publish/publish.h"
#include "generator/publish/userfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace keldar::generator {

namespace {

// A claim is one short line.
constexpr qint64 ClaimBytes = 512;

// When the process started, in clock ticks after boot (/proc/PID/stat field
// 22): with the process id it tells a live claimant from a later process
// that got the same id.  Empty when the process is gone.
QByteArray processStart(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    // The command name in parentheses may hold blanks.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 19 ? fields.at(19) : QByteArray();
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString age(qint64 since)
{
    const qint64 seconds = std::max<qint64>(0, QDateTime::currentSecsSinceEpoch() - since);
    if (seconds < 120)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 7200)
        return QStringLiteral("%1 min").arg(seconds / 60);
    return QStringLiteral("%1 h").arg(seconds / 3600);
}

} // namespace

Claim::Claim(const QString &folder, const QString &name, const QString &label)
    : path_(QDir(folder).filePath(u'.' + name + u'.' + label + QStringLiteral(".solving")))
{}

Claim::~Claim()
{
    if (held_)
        QFile::remove(path_);
}

void Claim::clearStale()
{
    if (look() == Found::Stale)
        QFile::remove(path_);
}

Claim::Taken Claim::take()
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (create()) {
            held_ = true;
            return Taken::Held;
        }
        if (!why_.isEmpty())
            return Taken::NoWrite;
        switch (look()) {
        case Found::None: // released between the two looks
            continue;
        case Found::Stale:
            if (QFile::remove(path_))
                continue;
            why_ = QDir::toNativeSeparators(path_) +
                   QStringLiteral(": a dead run's claim that cannot be removed");
            return Taken::NoWrite;
        case Found::Live:
        case Found::Foreign:
            return Taken::Elsewhere;
        }
    }
    return Taken::Elsewhere;
}

bool Claim::create()
{
    why_.clear();
    const int fd = ::open(QFile::encodeName(path_).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno != EEXIST)
            why_ = QDir::toNativeSeparators(QFileInfo(path_).absolutePath()) +
                   QStringLiteral(": cannot write here (%1)").arg(systemError(errno));
        return false;
    }
    const qint64 pid = ::getpid();
    const QByteArray owner = hostName().toUtf8() + ' ' + QByteArray::number(pid) + ' ' +
                             processStart(pid) + ' ' +
                             QByteArray::number(QDateTime::currentSecsSinceEpoch()) + '\n';
    const bool written =
        ::write(fd, owner.constData(), std::size_t(owner.size())) == ssize_t(owner.size()) &&
        ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!written) {
        // An empty claim must not stay behind a full disk.
        ::unlink(QFile::encodeName(path_).constData());
        why_ = QDir::toNativeSeparators(QFileInfo(path_).absolutePath()) +
               QStringLiteral(": cannot write here (%1)").arg(systemError(error));
    }
    return written;
}

// Whose claim stands at the path.  Empty or garbled claims are stale: a run
// killed between making the file and writing its line leaves one.
Claim::Found Claim::look()
{
    struct stat info = {};
    const QByteArray encoded = QFile::encodeName(path_);
    if (::lstat(encoded.constData(), &info) != 0)
        return Found::None;
    const QString shown = QDir::toNativeSeparators(path_);
    if (!S_ISREG(info.st_mode)) {
        why_ = shown + QStringLiteral(": not a claim of keldar-generate (%1); remove it to "
                                      "solve this instance")
                           .arg(S_ISLNK(info.st_mode)    ? QStringLiteral("a symbolic link")
                                : S_ISFIFO(info.st_mode) ? QStringLiteral("a FIFO")
                                                         : QStringLiteral("not a regular file"));
        return Found::Foreign;
    }
    QString error;
    const QList<QByteArray> owner =
        readRegularFile(path_, ClaimBytes, error).value_or(QByteArray()).trimmed().split(' ');
    bool numbers = owner.size() == 4;
    const qint64 pid = numbers ? owner.at(1).toLongLong(&numbers) : 0;
    const qint64 since = numbers ? owner.at(3).toLongLong(&numbers) : 0;
    if (!numbers || pid <= 0)
        return Found::Stale;
    const QString host = QString::fromUtf8(owner.at(0));
    const bool here = host == hostName();
    if (here && !(processRunning(pid) && processStart(pid) == owner.at(2)))
        return Found::Stale;
    why_ = shown +
           QStringLiteral(": held by process %1 on %2 for %3; if that run is gone, "
                          "remove the file to release it")
               .arg(pid)
               .arg(here ? QStringLiteral("this host") : QStringLiteral("host ") + printable(host),
                    age(since));
    return here ? Found::Live : Found::Foreign;
}

} // namespace keldar::generator

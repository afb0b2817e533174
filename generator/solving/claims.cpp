#include "generator/solving/claims.h"

#include "generator/publish/publish.h"
#include "generator/publish/userfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
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
    // Unlinked while still locked: whoever opens the name later finds a new
    // file, or none.
    if (held_)
        ::unlink(QFile::encodeName(path_).constData());
    release();
}

void Claim::release()
{
    if (fd_ >= 0)
        ::close(fd_); // also releases the lock
    fd_ = -1;
}

// Opens the claim at the path and locks it, unless a live run holds it.
Claim::Opened Claim::openLocked(bool create)
{
    const QByteArray encoded = QFile::encodeName(path_);
    const int flags = O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (create ? O_CREAT : 0);
    fd_ = ::open(encoded.constData(), flags, 0644);
    if (fd_ < 0) {
        if (errno == ENOENT && !create)
            return Opened::Gone;
        if (errno == ELOOP) {
            why_ = QDir::toNativeSeparators(path_) +
                   QStringLiteral(": not a claim of keldar-generate (a symbolic link); remove it "
                                  "to solve this instance");
            return Opened::NotAClaim;
        }
        why_ = QDir::toNativeSeparators(QFileInfo(path_).absolutePath()) +
               QStringLiteral(": cannot write here (%1)").arg(systemError(errno));
        return Opened::NoWrite;
    }
    struct stat opened = {};
    struct stat atPath = {};
    if (::fstat(fd_, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        why_ = QDir::toNativeSeparators(path_) +
               QStringLiteral(": not a claim of keldar-generate (%1); remove it to solve this "
                              "instance")
                   .arg(S_ISFIFO(opened.st_mode) ? QStringLiteral("a FIFO")
                                                 : QStringLiteral("not a regular file"));
        release();
        return Opened::NotAClaim;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        why_ = named(holder());
        release();
        return Opened::Busy;
    }
    // The file locked may have been released and unlinked meanwhile.
    if (::stat(encoded.constData(), &atPath) != 0 || atPath.st_ino != opened.st_ino ||
        atPath.st_dev != opened.st_dev) {
        release();
        return Opened::Gone;
    }
    return Opened::Locked;
}

QByteArray Claim::holder() const
{
    QByteArray owner(int(ClaimBytes), '\0');
    const ssize_t got = ::pread(fd_, owner.data(), std::size_t(ClaimBytes), 0);
    owner.truncate(got > 0 ? qsizetype(got) : 0);
    return owner.trimmed();
}

// Who holds the claim, in words: its file, the process and host, and how
// long, with how to release it.
QString Claim::named(const QByteArray &owner) const
{
    const QList<QByteArray> fields = owner.split(' ');
    bool numbers = fields.size() == 4;
    const qint64 pid = numbers ? fields.at(1).toLongLong(&numbers) : 0;
    const qint64 since = numbers ? fields.at(3).toLongLong(&numbers) : 0;
    const QString shown = QDir::toNativeSeparators(path_);
    if (!numbers)
        return shown + QStringLiteral(": being taken by another run");
    const QString host = QString::fromUtf8(fields.at(0));
    return shown + QStringLiteral(": held by process %1 on %2 for %3; if that run is gone, "
                                  "remove the file to release it")
                       .arg(pid)
                       .arg(host == hostName() ? QStringLiteral("this host")
                                               : QStringLiteral("host ") + printable(host),
                            age(since));
}

bool Claim::writeOwner()
{
    const qint64 pid = ::getpid();
    const QByteArray owner = hostName().toUtf8() + ' ' + QByteArray::number(pid) + ' ' +
                             processStart(pid) + ' ' +
                             QByteArray::number(QDateTime::currentSecsSinceEpoch()) + '\n';
    const bool written =
        ::ftruncate(fd_, 0) == 0 &&
        ::pwrite(fd_, owner.constData(), std::size_t(owner.size()), 0) == ssize_t(owner.size()) &&
        ::fsync(fd_) == 0;
    if (!written) {
        const int error = errno;
        // No empty claim stays behind a full disk.
        ::unlink(QFile::encodeName(path_).constData());
        release();
        why_ = QDir::toNativeSeparators(QFileInfo(path_).absolutePath()) +
               QStringLiteral(": cannot write here (%1)").arg(systemError(error));
    }
    return written;
}

Claim::Taken Claim::take()
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        why_.clear();
        switch (openLocked(true)) {
        case Opened::Gone:
            continue;
        case Opened::Busy:
            return Taken::Elsewhere;
        case Opened::NotAClaim:
            return Taken::Blocked;
        case Opened::NoWrite:
            return Taken::NoWrite;
        case Opened::Locked:
            break;
        }
        // Unlocked: this run's new file, or one a dead run left (empty or
        // garbled if it died making it).  A claim of another host may be
        // live where locks do not cross hosts: it is named, not taken.
        const QByteArray owner = holder();
        const QByteArray host = owner.split(' ').value(0);
        if (owner.split(' ').size() == 4 && host != hostName().toUtf8()) {
            why_ = named(owner);
            release();
            return Taken::Elsewhere;
        }
        if (!writeOwner())
            return Taken::NoWrite;
        held_ = true;
        return Taken::Held;
    }
    why_ = QDir::toNativeSeparators(path_) + QStringLiteral(": taken and released by others "
                                                            "while this run looked");
    return Taken::Elsewhere;
}

void Claim::clearStale()
{
    if (openLocked(false) != Opened::Locked)
        return;
    const QByteArray owner = holder();
    if (owner.split(' ').size() != 4 || owner.split(' ').value(0) == hostName().toUtf8())
        ::unlink(QFile::encodeName(path_).constData());
    release();
}

} // namespace keldar::generator

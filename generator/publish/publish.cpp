#include "generator/publish/publish.h"

#include "generator/publish/diskspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace keldar::generator {

namespace {

std::atomic<qint64> syncedCount{0};
std::atomic<qint64> temporaryCounter{0};
std::atomic<bool> unnamedAllowed{true};
std::atomic<bool> hardLinksAllowed{true};

struct SpaceFault {
    std::mutex lock;
    QString folder;
    qint64 left = -1;
} spaceFault;

QString cleanFolder(const QString &folder)
{
    return QDir::cleanPath(QDir(folder).absolutePath());
}

// Temporary names: ".keldar-<host>-<pid>-<n>.tmp".  The host matters on a
// shared disk, where a process id only means something on its own host.
// Names of earlier versions carry no host, so they are left alone.
const QRegularExpression &temporaryPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^\\.keldar-(.+)-(\\d+)-\\d+\\.tmp$"));
    return pattern;
}

PublishResult failed(int error)
{
    PublishResult result;
    result.status = Published::Failed;
    result.error = error != 0 ? error : EIO;
    return result;
}

PublishResult success(Published status = Published::Written)
{
    PublishResult result;
    result.status = status;
    return result;
}

} // namespace

bool processRunning(qint64 pid)
{
    if (pid <= 0 || pid > 0x7fffffff)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString PublishResult::reason() const
{
    switch (status) {
    case Published::Written:
        return QString();
    case Published::Exists:
        return QStringLiteral("already exists");
    case Published::Failed:
        break;
    }
    return systemReason(error);
}

PendingFile::PendingFile(PendingFile &&other) noexcept
    : fd_(other.fd_), folderFd_(other.folderFd_), temporary_(std::move(other.temporary_))
{
    other.fd_ = -1;
    other.folderFd_ = -1;
    other.temporary_.clear();
}

PendingFile &PendingFile::operator=(PendingFile &&other) noexcept
{
    if (this != &other) {
        release();
        fd_ = other.fd_;
        folderFd_ = other.folderFd_;
        temporary_ = std::move(other.temporary_);
        other.fd_ = -1;
        other.folderFd_ = -1;
        other.temporary_.clear();
    }
    return *this;
}

PendingFile::~PendingFile()
{
    release();
}

void PendingFile::release()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!temporary_.isEmpty() && folderFd_ >= 0)
        ::unlinkat(folderFd_, temporary_.constData(), 0);
    if (folderFd_ >= 0)
        ::close(folderFd_);
    fd_ = -1;
    folderFd_ = -1;
    temporary_.clear();
}

int writeAll(int fd, const QByteArray &bytes, const QString &folder)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    qint64 allowed = left;
    {
        std::lock_guard<std::mutex> guard(spaceFault.lock);
        if (spaceFault.left >= 0 && cleanFolder(folder) == spaceFault.folder) {
            allowed = std::min(left, spaceFault.left);
            // A file that does not fit is dropped unnamed and its blocks come
            // free again, so a smaller file after it may still fit.
            if (allowed == left)
                spaceFault.left -= allowed;
        }
    }
    while (left > 0) {
        if (allowed == 0)
            return ENOSPC;
        const ssize_t written = ::write(fd, data, static_cast<std::size_t>(allowed));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        left -= written;
        allowed -= written;
    }
    return 0;
}

PublishResult prepare(const QString &folder, const QByteArray &bytes, PendingFile &file)
{
    file = PendingFile();
    const QByteArray encoded = QFile::encodeName(folder);
    file.folderFd_ = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (file.folderFd_ < 0)
        return failed(errno);
#ifdef O_TMPFILE
    if (unnamedAllowed) {
        file.fd_ = ::openat(file.folderFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        // Older kernels and some file systems have no unnamed files.
        if (file.fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            const int error = errno;
            file = PendingFile();
            return failed(error);
        }
    }
#endif
    if (file.fd_ < 0) {
        for (int attempt = 0; attempt < 100 && file.fd_ < 0; ++attempt) {
            const QByteArray name = ".keldar-" + hostName().toUtf8() + '-' +
                                    QByteArray::number(::getpid()) + '-' +
                                    QByteArray::number(++temporaryCounter) + ".tmp";
            file.fd_ = ::openat(file.folderFd_, name.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (file.fd_ >= 0)
                file.temporary_ = name;
            else if (errno != EEXIST)
                break;
        }
        if (file.fd_ < 0) {
            const int error = errno;
            file = PendingFile();
            return failed(error);
        }
    }
    if (const int error = writeAll(file.fd_, bytes, folder)) {
        file = PendingFile();
        return failed(error);
    }
    return success();
}

PublishResult syncFiles(const std::vector<PendingFile *> &files, bool oneSync)
{
#ifdef Q_OS_LINUX
    if (oneSync && !files.empty()) {
        // Pending files live in one folder, so on one file system.
        if (::syncfs(files.front()->fd_) != 0)
            return failed(errno);
        syncedCount += static_cast<qint64>(files.size());
        return success();
    }
#else
    Q_UNUSED(oneSync)
#endif
    for (PendingFile *file : files) {
        if (::fsync(file->fd_) != 0)
            return failed(errno);
        ++syncedCount;
    }
    return success();
}

PublishResult giveName(PendingFile &file, const QString &fileName)
{
    const QByteArray name = QFile::encodeName(fileName);
    int result = 0;
    if (file.temporary_.isEmpty()) {
        // linkat with AT_EMPTY_PATH needs a privilege; the descriptor's
        // /proc entry does the same for anyone.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(file.fd_);
        result = ::linkat(AT_FDCWD, self.constData(), file.folderFd_, name.constData(),
                          AT_SYMLINK_FOLLOW);
#ifdef AT_EMPTY_PATH
        if (result != 0 && errno == ENOENT)
            result = ::linkat(file.fd_, "", file.folderFd_, name.constData(), AT_EMPTY_PATH);
#endif
    } else {
        // link() never replaces an existing name, unlike rename().
        result = hardLinksAllowed ? ::linkat(file.folderFd_, file.temporary_.constData(),
                                             file.folderFd_, name.constData(), 0)
                                  : (errno = EPERM, -1);
        // File systems without hard links (FAT) still offer a rename that
        // refuses to replace.
        if (result != 0 && (errno == EPERM || errno == EOPNOTSUPP)) {
            result = ::renameat2(file.folderFd_, file.temporary_.constData(), file.folderFd_,
                                 name.constData(), RENAME_NOREPLACE);
            if (result == 0)
                file.temporary_.clear(); // it is the name now
        }
    }
    const int error = result == 0 ? 0 : errno;
    file = PendingFile(); // closes, and drops the temporary name
    if (result == 0)
        return success();
    if (error == EEXIST)
        return success(Published::Exists);
    return failed(error);
}

PublishResult syncFolder(const QString &folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return failed(errno);
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    return synced ? success() : failed(error);
}

PublishResult publish(const QString &folder, const QString &fileName, const QByteArray &bytes)
{
    PendingFile file;
    PublishResult result = prepare(folder, bytes, file);
    if (result.status != Published::Written)
        return result;
    result = syncFiles({&file});
    if (result.status != Published::Written)
        return result;
    return giveName(file, fileName);
}

int removeStaleTemporaries(const QString &folder)
{
    const QByteArray encoded = QFile::encodeName(folder);
    const int folderFd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return 0;
    DIR *listing = ::fdopendir(::dup(folderFd));
    int removed = 0;
    if (listing) {
        while (const dirent *entry = ::readdir(listing)) {
            const QString name = QFile::decodeName(entry->d_name);
            const QRegularExpressionMatch match = temporaryPattern().match(name);
            if (!match.hasMatch())
                continue;
            if (match.captured(1) == hostName() &&
                !processRunning(match.captured(2).toLongLong()) &&
                ::unlinkat(folderFd, entry->d_name, 0) == 0)
                ++removed;
        }
        ::closedir(listing);
    }
    ::close(folderFd);
    return removed;
}

QString hostName()
{
    static const QString name = [] {
        char buffer[256] = {};
        if (::gethostname(buffer, sizeof buffer - 1) != 0 || buffer[0] == '\0')
            return QStringLiteral("localhost");
        QString safe = QString::fromLatin1(buffer);
        for (QChar &c : safe)
            if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'.' && c != u'-' && c != u'_')
                c = u'_';
        return safe;
    }();
    return name;
}

bool makeFolder(const QString &path, QString &reason)
{
    QByteArray encoded = QFile::encodeName(path);
    while (encoded.size() > 1 && encoded.endsWith('/'))
        encoded.chop(1);
    struct stat info = {};
    if (::stat(encoded.constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return true;
        reason = systemReason(ENOTDIR);
        return false;
    }
    if (errno != ENOENT) {
        reason = systemReason(errno);
        return false;
    }
    const qsizetype slash = encoded.lastIndexOf('/');
    if (slash > 0 && !makeFolder(QFile::decodeName(encoded.left(slash)), reason))
        return false;
    if (::mkdir(encoded.constData(), 0777) != 0 && errno != EEXIST) {
        reason = systemReason(errno);
        return false;
    }
    if (::stat(encoded.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        reason = systemReason(ENOTDIR);
        return false;
    }
    return true;
}

qint64 filesSynced()
{
    return syncedCount;
}

bool holdsExactly(const QString &path, const QByteArray &bytes)
{
    // A link is never taken for the run's file, whatever it points to; the
    // size is compared first, so a large stranger is not read.
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile() || info.size() != bytes.size())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(bytes.size() + 1) == bytes;
}

QString publishOnce(const QString &folder, const QString &name, const QByteArray &bytes,
                    QString &why, bool *already)
{
    const bool there = holdsExactly(QDir(folder).filePath(name), bytes);
    if (already)
        *already = there;
    return there ? name : publishBeside(folder, name, bytes, why);
}

QString publishBeside(const QString &folder, const QString &name, const QByteArray &bytes,
                      QString &why)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    for (int n = 1; n < 1000; ++n) {
        const QString candidate =
            n == 1 ? name : name.left(dot) + QStringLiteral("-%1").arg(n) + name.mid(dot);
        // Names seen taken cost no write and sync; naming still never replaces.
        if (nameTaken(QDir(folder).filePath(candidate)))
            continue;
        const PublishResult result = publish(folder, candidate, bytes);
        if (result.status == Published::Written)
            return candidate;
        if (result.status == Published::Failed) {
            why = result.reason();
            return QString();
        }
    }
    why = QStringLiteral("too many earlier copies");
    return QString();
}

namespace faults {

void setUnnamedFilesAllowed(bool allowed)
{
    unnamedAllowed = allowed;
}

void setHardLinksAllowed(bool allowed)
{
    hardLinksAllowed = allowed;
}

void setSpaceLeft(const QString &folder, qint64 bytes)
{
    std::lock_guard<std::mutex> guard(spaceFault.lock);
    spaceFault.folder = cleanFolder(folder);
    spaceFault.left = bytes;
}

} // namespace faults

} // namespace keldar::generator

#include "generator/publish/outputlog.h"

#include "generator/publish/publish.h"
#include "generator/publish/userfile.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringList>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace keldar::generator {

namespace {

// How much of an existing log is read back to find batches that never
// finished: their sections are recent, and a log may be huge.
constexpr qint64 TailBytes = 1 << 20;

const QString LinkReason = QStringLiteral("it is a symbolic link");

const QString UnfinishedNote = QStringLiteral("note: batch %1 did not finish");

// A batch section's heading ends with the host it runs on; only there does
// its process id tell whether it still runs.
const QString HostMark = QStringLiteral(", host ");

// The ids of this host's batch sections in the log text that have no
// summary and no note that they did not finish.
QStringList openSections(const QByteArray &tail)
{
    QStringList open;
    QSet<QString> closed;
    for (const QByteArray &raw : tail.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(QLatin1String("== batch "))) {
            const QString id = line.section(u' ', 2, 2);
            if (id != QLatin1String("started") && line.endsWith(HostMark + hostName()))
                open.append(id);
        } else if (line.startsWith(u'[')) {
            const qsizetype end = line.indexOf(QLatin1String("] "));
            if (end < 0)
                continue;
            const QString rest = line.mid(end + 2);
            if (rest.startsWith(QLatin1String("summary:")))
                closed.insert(line.mid(1, end - 1));
            else if (rest.startsWith(UnfinishedNote.section(u'%', 0, 0)))
                closed.insert(rest.section(u' ', 2, 2));
        }
    }
    QStringList unfinished;
    for (const QString &id : open)
        if (!closed.contains(id))
            unfinished.append(id);
    return unfinished;
}

bool isFolder(const QString &path, QString &why)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        why = systemReason(errno);
    else if (!S_ISDIR(info.st_mode))
        why = systemReason(ENOTDIR);
    return why.isEmpty();
}

} // namespace

OutputLog::OutputLog(const QString &folder, const QString &fallbackDir, QTextStream *errors,
                     FolderUse use)
    : errors_(errors), fallbackDir_(fallbackDir)
{
    if (!folder.isEmpty()) {
        QString why;
        folderReady_ = use == FolderUse::Create ? makeFolder(folder, why) : isFolder(folder, why);
        if (!folderReady_) {
            folderProblem_ = why;
            standIn_ =
                QStringLiteral("the target folder %1 cannot be %2 (%3); logging here instead")
                    .arg(QDir::toNativeSeparators(folder),
                         use == FolderUse::Create ? QStringLiteral("created")
                                                  : QStringLiteral("used"),
                         why);
        } else if (!openIn(folder, why)) {
            // Someone put a link where the log belongs: worth more than a note.
            standInIsError_ = why == LinkReason;
            standIn_ = QStringLiteral("output.log in the target folder %1 cannot be written (%2); "
                                      "logging here instead")
                           .arg(QDir::toNativeSeparators(folder), why);
        }
    }
    if (fd_ < 0) {
        fellBack_ = true;
        QString why;
        if (!openIn(fallbackDir, why) && errors_)
            *errors_ << "keldar-generate: cannot write " << QDir::toNativeSeparators(path_) << ": "
                     << why << Qt::endl;
    }
}

OutputLog::~OutputLog()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool OutputLog::openIn(const QString &dir, QString &why)
{
    path_ = QDir(dir).absoluteFilePath(QStringLiteral("output.log"));
    const QByteArray name = QFile::encodeName(path_);
    // Never through a link, and never blocked by a pipe someone put there.
    const int fd =
        ::open(name.constData(),
               O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        why = errno == ELOOP ? LinkReason : systemReason(errno);
        return false;
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        why = QStringLiteral("it is not a plain file");
        return false;
    }
    fd_ = fd;
    writtenIn_ = dir;
    return true;
}

void OutputLog::open(const QString &heading, const QString &batchId)
{
    QStringList unfinished;
    if (!batchId.isEmpty() && fd_ >= 0) {
        QFile earlier(path_);
        const int fd = ::open(QFile::encodeName(path_).constData(),
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 && earlier.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            const qint64 start = std::max<qint64>(0, earlier.size() - TailBytes);
            earlier.seek(start);
            QByteArray tail = earlier.read(TailBytes);
            if (start > 0)
                tail.remove(0, tail.indexOf('\n') + 1);
            for (const QString &id : openSections(tail))
                if (!processRunning(id.section(u'-', 0, 0).toLongLong()))
                    unfinished.append(id);
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
    heading_ = batchId.isEmpty() ? heading : heading + HostMark + hostName();
    batchId_ = batchId;
    write(heading_, false);
    headingWritten_ = true;
    if (standInIsError_)
        error(standIn_);
    else if (!standIn_.isEmpty())
        line(QStringLiteral("note: ") + standIn_);
    for (const QString &id : unfinished)
        line(UnfinishedNote.arg(id));
}

void OutputLog::line(const QString &text)
{
    write(text, true);
}

void OutputLog::write(const QString &text, bool marked)
{
    if (fd_ < 0)
        return;
    const QByteArray bytes =
        (batchId_.isEmpty() || !marked ? QByteArray() : '[' + batchId_.toUtf8() + "] ") +
        printable(text).toUtf8() + '\n';
    const int error = writeAll(fd_, bytes, writtenIn_);
    if (error == 0)
        return;
    if (!fellBack_) {
        // The heading is written again there anyway.
        const bool heading = !headingWritten_;
        fallBack(systemReason(error));
        if (fd_ >= 0 && (heading || writeAll(fd_, bytes, writtenIn_) == 0))
            return;
    }
    if (errors_)
        *errors_ << "keldar-generate: cannot write " << QDir::toNativeSeparators(path_) << ": "
                 << systemReason(error) << Qt::endl;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

// The target folder's log stopped taking lines: the section goes on in the
// fallback log, under its heading again, saying why.
void OutputLog::fallBack(const QString &why)
{
    ::close(fd_);
    fd_ = -1;
    fellBack_ = true;
    const QString meant = path_;
    QString openWhy;
    if (!openIn(fallbackDir_, openWhy)) {
        if (errors_)
            *errors_ << "keldar-generate: cannot write " << QDir::toNativeSeparators(path_) << ": "
                     << openWhy << Qt::endl;
        return;
    }
    write(heading_, false);
    const QString note = QStringLiteral("%1 cannot be written further (%2); logging here instead")
                             .arg(QDir::toNativeSeparators(meant), why);
    line(QStringLiteral("note: ") + note);
    if (errors_)
        *errors_ << "keldar-generate: " << note << Qt::endl;
}

void OutputLog::error(const QString &text)
{
    line(QStringLiteral("error: ") + text);
    if (errors_)
        *errors_ << "keldar-generate: " << printable(text) << Qt::endl;
}

} // namespace keldar::generator

#include "generator/publish/userfile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace keldar::generator {

namespace {

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

QString larger(qint64 limit)
{
    return QStringLiteral("larger than %1 bytes").arg(limit);
}

// Reads at most `limit` + 1 bytes, so that a file grown past its size shows.
std::optional<QByteArray> readUpTo(int fd, qint64 limit, QString &error)
{
    QByteArray bytes;
    char buffer[1 << 16];
    while (bytes.size() <= limit) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = systemError(errno);
            return std::nullopt;
        }
        if (got == 0)
            return bytes;
        bytes.append(buffer, qsizetype(got));
    }
    error = larger(limit);
    return std::nullopt;
}

} // namespace

std::optional<QByteArray> readRegularFile(const QString &path, qint64 limit, QString &error)
{
    // Without O_NONBLOCK, opening a FIFO waits for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = systemError(errno);
        return std::nullopt;
    }
    struct stat info = {};
    std::optional<QByteArray> bytes;
    if (::fstat(fd, &info) != 0)
        error = systemError(errno);
    else if (S_ISDIR(info.st_mode))
        error = systemError(EISDIR);
    else if (!S_ISREG(info.st_mode))
        error = QStringLiteral("not a regular file");
    else if (info.st_size > limit)
        error = larger(limit);
    else
        bytes = readUpTo(fd, limit, error);
    ::close(fd);
    return bytes;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString printable(const QString &text)
{
    if (!hasControlCharacter(text))
        return text;
    QString shown;
    for (const QChar c : text) {
        if (!isControl(c))
            shown += c;
        else if (c == u'\n')
            shown += QLatin1String("\\n");
        else if (c == u'\r')
            shown += QLatin1String("\\r");
        else if (c == u'\t')
            shown += QLatin1String("\\t");
        else
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    }
    return shown;
}

bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.begin(), text.end(), isControl);
}

} // namespace keldar::generator

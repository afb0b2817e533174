#include "generator/tables/scoretable.h"

#include "generator/publish/publish.h"
#include "generator/publish/userfile.h"
#include "generator/run/manifest.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace keldar::generator {

namespace {

constexpr int ScoreColumns = 9;

} // namespace

QByteArray scoresHeader()
{
    return "file,rules,algorithm,feasible,cost,reference,gap,seconds,violations";
}

QByteArray ScoreRow::line() const
{
    auto number = [](const auto &value) {
        return value ? QByteArray::number(*value) : QByteArray();
    };
    return csvField(file.toUtf8()) + ',' + csvField(rules.toUtf8()) + ',' +
           csvField(algorithm.toUtf8()) + ',' + feasible + ',' + number(cost) + ',' +
           number(reference) + ',' + (gap ? QByteArray::number(*gap, 'f', 6) : QByteArray()) + ',' +
           seconds + ',' + number(violations);
}

std::optional<QList<ScoreRow>> readScores(const QString &path, bool fragmentRefused, QString &why)
{
    QList<ScoreRow> rows;
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return rows;
    const auto bytes = readRegularFile(path, qint64(1) << 30, why);
    if (!bytes)
        return std::nullopt;
    QList<QByteArray> lines = bytes->split('\n');
    if (fragmentRefused && !lines.last().isEmpty()) {
        why = QStringLiteral("line %1 is cut short; set it aside").arg(lines.size());
        return std::nullopt;
    }
    lines.removeLast();
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QByteArray line = lines.at(n);
        if (line.endsWith('\r'))
            line.chop(1);
        if (n == 0 && line != scoresHeader()) {
            why = QStringLiteral("line 1 is not the header of scores (%1)")
                      .arg(QLatin1String(scoresHeader()));
            return std::nullopt;
        }
        if (n == 0 || line.isEmpty())
            continue;
        const auto fields = csvFields(line);
        bool costRead = true, gapRead = true;
        ScoreRow row;
        if (fields && fields->size() == ScoreColumns) {
            row.file = QString::fromUtf8(fields->at(0));
            row.rules = QString::fromUtf8(fields->at(1));
            row.algorithm = QString::fromUtf8(fields->at(2));
            row.feasible = fields->at(3);
            if (!fields->at(4).isEmpty())
                row.cost = fields->at(4).toLongLong(&costRead);
            if (!fields->at(6).isEmpty())
                row.gap = fields->at(6).toDouble(&gapRead);
        }
        static const QList<QByteArray> verdicts = {"yes", "no", "missing", "refused"};
        if (!fields || fields->size() != ScoreColumns || !verdicts.contains(row.feasible) ||
            !costRead || !gapRead || (row.gap && !std::isfinite(*row.gap)) ||
            row.algorithm.isEmpty()) {
            why = QStringLiteral("line %1 is not a row of scores").arg(n + 1);
            return std::nullopt;
        }
        rows.append(row);
    }
    return rows;
}

bool appendScores(const QString &path, const QList<ScoreRow> &rows, QString &why)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        why = systemError(errno);
        return false;
    }
    struct stat status = {};
    bool written = ::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &status) == 0;
    QByteArray bytes;
    if (written && status.st_size == 0)
        bytes = scoresHeader() + "\r\n";
    for (const ScoreRow &row : rows)
        bytes += row.line() + "\r\n";
    for (qsizetype done = 0; written && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        written = n > 0 || (n < 0 && errno == EINTR);
        done += std::max<ssize_t>(n, 0);
    }
    written = written && ::fsync(fd) == 0;
    if (!written) {
        why = systemError(errno);
        if (::ftruncate(fd, status.st_size) == 0)
            ::fsync(fd);
    }
    ::close(fd);
    return written;
}

} // namespace keldar::generator

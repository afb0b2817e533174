#include "generator/solving/solutions.h"

#include "generator/publish/publish.h"
#include "generator/publish/userfile.h"
#include "generator/run/manifest.h"
#include "generator/solve/mipsolve.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace keldar::generator {

namespace {

constexpr int SolutionColumns = 8;
constexpr int ShardColumns = SolutionColumns + 4;
bool knownStatus(const QByteArray &text)
{
    for (int s = SolveOutcome::Optimal; s <= SolveOutcome::Unknown; ++s)
        if (text == statusName(SolveOutcome::Status(s)))
            return true;
    return false;
}
const char Bom[] = "\xEF\xBB\xBF";

QByteArray optionalNumber(const std::optional<qint64> &value)
{
    return value ? QByteArray::number(*value) : QByteArray();
}

std::optional<qint64> readOptional(const QByteArray &text, bool &good)
{
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    good = good && ok;
    return value;
}

double readNumber(const QByteArray &text, bool &good)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    good = good && ok && std::isfinite(value) && value >= 0;
    return value;
}

std::optional<ShardIdentity> readIdentity(const QList<QByteArray> &fields, bool &good)
{
    ShardIdentity id;
    static const QRegularExpression digest(QStringLiteral("^[0-9a-f]{16,64}$"));
    static const QRegularExpression split(QStringLiteral("^(\\d{1,6})/(\\d{1,6})$"));
    id.rulesDigest = QString::fromLatin1(fields.at(8));
    id.timeLimit = readNumber(fields.at(9), good);
    const QRegularExpressionMatch shard = split.match(QString::fromLatin1(fields.at(10)));
    id.shard = shard.captured(1).toInt();
    id.shards = shard.captured(2).toInt();
    bool sized = false;
    id.setSize = fields.at(11).toLongLong(&sized);
    good = good && digest.match(id.rulesDigest).hasMatch() && id.timeLimit > 0 &&
           shard.hasMatch() && id.shard >= 1 && id.shard <= id.shards && sized && id.setSize >= 0;
    return id;
}

// The numbers a row states agree with its status: a verdict with its
// numbers, a bound never above the cost.
bool consistent(const SolutionRow &row)
{
    if (row.status == QLatin1String("optimal"))
        return row.cost && row.bound == row.cost;
    if (row.status == QLatin1String("infeasible"))
        return !row.cost && !row.bound && row.roster.isEmpty();
    if (row.status == QLatin1String("feasible") && !row.cost)
        return false;
    if (row.status == QLatin1String("unknown") && (row.cost || !row.roster.isEmpty()))
        return false;
    return !row.cost || !row.bound || *row.bound <= *row.cost;
}

std::optional<SolutionRow> readRow(const QByteArray &line)
{
    const auto fields = csvFields(line);
    if (!fields || (fields->size() != SolutionColumns && fields->size() != ShardColumns) ||
        !knownStatus(fields->at(2)))
        return std::nullopt;
    bool good = true;
    SolutionRow row;
    row.file = QString::fromUtf8(fields->at(0));
    row.rules = QString::fromUtf8(fields->at(1));
    row.status = QString::fromLatin1(fields->at(2));
    row.cost = readOptional(fields->at(3), good);
    row.bound = readOptional(fields->at(4), good);
    row.seconds = readNumber(fields->at(6), good);
    row.roster = QString::fromUtf8(fields->at(7));
    if (fields->size() == ShardColumns)
        row.identity = readIdentity(*fields, good);
    if (!good || row.file.isEmpty() || row.rules.isEmpty() || !consistent(row))
        return std::nullopt;
    return row;
}

// Writes all of `bytes` at the end of the file; false with errno set.
bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// The bytes after the last line end of an open solutions file, cut off and
// kept in a file beside it: nothing of a row is lost, and the instance it
// was for is solved again.  The caller holds the file's lock.
bool cutFragment(int fd, const QString &path, QString &setAside, QString &why)
{
    struct stat status = {};
    if (::fstat(fd, &status) != 0) {
        why = systemError(errno);
        return false;
    }
    const qint64 size = status.st_size;
    char last = '\n';
    if (size == 0 || ::pread(fd, &last, 1, size - 1) != 1 || last == '\n')
        return true;
    // A row is short; a tail longer than this is no row of ours.
    const qint64 tail = std::min<qint64>(size, 1 << 20);
    QByteArray bytes(tail, Qt::Uninitialized);
    if (::pread(fd, bytes.data(), std::size_t(tail), size - tail) != ssize_t(tail)) {
        why = systemError(errno);
        return false;
    }
    const qint64 keep = size - tail + bytes.lastIndexOf('\n') + 1;
    const QFileInfo info(path);
    setAside = publishBeside(info.absolutePath(), info.fileName() + QStringLiteral(".fragment"),
                             bytes.mid(keep - (size - tail)), why);
    if (setAside.isEmpty())
        return false;
    if (::ftruncate(fd, keep) != 0 || ::fsync(fd) != 0) {
        why = systemError(errno);
        return false;
    }
    return true;
}

} // namespace

bool ShardIdentity::operator==(const ShardIdentity &other) const
{
    return rulesDigest == other.rulesDigest && timeLimit == other.timeLimit &&
           shard == other.shard && shards == other.shards && setSize == other.setSize;
}

std::optional<double> SolutionRow::gap() const
{
    if (!cost || !bound || *cost <= 0)
        return std::nullopt;
    return double(*cost - *bound) / double(*cost);
}

QByteArray SolutionRow::line() const
{
    const auto g = gap();
    QByteArray text = csvField(file.toUtf8()) + ',' + csvField(rules.toUtf8()) + ',' +
                      status.toLatin1() + ',' + optionalNumber(cost) + ',' + optionalNumber(bound) +
                      ',' + (g ? QByteArray::number(*g, 'f', 6) : QByteArray()) + ',' +
                      QByteArray::number(seconds, 'f', 3) + ',' + csvField(roster.toUtf8());
    if (identity)
        text += ',' + identity->rulesDigest.toLatin1() + ',' +
                QByteArray::number(identity->timeLimit, 'g', 17) + ',' +
                QByteArray::number(identity->shard) + '/' + QByteArray::number(identity->shards) +
                ',' + QByteArray::number(identity->setSize);
    return text;
}

QByteArray solutionsHeader(bool shard)
{
    return shard ? "file,rules,status,cost,bound,gap,seconds,roster,rulesDigest,timeLimit,shard,"
                   "setSize"
                 : "file,rules,status,cost,bound,gap,seconds,roster";
}

SolutionsRead readSolutions(const QByteArray &bytes, qint64 firstLine)
{
    SolutionsRead result;
    const bool bom = firstLine == 1 && bytes.startsWith(Bom);
    QList<QByteArray> lines = bytes.mid(bom ? 3 : 0).split('\n');
    // What follows the last line end is a row still being written, or
    // nothing.
    lines.removeLast();
    result.lines = lines.size();
    bool header = firstLine > 1;
    QList<SolutionRow> rows;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QByteArray line = lines.at(n);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const qint64 number = firstLine + n;
        if (!header) {
            if (line != solutionsHeader(false) && line != solutionsHeader(true)) {
                result.error = QStringLiteral("line %1 is not the header \"%2\"")
                                   .arg(number)
                                   .arg(QString::fromLatin1(solutionsHeader()));
                return result;
            }
            header = true;
            continue;
        }
        const std::optional<SolutionRow> row = readRow(line);
        if (!row) {
            result.error =
                QStringLiteral("line %1 is not a solutions row of keldar-generate").arg(number);
            return result;
        }
        rows.append(*row);
    }
    result.rows = rows;
    return result;
}

QString solutionsName(int shard, int shards, const QString &solver)
{
    const QString base = QStringLiteral("solutions") + solverTag(solver);
    return shards > 1 ? base + QStringLiteral(".shard-%1-of-%2.csv").arg(shard).arg(shards)
                      : base + QStringLiteral(".csv");
}

QString solverTag(const QString &solver)
{
    return solver == QLatin1String("cbc") ? QString() : u'.' + solver;
}

bool SolutionsLedger::refresh(QString &why)
{
    QMutexLocker lock(&mutex_);
    return readNew(why);
}

bool SolutionsLedger::readNew(QString &why)
{
    QFile file(path_);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset_)) {
        why = file.errorString();
        return false;
    }
    QByteArray bytes = file.readAll();
    // Only whole lines; the rest is read once it is complete.
    bytes.truncate(bytes.lastIndexOf('\n') + 1);
    const SolutionsRead read = readSolutions(bytes, linesRead_ + 1);
    if (!read.rows) {
        why = read.error;
        return false;
    }
    offset_ += bytes.size();
    linesRead_ += read.lines;
    for (const SolutionRow &row : *read.rows) {
        rows_.append(row);
        done_.insert(row.file + u'\n' + row.rules);
    }
    return true;
}

bool SolutionsLedger::has(const QString &file, const QString &rules)
{
    QMutexLocker lock(&mutex_);
    return done_.contains(file + u'\n' + rules);
}

QList<SolutionRow> SolutionsLedger::rows()
{
    QMutexLocker lock(&mutex_);
    return rows_;
}

bool SolutionsLedger::setAsideFragment(QString &setAside, QString &why)
{
    QMutexLocker lock(&mutex_);
    const int fd =
        ::open(QFile::encodeName(path_).constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        why = systemError(errno);
        return false;
    }
    const bool cut = ::flock(fd, LOCK_EX) == 0 && cutFragment(fd, path_, setAside, why);
    if (!cut && why.isEmpty())
        why = systemError(errno);
    ::close(fd);
    return cut;
}

bool SolutionsLedger::append(const SolutionRow &row, QString &why)
{
    QMutexLocker lock(&mutex_);
    // Never through a link; created with the header by whichever run comes
    // first, appended to by all under the lock.
    const int fd = ::open(QFile::encodeName(path_).constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        why = systemError(errno);
        return false;
    }
    bool written = ::flock(fd, LOCK_EX) == 0;
    QString setAside;
    // A row another run left half written goes aside, whole, before this one.
    written = written && cutFragment(fd, path_, setAside, why);
    struct stat status = {};
    written = written && ::fstat(fd, &status) == 0;
    QByteArray bytes;
    if (written && status.st_size == 0)
        bytes = solutionsHeader(row.identity.has_value()) + "\r\n";
    bytes += row.line() + "\r\n";
    const off_t before = status.st_size;
    written = written && writeAll(fd, bytes) && ::fsync(fd) == 0;
    if (!written) {
        if (why.isEmpty())
            why = systemError(errno);
        // No half row stays behind a full disk.
        if (::ftruncate(fd, before) == 0)
            ::fsync(fd);
    }
    ::close(fd); // also releases the lock
    if (written)
        readNew(why);
    return written;
}

} // namespace keldar::generator

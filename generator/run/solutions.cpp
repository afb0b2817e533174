#include "generator/run/solutions.h"

#include "generator/publish/publish.h"
#include "generator/run/manifest.h"
#include "generator/run/svgplot.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
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
const char *const Statuses[] = {"optimal", "feasible", "infeasible", "unknown"};
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
        std::find(std::begin(Statuses), std::end(Statuses), fields->at(2)) == std::end(Statuses))
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

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The bytes after the last line end of an open solutions file, cut off and
// kept in a file beside it: nothing of a row is lost, and the instance it
// was for is solved again.  The caller holds the file's lock.
bool cutFragment(int fd, const QString &path, QString &setAside, QString &why)
{
    struct stat status = {};
    if (::fstat(fd, &status) != 0) {
        why = systemError();
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
        why = systemError();
        return false;
    }
    const qint64 keep = size - tail + bytes.lastIndexOf('\n') + 1;
    const QFileInfo info(path);
    setAside = publishBeside(info.absolutePath(), info.fileName() + QStringLiteral(".fragment"),
                             bytes.mid(keep - (size - tail)), why);
    if (setAside.isEmpty())
        return false;
    if (::ftruncate(fd, keep) != 0 || ::fsync(fd) != 0) {
        why = systemError();
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

QString solutionsName(int shard, int shards)
{
    return shards > 1 ? QStringLiteral("solutions.shard-%1-of-%2.csv").arg(shard).arg(shards)
                      : QStringLiteral("solutions.csv");
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
        why = systemError();
        return false;
    }
    const bool cut = ::flock(fd, LOCK_EX) == 0 && cutFragment(fd, path_, setAside, why);
    if (!cut && why.isEmpty())
        why = systemError();
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
        why = systemError();
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
            why = systemError();
        // No half row stays behind a full disk.
        if (::ftruncate(fd, before) == 0)
            ::fsync(fd);
    }
    ::close(fd); // also releases the lock
    if (written)
        readNew(why);
    return written;
}

namespace {

// Figure geometry, as the design figure's.
constexpr double PanelWidth = 380;
constexpr double PanelHeight = 250;
constexpr double PlotLeft = 50;
constexpr double PlotTop = 50;
constexpr double PlotWidth = 310;
constexpr double PlotHeight = 150;
constexpr double TitleHeight = 60;
const char *const Colours[] = {"#4e9a06", "#8ae234", "#cc0000", "#babdb6"};

QByteArray num(double value)
{
    return svgNumber(value);
}

struct Level {
    int counts[4] = {};
    QList<double> gaps;
    int total() const { return counts[0] + counts[1] + counts[2] + counts[3]; }
    QByteArray medianGap()
    {
        if (gaps.isEmpty())
            return "gap \xE2\x80\x93";
        std::sort(gaps.begin(), gaps.end());
        const qsizetype n = gaps.size();
        const double median = n % 2 ? gaps.at(n / 2) : (gaps.at(n / 2 - 1) + gaps.at(n / 2)) / 2;
        return "gap " + QByteArray::number(median * 100, 'f', 1) + "%";
    }
};

int statusIndex(const QString &status)
{
    for (int s = 0; s < 4; ++s)
        if (status == QLatin1String(Statuses[s]))
            return s;
    return 3;
}

QByteArray panel(int k, const QMap<double, Level> &levels)
{
    const double left = (k % 3) * PanelWidth + PlotLeft;
    const double top = TitleHeight + (k / 3) * PanelHeight + PlotTop;
    QByteArray svg = "<g class=\"panel\" id=\"" + QByteArray(IndicatorNames[k]) +
                     "\">\n<text x=\"" + num(left + PlotWidth / 2) + "\" y=\"" + num(top - 28) +
                     "\" text-anchor=\"middle\" font-size=\"13\" font-weight=\"bold\">" +
                     IndicatorNames[k] + "</text>\n";
    const double slot = PlotWidth / double(std::max<qsizetype>(1, levels.size()));
    const double barWidth = std::min(48.0, slot * 0.6);
    int index = 0;
    for (auto it = levels.begin(); it != levels.end(); ++it, ++index) {
        Level level = it.value();
        const double x = left + slot * (index + 0.5) - barWidth / 2;
        double y = top + PlotHeight;
        for (int s = 0; s < 4; ++s) {
            const double height = PlotHeight * level.counts[s] / std::max(1, level.total());
            y -= height;
            if (height > 0)
                svg += "<rect class=\"" + QByteArray(Statuses[s]) + "\" x=\"" + num(x) + "\" y=\"" +
                       num(y) + "\" width=\"" + num(barWidth) + "\" height=\"" + num(height) +
                       "\" fill=\"" + Colours[s] + "\"/>\n";
        }
        svg += "<text x=\"" + num(x + barWidth / 2) + "\" y=\"" + num(top - 6) +
               "\" text-anchor=\"middle\" font-size=\"10\">" + level.medianGap() + "</text>\n";
        svg += "<text x=\"" + num(x + barWidth / 2) + "\" y=\"" + num(top + PlotHeight + 14) +
               "\" text-anchor=\"middle\" font-size=\"10\">" +
               QByteArray::number(it.key(), 'g', 6) + "</text>\n";
    }
    svg += "<rect x=\"" + num(left) + "\" y=\"" + num(top) + "\" width=\"" + num(PlotWidth) +
           "\" height=\"" + num(PlotHeight) + "\" fill=\"none\" stroke=\"#2e3436\"/>\n<text x=\"" +
           num(left + PlotWidth / 2) + "\" y=\"" + num(top + PlotHeight + 30) +
           "\" text-anchor=\"middle\" font-size=\"11\">target</text>\n</g>\n";
    return svg;
}

} // namespace

QByteArray solutionsSvg(const QList<SolutionRow> &rows, const QString &rules,
                        const QHash<QString, Indicators> &targetsByFile)
{
    int counts[4] = {};
    std::array<QMap<double, Level>, IndicatorCount> levels;
    for (const SolutionRow &row : rows) {
        if (row.rules != rules)
            continue;
        const int s = statusIndex(row.status);
        ++counts[s];
        const auto targets = targetsByFile.constFind(row.file);
        if (targets == targetsByFile.constEnd())
            continue;
        for (int k = 0; k < IndicatorCount; ++k) {
            Level &level = levels[std::size_t(k)][(*targets)[std::size_t(k)]];
            ++level.counts[s];
            if (const auto gap = row.gap())
                level.gaps.append(*gap);
        }
    }
    const double width = 3 * PanelWidth;
    const double height = TitleHeight + 2 * PanelHeight;
    QByteArray svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
                     num(width) + "\" height=\"" + num(height) + "\" viewBox=\"0 0 " + num(width) +
                     ' ' + num(height) +
                     "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" "
                     "font-size=\"12\">\n<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    svg += "<text x=\"" + num(width / 2) +
           "\" y=\"24\" text-anchor=\"middle\" font-size=\"15\" class=\"title\">rules " +
           svgEscaped(rules.toUtf8()) + ": " +
           QByteArray::number(counts[0] + counts[1] + counts[2] + counts[3]) + " instances, " +
           QByteArray::number(counts[0]) + " optimal, " + QByteArray::number(counts[1]) +
           " feasible, " + QByteArray::number(counts[2]) + " infeasible, " +
           QByteArray::number(counts[3]) +
           " unknown</text>\n<g font-size=\"11\" class=\"legend\">\n";
    for (int s = 0; s < 4; ++s)
        svg += "<rect x=\"" + num(width / 2 - 230 + s * 120) +
               "\" y=\"36\" width=\"12\" "
               "height=\"10\" fill=\"" +
               Colours[s] + "\"/><text x=\"" + num(width / 2 - 214 + s * 120) + "\" y=\"45\">" +
               Statuses[s] + "</text>\n";
    svg += "</g>\n";
    for (int k = 0; k < IndicatorCount; ++k)
        svg += panel(k, levels[std::size_t(k)]);
    return svg + "</svg>\n";
}

} // namespace keldar::generator

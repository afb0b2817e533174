#include "generator/tables/score.h"

#include "generator/files/batchtext.h"
#include "generator/files/instancefile.h"
#include "generator/publish/publish.h"
#include "generator/publish/userfile.h"
#include "generator/run/manifest.h"
#include "generator/solve/roster.h"
#include "generator/solving/builtrules.h"
#include "generator/solving/solutions.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

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
// The manifest's rule-free optimum: a lower bound under any rules.
constexpr int LowerBoundField = 7 + 2 * IndicatorCount + 1;
// The solvers whose rows stand in the profile beside the scored algorithms.
const char *const Solvers[][2] = {{"cbc", "solutions.csv"}, {"gecode", "solutions.gecode.csv"}};

QString key(const QString &file, const QString &rules)
{
    return file + u'\n' + rules;
}

// What is known of an instance under a rule set: the cheapest roster any
// solver or the design found, and the greatest proven lower bound.
struct Reference {
    std::optional<qint64> best;
    QString by;
    std::optional<qint64> bound;
    QString boundBy;
    QHash<QString, qint64> solverCost; // each solver's roster

    void roster(qint64 cost, const QString &who)
    {
        if (!best || cost < *best) {
            best = cost;
            by = who;
        }
    }
    void proven(qint64 value, const QString &who)
    {
        if (!bound || value > *bound) {
            bound = value;
            boundBy = who;
        }
    }
    std::optional<double> gap(std::optional<qint64> cost) const
    {
        if (!cost || !best || *best <= 0)
            return std::nullopt;
        return double(*cost - *best) / double(*best);
    }
};
struct References : QHash<QString, Reference> {
    QHash<QString, qint64> ruleFree; // each file's rule-free optimum

    // The instance's reference, the rule-free optimum among its bounds.
    Reference of(const QString &file, const QString &rules) const
    {
        Reference ref = value(keldar::generator::key(file, rules));
        if (ruleFree.contains(file))
            ref.proven(ruleFree.value(file), QStringLiteral("the rule-free optimum"));
        return ref;
    }
};

// The solvers' rows: their rosters, and their bounds where proven.
void readLedgers(const QString &folder, References &refs, QTextStream &err)
{
    for (const auto &solver : Solvers) {
        QFile file(QDir(folder).filePath(QLatin1String(solver[1])));
        if (!file.exists())
            continue;
        const SolutionsRead read = file.open(QIODevice::ReadOnly)
                                       ? readSolutions(file.readAll())
                                       : SolutionsRead{std::nullopt, file.errorString(), 0};
        if (!read.rows) {
            err << "keldar-generate: " << QDir::toNativeSeparators(file.fileName()) << ": "
                << read.error << "; its rows are no reference" << Qt::endl;
            continue;
        }
        const QString who = QLatin1String(solver[0]);
        for (const SolutionRow &row : *read.rows) {
            Reference &ref = refs[key(row.file, row.rules)];
            if (row.cost) {
                ref.roster(*row.cost, who);
                ref.solverCost.insert(who, *row.cost);
            }
            if (row.bound)
                ref.proven(*row.bound, who);
            if (row.status == QLatin1String("optimal") && row.cost)
                ref.proven(*row.cost, who);
        }
    }
}

// The design's witnesses and every instance's rule-free optimum.
void readManifests(const QString &folder, References &refs)
{
    const ManifestRead read = readFolderManifests(folder);
    for (const ManifestRow &row : read.rows.value_or(QList<ManifestRow>())) {
        const QString file = fileName(row.fileNumber);
        if (row.witnessCost)
            refs[key(file, row.rules)].roster(*row.witnessCost, QStringLiteral("witness"));
        const auto fields = csvFields(row.line).value_or(QList<QByteArray>());
        bool ok = false;
        const qint64 bound = fields.value(LowerBoundField).toLongLong(&ok);
        if (ok)
            refs.ruleFree.insert(file, bound);
    }
}

// NAME.times.csv: "file,seconds" lines; a line that is neither is named and
// passed over.
QHash<QString, QByteArray> readTimes(const QString &folder, const QString &algorithm,
                                     QTextStream &err)
{
    QHash<QString, QByteArray> times;
    const QString path = QDir(folder).filePath(algorithm + QStringLiteral(".times.csv"));
    if (!QFile::exists(path))
        return times;
    QString why;
    const auto bytes = readRegularFile(path, 64 << 20, why);
    if (!bytes) {
        err << "keldar-generate: " << QDir::toNativeSeparators(path) << ": " << why << Qt::endl;
        return times;
    }
    const QList<QByteArray> lines = bytes->split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QByteArray line = lines.at(n).trimmed();
        if (line.isEmpty() || (n == 0 && line == "file,seconds"))
            continue;
        const auto fields = csvFields(line);
        bool ok = fields && fields->size() == 2;
        const double seconds = ok ? fields->at(1).toDouble(&ok) : 0;
        if (!ok || !(seconds >= 0) || !std::isfinite(seconds)) {
            err << "keldar-generate: " << QDir::toNativeSeparators(path) << " line " << n + 1
                << ": not file,seconds; passed over" << Qt::endl;
            continue;
        }
        times.insert(QString::fromUtf8(fields->at(0)), QByteArray::number(seconds, 'f', 3));
    }
    return times;
}

struct ScoreRow {
    QString file, rules, algorithm;
    QByteArray feasible; // yes, no, missing or refused
    std::optional<qint64> cost;
    std::optional<qint64> reference;
    std::optional<double> gap;
    QByteArray seconds;
    std::optional<int> violations;

    QByteArray line() const
    {
        auto number = [](const auto &value) {
            return value ? QByteArray::number(*value) : QByteArray();
        };
        return csvField(file.toUtf8()) + ',' + csvField(rules.toUtf8()) + ',' +
               csvField(algorithm.toUtf8()) + ',' + feasible + ',' + number(cost) + ',' +
               number(reference) + ',' + (gap ? QByteArray::number(*gap, 'f', 6) : QByteArray()) +
               ',' + seconds + ',' + number(violations);
    }
};

// The rows scores.csv holds; none, with the reason, when it is not ours.
std::optional<QList<ScoreRow>> readScores(const QString &path, QString &why)
{
    QList<ScoreRow> rows;
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return rows;
    const auto bytes = readRegularFile(path, qint64(1) << 30, why);
    if (!bytes)
        return std::nullopt;
    QList<QByteArray> lines = bytes->split('\n');
    if (!bytes->isEmpty() && !bytes->endsWith('\n')) {
        why = QStringLiteral("line %1 is cut short; set it aside").arg(lines.size());
        return std::nullopt;
    }
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QByteArray line = lines.at(n);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        if (n == 0) {
            if (line != scoresHeader()) {
                why = QStringLiteral("line 1 is not the header of scores");
                return std::nullopt;
            }
            continue;
        }
        const auto fields = csvFields(line);
        if (!fields || fields->size() != ScoreColumns) {
            why = QStringLiteral("line %1 is not a row of scores").arg(n + 1);
            return std::nullopt;
        }
        ScoreRow row;
        row.file = QString::fromUtf8(fields->at(0));
        row.rules = QString::fromUtf8(fields->at(1));
        row.algorithm = QString::fromUtf8(fields->at(2));
        row.feasible = fields->at(3);
        bool ok = false;
        const double gap = fields->at(6).toDouble(&ok);
        if (ok)
            row.gap = gap;
        rows.append(row);
    }
    return rows;
}

// Appends the rows whole, under a lock, synced; a failure leaves the file
// as it was.
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

// An algorithm's name is part of file names and of a CSV column.
bool validName(const QString &name)
{
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._+-]*$"));
    return allowed.match(name).hasMatch() && name.size() <= 64 && name != QLatin1String("cbc") &&
           name != QLatin1String("gecode");
}

// One instance's row: its roster read and checked, its gap to the reference.
struct Scoring {
    QString folder, algorithm;
    const References &refs;
    const QHash<QString, QByteArray> &times;
    QTextStream &err;
    int status = 0;

    ScoreRow score(const QString &path, const RulesChoice &rules)
    {
        ScoreRow row;
        row.file = QFileInfo(path).fileName();
        row.rules = rules.label;
        row.algorithm = algorithm;
        row.seconds = times.value(row.file);
        const Reference ref = refs.of(row.file, rules.label);
        row.reference = ref.best;
        const QString roster = QDir(folder).filePath(row.file.chopped(4) + u'.' + rules.label +
                                                     u'.' + algorithm + QStringLiteral(".roster"));
        const ParsedInstance instance = readInstanceFile(path);
        QString why;
        const auto text = QFileInfo::exists(roster)
                              ? readRegularFile(roster, MaxInstanceFileBytes, why)
                              : std::optional<QByteArray>();
        if (!QFileInfo::exists(roster) && !QFileInfo(roster).isSymLink()) {
            row.feasible = "missing";
            return fail(row, shown(roster) + QStringLiteral(": no such roster"));
        }
        if (!instance.instance || !text) {
            row.feasible = "refused";
            return fail(row, !instance.instance
                                 ? shown(path) + QStringLiteral(": ") + instance.error
                                 : shown(roster) + QStringLiteral(": ") + why);
        }
        const ParsedRoster parsed = parseRoster(*text, *instance.instance);
        if (!parsed.error.isEmpty()) {
            row.feasible = "refused";
            return fail(row, shown(roster) + QStringLiteral(": ") + parsed.error);
        }
        const RosterCheck check = checkRoster(*instance.instance, parsed.roster, rules.rules);
        row.cost = check.cost;
        row.violations = int(check.violations.size());
        row.feasible = check.feasible() ? "yes" : "no";
        if (!check.feasible())
            return fail(row, shown(roster) + QStringLiteral(" breaks the rules: %1 (%2 in all)")
                                                 .arg(check.violations.front().text)
                                                 .arg(check.violations.size()));
        row.gap = ref.gap(row.cost);
        if (ref.bound && check.cost < *ref.bound) {
            // A feasible roster below a proven bound: one of the two is wrong.
            err << "keldar-generate: " << shown(roster) << " costs " << check.cost
                << ", below the proven bound " << *ref.bound << " (" << ref.boundBy
                << "): a fault in the roster's check or in the reference; please report it"
                << Qt::endl;
            status = 1;
        }
        return row;
    }

    ScoreRow fail(ScoreRow row, const QString &why)
    {
        err << "keldar-generate: " << why << Qt::endl;
        status = 1;
        return row;
    }

    static QString shown(const QString &path) { return QDir::toNativeSeparators(path); }
};

// The instances to score, each with its rules: RULES for all, or each
// under the rules it was built under.
std::optional<QList<RulesGroup>> instancesToScore(const QString &folder, const RulesChoice &rules,
                                                  bool rulesGiven, QString &why)
{
    QList<RulesGroup> groups;
    if (const auto refusal = groupByBuiltRules({folder}, groups)) {
        why = *refusal;
        return std::nullopt;
    }
    if (!rulesGiven)
        return groups;
    RulesGroup all{rules, {}};
    for (const RulesGroup &group : groups)
        all.paths += group.paths;
    return QList<RulesGroup>{all};
}

// The profile of every algorithm of the table, the solvers' rows on the
// same instances beside them.
QByteArray drawProfile(const QList<ScoreRow> &rows, const References &refs)
{
    QList<QString> keys;
    QList<QString> algorithms;
    QHash<QString, std::optional<double>> gapOf; // algorithm + '\n' + key
    for (const ScoreRow &row : rows) {
        const QString k = key(row.file, row.rules);
        if (!keys.contains(k))
            keys.append(k);
        if (!algorithms.contains(row.algorithm))
            algorithms.append(row.algorithm);
        gapOf.insert(row.algorithm + u'\n' + k,
                     row.feasible == "yes" ? row.gap : std::optional<double>());
    }
    std::sort(algorithms.begin(), algorithms.end());
    for (const auto &solver : Solvers) {
        const QString who = QLatin1String(solver[0]);
        bool any = false;
        for (const QString &k : keys) {
            const Reference ref = refs.value(k);
            if (ref.solverCost.contains(who)) {
                gapOf.insert(who + u'\n' + k, ref.gap(ref.solverCost.value(who)));
                any = true;
            }
        }
        if (any)
            algorithms.prepend(who);
    }
    std::vector<std::vector<std::optional<double>>> gaps;
    double largest = 0.01;
    for (const QString &algorithm : algorithms) {
        gaps.emplace_back();
        for (const QString &k : keys) {
            const std::optional<double> gap = gapOf.value(algorithm + u'\n' + k);
            gaps.back().push_back(gap);
            if (gap)
                largest = std::max(largest, *gap);
        }
    }
    std::vector<double> taus;
    for (int i = 0; i <= 100; ++i)
        taus.push_back(largest * i / 100);
    return profileSvg(performanceProfile(algorithms, gaps, taus),
                      QStringLiteral("%1 instances").arg(keys.size()));
}

} // namespace

QByteArray scoresHeader()
{
    return "file,rules,algorithm,feasible,cost,reference,gap,seconds,violations";
}

Profile performanceProfile(const QList<QString> &algorithms,
                           const std::vector<std::vector<std::optional<double>>> &gaps,
                           const std::vector<double> &taus)
{
    Profile profile{algorithms, taus, {}};
    for (const auto &ofAlgorithm : gaps) {
        profile.shares.emplace_back();
        for (const double tau : taus) {
            const auto within = std::count_if(
                ofAlgorithm.begin(), ofAlgorithm.end(),
                [tau](const std::optional<double> &gap) { return gap && *gap <= tau + 1e-12; });
            profile.shares.back().push_back(
                ofAlgorithm.empty() ? 0 : double(within) / double(ofAlgorithm.size()));
        }
    }
    return profile;
}

QByteArray profileSvg(const Profile &profile, const QString &title)
{
    const double left = 60, top = 40, width = 480, height = 260;
    const double largest = profile.taus.empty() ? 1 : std::max(profile.taus.back(), 1e-9);
    static const char *const Colours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd",
                                          "#ff7f0e", "#8c564b", "#e377c2", "#17becf"};
    auto x = [&](double tau) {
        return left + width * tau / largest;
    };
    auto y = [&](double share) {
        return top + height * (1 - share);
    };
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"720\" height=\"360\" "
                     "font-family=\"sans-serif\" font-size=\"12\">\n"
                     "<rect width=\"720\" height=\"360\" fill=\"white\"/>\n";
    svg += "<text x=\"60\" y=\"24\" font-size=\"14\">Performance profile: share of " +
           title.toHtmlEscaped().toUtf8() + " within gap \xcf\x84 of the reference</text>\n";
    svg += "<path d=\"M60 40V300H540\" fill=\"none\" stroke=\"black\"/>\n";
    for (int i = 0; i <= 4; ++i) {
        const QByteArray share = QByteArray::number(i * 0.25, 'f', 2);
        const QByteArray tau = QByteArray::number(largest * i / 4, 'g', 3);
        svg += "<text x=\"52\" y=\"" + QByteArray::number(y(i * 0.25) + 4) +
               "\" text-anchor=\"end\">" + share + "</text>\n";
        svg += "<text x=\"" + QByteArray::number(x(largest * i / 4)) +
               "\" y=\"318\" text-anchor=\"middle\">" + tau + "</text>\n";
    }
    svg += "<text x=\"300\" y=\"340\" text-anchor=\"middle\">gap \xcf\x84 = (cost \xe2\x88\x92 "
           "reference) / reference</text>\n";
    for (qsizetype a = 0; a < profile.algorithms.size(); ++a) {
        const char *colour = Colours[a % 8];
        QByteArray path;
        const auto &shares = profile.shares.at(std::size_t(a));
        for (std::size_t t = 0; t < profile.taus.size(); ++t) {
            path += (t == 0 ? "M" : "H") + QByteArray::number(x(profile.taus[t]), 'f', 1);
            path += (t == 0 ? " " : "V") + QByteArray::number(y(shares[t]), 'f', 1);
        }
        svg += "<path d=\"" + path + "\" fill=\"none\" stroke=\"" + colour +
               "\" stroke-width=\"2\"/>\n";
        const QByteArray at = QByteArray::number(top + 14 + 18 * double(a));
        svg += "<rect x=\"560\" y=\"" + QByteArray::number(top + 4 + 18 * double(a)) +
               "\" width=\"12\" height=\"12\" fill=\"" + colour + "\"/>\n";
        svg += "<text x=\"578\" y=\"" + at + "\">" +
               profile.algorithms.at(a).toHtmlEscaped().toUtf8() + "</text>\n";
    }
    return svg + "</svg>\n";
}

int scoreFolder(const QString &folder, const QString &algorithm, const RulesChoice &rules,
                bool rulesGiven, QTextStream &out, QTextStream &err)
{
    if (!validName(algorithm)) {
        err << "keldar-generate: --algorithm " << printable(algorithm)
            << ": a name of letters, digits, '.', '_', '+' or '-' (not cbc or gecode, the "
               "solvers' own); nothing scored"
            << Qt::endl;
        return 2;
    }
    QString why;
    const auto groups = instancesToScore(folder, rules, rulesGiven, why);
    const QString table = QDir(folder).filePath(QLatin1String(ScoresName));
    const auto existing = groups ? readScores(table, why) : std::nullopt;
    if (!groups || !existing) {
        err << "keldar-generate: "
            << (groups ? QDir::toNativeSeparators(table) + QStringLiteral(": ") : QString()) << why
            << "; nothing scored" << Qt::endl;
        return 2;
    }
    QSet<QString> scored;
    for (const ScoreRow &row : *existing)
        if (row.algorithm == algorithm)
            scored.insert(key(row.file, row.rules));
    References refs;
    readLedgers(folder, refs, err);
    readManifests(folder, refs);
    const QHash<QString, QByteArray> times = readTimes(folder, algorithm, err);
    Scoring scoring{folder, algorithm, refs, times, err};
    QList<ScoreRow> rows;
    qint64 passed = 0;
    for (const RulesGroup &group : *groups)
        for (const QString &path : group.paths) {
            if (scored.contains(key(QFileInfo(path).fileName(), group.rules.label)))
                ++passed;
            else
                rows.append(scoring.score(path, group.rules));
        }
    if (passed > 0)
        out << passed << " instances already have rows of " << algorithm << " in "
            << QDir::toNativeSeparators(table)
            << " and were passed over; score under another --algorithm name to keep both"
            << Qt::endl;
    if (!rows.isEmpty() && !appendScores(table, rows, why)) {
        err << "keldar-generate: " << QDir::toNativeSeparators(table) << " not written: " << why
            << Qt::endl;
        return 2;
    }
    const QByteArray figure = drawProfile(*existing + rows, refs);
    bool already = false;
    const QString drawn = publishOnce(folder, QLatin1String(ProfileName), figure, why, &already);
    if (!already && drawn.isEmpty()) {
        err << "keldar-generate: " << ProfileName << " not written: " << why << Qt::endl;
        scoring.status = std::max(scoring.status, 1);
    }
    const auto feasible = std::count_if(rows.begin(), rows.end(),
                                        [](const ScoreRow &row) { return row.feasible == "yes"; });
    out << algorithm << ": " << rows.size() << " rosters scored, " << feasible << " feasible; "
        << QDir::toNativeSeparators(table);
    if (!drawn.isEmpty())
        out << ", " << QDir::toNativeSeparators(QDir(folder).filePath(drawn));
    out << Qt::endl;
    return scoring.status;
}

} // namespace keldar::generator

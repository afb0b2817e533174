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
    const auto existing = groups ? readScores(table, true, why) : std::nullopt;
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

#include "generator/tables/analysedfolder.h"

#include "generator/files/batchtext.h"
#include "generator/publish/userfile.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>

namespace keldar::generator::analysis {

// The solvers and their ledgers; their shards' ledgers are
// <stem>.shard-I-of-N.csv.
const char *const Solvers[][2] = {{"cbc", "solutions"}, {"gecode", "solutions.gecode"}};

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// A column's name from a label: anything but [A-Za-z0-9_] becomes '_'.
QByteArray safeName(const QString &name)
{
    QByteArray text;
    for (const char32_t c : name.toUcs4())
        text += (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9') ||
                        c == U'_'
                    ? char(c)
                    : '_';
    return text;
}

// A solvers' ledger; no rows when there is none.
static std::optional<QList<SolutionRow>> readLedger(const QString &path, QString &why)
{
    QFile file(path);
    if (!file.exists())
        return QList<SolutionRow>();
    const SolutionsRead read = file.open(QIODevice::ReadOnly)
                                   ? readSolutions(file.readAll())
                                   : SolutionsRead{std::nullopt, file.errorString(), 0};
    if (!read.rows)
        why = shown(path) + QStringLiteral(": ") + read.error;
    return read.rows;
}

// Reads the manifests, the solvers' ledgers and scores.csv; false, with the
// refusal, when one is not ours.
bool readFolder(Folder &folder, QString &why)
{
    const ManifestRead manifests = readFolderManifests(folder.path);
    if (!manifests.rows) {
        why = manifests.error;
        return false;
    }
    std::map<qint64, ManifestRow> byNumber;
    for (const ManifestRow &row : *manifests.rows)
        byNumber.emplace(row.fileNumber, row);
    for (const auto &[number, row] : byNumber) {
        folder.instances.append(row);
        folder.files.append(
            QString::fromUtf8(csvFields(row.line).value_or(QList<QByteArray>()).value(0)));
    }
    if (folder.instances.isEmpty()) {
        why = shown(folder.path) +
              QStringLiteral(": no manifest (manifest.csv) listing instances in this folder");
        return false;
    }
    const QDir dir(folder.path);
    QSet<QString> labels;
    for (const auto &solver : Solvers) {
        const auto rows = readLedger(dir.filePath(QLatin1String(solver[1]) + ".csv"), why);
        if (!rows)
            return false;
        for (const SolutionRow &row : *rows)
            labels.insert(row.rules);
        folder.ledgers.insert(QLatin1String(solver[0]), *rows);
    }
    const QString table = dir.filePath(QLatin1String(ScoresName));
    const auto scores = readScores(table, false, why);
    if (!scores) {
        why = shown(table) + QStringLiteral(": ") + why;
        return false;
    }
    folder.scores = *scores;
    for (const ScoreRow &row : folder.scores)
        labels.insert(row.rules);
    folder.labels = QStringList(labels.begin(), labels.end());
    folder.labels.sort();
    return true;
}

// The rule set to analyse: the one asked, or the folder's only one.
std::optional<QString> chooseLabel(const Folder &folder, const QString &asked, QString &why)
{
    const QString held = folder.labels.isEmpty()
                             ? QStringLiteral("no rows")
                             : printable(folder.labels.join(QStringLiteral(", ")));
    if (!asked.isEmpty() && !folder.labels.contains(asked)) {
        why = QStringLiteral("--rules %1: %2 has no solutions or scores under that label "
                             "(it has: %3)")
                  .arg(printable(asked), shown(folder.path), held);
        return std::nullopt;
    }
    if (!asked.isEmpty())
        return asked;
    if (folder.labels.size() == 1)
        return folder.labels.first();
    why = folder.labels.isEmpty()
              ? shown(folder.path) +
                    QStringLiteral(": no rows in solutions.csv, solutions.gecode.csv or "
                                   "scores.csv, so no algorithm to compare; solve it first "
                                   "(--solve)")
              : shown(folder.path) +
                    QStringLiteral(" holds solutions or scores under several rule sets (%1); "
                                   "choose one with --rules")
                        .arg(held);
    return std::nullopt;
}

// The time limit an exact solver's penalty is ten times of: the shards'
// timeLimit when their ledgers are in the folder, else the longest run of
// the solver under the rules (an unproven run ran to its limit), at least
// a millisecond.
static void findLimit(const QString &folder, const char *stem, const QList<SolutionRow> &rows,
                      const QString &label, Algorithm &algorithm)
{
    const QDir dir(folder);
    const QStringList shards =
        dir.entryList({QLatin1String(stem) + QStringLiteral(".shard-*-of-*.csv")}, QDir::Files);
    for (const QString &name : shards) {
        QString why;
        for (const SolutionRow &row :
             readLedger(dir.filePath(name), why).value_or(QList<SolutionRow>()))
            if (row.rules == label && row.identity && row.identity->timeLimit > algorithm.limit) {
                algorithm.limit = row.identity->timeLimit;
                algorithm.limitFrom = QStringLiteral("the time limit in ") + name;
            }
    }
    if (!algorithm.limitFrom.isEmpty())
        return;
    for (const SolutionRow &row : rows)
        if (row.rules == label)
            algorithm.limit = std::max(algorithm.limit, row.seconds);
    algorithm.limit = std::max(algorithm.limit, 0.001);
    algorithm.limitFrom = QStringLiteral("its longest run");
}

// Each solver's and each scored algorithm's rows under the rules.
QList<Algorithm> algorithmsOf(const Folder &folder, const QString &label)
{
    QList<Algorithm> algorithms;
    for (const auto &solver : Solvers) {
        Algorithm algorithm{QLatin1String(solver[0]), "algo_" + QByteArray(solver[0]), true};
        const QList<SolutionRow> &rows = folder.ledgers.value(algorithm.name);
        for (const SolutionRow &row : rows) {
            if (row.rules != label || algorithm.value.contains(row.file))
                continue;
            const bool proven =
                row.status == QLatin1String("optimal") || row.status == QLatin1String("infeasible");
            algorithm.value.insert(row.file, proven ? row.seconds : -1); // -1: the penalty
        }
        if (algorithm.value.isEmpty())
            continue;
        findLimit(folder.path, solver[1], rows, label, algorithm);
        for (double &seconds : algorithm.value)
            if (seconds < 0) {
                seconds = algorithm.penalty();
                ++algorithm.unproven;
            }
        algorithms.append(algorithm);
    }
    // A feasible roster without a gap (no solver or witness roster to
    // compare with): its gap to the cheapest roster scored for the instance.
    QHash<QString, qint64> cheapest;
    for (const ScoreRow &row : folder.scores)
        if (row.rules == label && row.feasible == "yes" && row.cost &&
            (!cheapest.contains(row.file) || *row.cost < cheapest.value(row.file)))
            cheapest.insert(row.file, *row.cost);
    QStringList names;
    for (const ScoreRow &row : folder.scores)
        if (row.rules == label && !names.contains(row.algorithm))
            names.append(row.algorithm);
    names.sort();
    for (const QString &name : names) {
        Algorithm algorithm(name, "algo_" + safeName(name), false);
        for (const ScoreRow &row : folder.scores) {
            if (row.rules != label || row.algorithm != name || algorithm.value.contains(row.file))
                continue;
            std::optional<double> gap = row.feasible == "yes" ? row.gap : std::nullopt;
            const double least = double(cheapest.value(row.file));
            if (row.feasible == "yes" && !gap && row.cost && least > 0)
                gap = (double(*row.cost) - least) / least;
            algorithm.value.insert(row.file, gap.value_or(GapPenalty));
            algorithm.unproven += gap ? 0 : 1;
        }
        algorithms.append(algorithm);
    }
    return algorithms;
}

} // namespace keldar::generator::analysis

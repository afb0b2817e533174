#include "generator/solving/solvemerge.h"

#include "generator/files/instancefile.h"
#include "generator/publish/publish.h"
#include "generator/publish/userfile.h"
#include "generator/solving/instanceset.h"
#include "generator/solving/rulescopy.h"
#include "generator/solving/solutions.h"
#include "generator/solving/solvefigure.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <optional>

namespace keldar::generator {

namespace {

using Refusal = std::optional<QString>;

// A shard's CSV is a row per instance; no real one comes near this.
constexpr qint64 MaxShardBytes = qint64(1) << 30;

// One shard's CSV as found, its shard and solver as its name says.
struct ShardFile {
    QString path;
    int shard = 0;
    int shards = 0;
    QString solver;
    QList<SolutionRow> rows;
};

// What the merge joins: the shards' rows, proven against the instances,
// rosters and rules of the first folder, where the merged rows go.
struct Join {
    QString folder;
    QString solver; // whose rows: each solver's are joined apart
    int shards = 0;
    QMap<int, ShardFile> files;  // by shard
    QStringList instances;       // the folder's instance files in file order
    QStringList labels;          // sorted
    QHash<QString, Rules> rules; // by label
};

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The command that makes a shard's rows, under the label's rules; after
// its CSV is moved aside when what it holds is wrong.
QString solveAgain(const Join &join, int shard, const QString &label, bool moveAside)
{
    QString rules;
    if (!label.isEmpty() && label != QLatin1String("none"))
        rules = QStringLiteral(" --rules ") +
                (shippedRuleSets().contains(label)
                     ? label
                     : shown(QDir(join.folder).filePath(printable(label) + ".dzn")));
    if (join.solver != QLatin1String("cbc"))
        rules += QStringLiteral(" --solver ") + join.solver;
    return QStringLiteral("; %1 shard %2 (keldar-generate --solve %3 --shard %2%4)")
        .arg(moveAside ? QStringLiteral("move it aside and solve") : QStringLiteral("solve"),
             QStringLiteral("%1/%2").arg(shard).arg(join.shards), shown(join.folder), rules);
}

// A row refused: what it holds is wrong, so its shard is solved again.
QString badRow(const Join &join, const ShardFile &file, const SolutionRow &row, const QString &what)
{
    return shown(file.path) + QStringLiteral(": the row of ") + printable(row.file) +
           QStringLiteral(" under ") + printable(row.rules) + what +
           solveAgain(join, file.shard, row.rules, true);
}

// The shard CSVs of the folders, a folder named twice looked at once.
QList<ShardFile> findShardFiles(const QStringList &folders)
{
    static const QRegularExpression pattern(
        QStringLiteral("^solutions(?:\\.(gecode))?\\.shard-(\\d+)-of-(\\d+)\\.csv$"));
    QStringList distinct;
    for (const QString &folder : folders)
        distinct.append(QDir::cleanPath(QDir(folder).absolutePath()));
    distinct.removeDuplicates();
    QList<ShardFile> found;
    for (const QString &folder : distinct)
        for (const QString &name :
             QDir(folder).entryList({QStringLiteral("solutions*.shard-*.csv")},
                                    QDir::Files | QDir::System, QDir::Name)) {
            const QRegularExpressionMatch match = pattern.match(name);
            // A number too large to read counts as 0, a shard of no split.
            if (match.hasMatch())
                found.append(
                    {QDir(folder).filePath(name),
                     match.captured(2).toInt(),
                     match.captured(3).toInt(),
                     match.captured(1).isEmpty() ? QStringLiteral("cbc") : match.captured(1),
                     {}});
        }
    return found;
}

// The files are of one split, each of its shards once.
Refusal checkSplit(const QList<ShardFile> &found, Join &join)
{
    join.shards = found.first().shards;
    for (const ShardFile &file : found) {
        if (file.shards != join.shards)
            return shown(file.path) + QStringLiteral(" is of a split into %1 shards, %3 of one "
                                                     "into %2; move the files of one split aside")
                                          .arg(file.shards)
                                          .arg(join.shards)
                                          .arg(shown(found.first().path));
        if (file.shard < 1 || file.shard > file.shards)
            return shown(file.path) + QStringLiteral(": a split into %1 shards has no shard %2; "
                                                     "move it aside")
                                          .arg(file.shards)
                                          .arg(file.shard);
        if (join.files.contains(file.shard))
            return QStringLiteral("shard %1 of %2 is doubled: %3 and %4; move one aside")
                .arg(file.shard)
                .arg(file.shards)
                .arg(shown(join.files.value(file.shard).path), shown(file.path));
        join.files.insert(file.shard, file);
    }
    return std::nullopt;
}

// Reads every shard's rows, and the labels they are under.
Refusal readShards(Join &join)
{
    QSet<QString> labels;
    for (ShardFile &file : join.files) {
        QString why;
        const std::optional<QByteArray> bytes = readRegularFile(file.path, MaxShardBytes, why);
        const SolutionsRead read = bytes ? readSolutions(*bytes) : SolutionsRead{{}, why};
        if (!read.rows)
            return shown(file.path) + QStringLiteral(": ") + read.error +
                   solveAgain(join, file.shard, QString(), true);
        file.rows = *read.rows;
        for (const SolutionRow &row : file.rows) {
            // A label stands for <label>.dzn beside the rows.
            if (row.rules.contains(u'/'))
                return shown(file.path) + QStringLiteral(": the label ") + printable(row.rules) +
                       QStringLiteral(" names no rules file in ") + shown(join.folder) +
                       solveAgain(join, file.shard, QString(), true);
            labels.insert(row.rules);
        }
    }
    join.labels = QStringList(labels.begin(), labels.end());
    join.labels.sort();
    return std::nullopt;
}

// Every row says it is of its file's shard, of a split of the instances
// the folder holds now, and solved within the one time limit of its label.
Refusal checkIdentities(const Join &join)
{
    QHash<QString, std::pair<double, QString>> limits; // the first row's, and where
    for (const ShardFile &file : join.files)
        for (const SolutionRow &row : file.rows) {
            if (!row.identity)
                return badRow(join, file, row,
                              QStringLiteral(" has no rulesDigest, timeLimit, shard and setSize"));
            const ShardIdentity &id = *row.identity;
            if (id.shard != file.shard || id.shards != file.shards)
                return badRow(join, file, row,
                              QStringLiteral(" is of shard %1 of %2").arg(id.shard).arg(id.shards));
            if (id.setSize != join.instances.size())
                return badRow(join, file, row,
                              QStringLiteral(" is of a split of %1 instances; %3 holds %2")
                                  .arg(id.setSize)
                                  .arg(join.instances.size())
                                  .arg(shown(join.folder)));
            const auto first = limits.constFind(row.rules);
            if (first == limits.constEnd())
                limits.insert(row.rules, {id.timeLimit, file.path});
            else if (first->first != id.timeLimit)
                return badRow(join, file, row,
                              QStringLiteral(" was solved within %1 s, rows of %3 under that "
                                             "label within %2 s")
                                  .arg(id.timeLimit, 0, 'g', QLocale::FloatingPointShortest)
                                  .arg(first->first, 0, 'g', QLocale::FloatingPointShortest)
                                  .arg(shown(first->second)));
        }
    return std::nullopt;
}

// The shard's rows under the label are one for each instance it covers and
// none for any other.
Refusal checkCovered(const Join &join, const ShardFile &file, const QString &label,
                     const QSet<QString> &covered)
{
    QSet<QString> seen;
    for (const SolutionRow &row : file.rows) {
        if (row.rules != label)
            continue;
        if (!covered.contains(row.file) || seen.contains(row.file))
            return badRow(join, file, row,
                          seen.contains(row.file)
                              ? QStringLiteral(" is there twice")
                              : QStringLiteral(" is of an instance shard %1 of %2 does not cover")
                                    .arg(file.shard)
                                    .arg(file.shards));
        seen.insert(row.file);
    }
    for (qsizetype i = file.shard - 1; i < join.instances.size(); i += join.shards)
        if (!seen.contains(join.instances.at(i)))
            return shown(file.path) + QStringLiteral(": no row of ") + join.instances.at(i) +
                   QStringLiteral(" under ") + printable(label) +
                   solveAgain(join, file.shard, label, false);
    return std::nullopt;
}

// Each shard covers the instances at its place in every N-th, as a shard
// run takes them; a shard that covers none writes no CSV.
Refusal checkComplete(const Join &join)
{
    for (int shard = 1; shard <= join.shards; ++shard) {
        QSet<QString> covered;
        for (qsizetype i = shard - 1; i < join.instances.size(); i += join.shards)
            covered.insert(join.instances.at(i));
        const auto file = join.files.constFind(shard);
        if (file == join.files.constEnd()) {
            if (!covered.isEmpty())
                return shown(QDir(join.folder)
                                 .filePath(solutionsName(shard, join.shards, join.solver))) +
                       QStringLiteral(" is missing") +
                       solveAgain(join, shard, join.labels.value(0), false);
            continue;
        }
        for (const QString &label : join.labels)
            if (Refusal refusal = checkCovered(join, *file, label, covered))
                return refusal;
    }
    return std::nullopt;
}

// The rules of each label from its copy beside the rows (none for
// "none"), and every row solved under exactly those rules.
Refusal checkRules(Join &join)
{
    QHash<QString, QString> digests;
    for (const QString &label : join.labels) {
        const FolderRules copy = label == QLatin1String("none") ? FolderRules{Rules{}, {}, {}}
                                                                : rulesCopyIn(join.folder, label);
        if (!copy.rules)
            return (copy.error.isEmpty() ? shown(copy.path) + QStringLiteral(" is missing")
                                         : copy.error) +
                   QStringLiteral("; put the rules the rows under ") + printable(label) +
                   QStringLiteral(" were solved under there");
        join.rules.insert(label, *copy.rules);
        digests.insert(label, rulesDigest(*copy.rules));
    }
    for (const ShardFile &file : join.files)
        for (const SolutionRow &row : file.rows)
            if (row.identity->rulesDigest != digests.value(row.rules))
                return badRow(join, file, row,
                              QStringLiteral(" was solved under other rules than ") +
                                  (row.rules == QLatin1String("none")
                                       ? row.rules
                                       : shown(QDir(join.folder).filePath(row.rules + ".dzn"))));
    return std::nullopt;
}

// A file of the folder itself: no path, no link, nothing but a regular file.
bool plainFileIn(const QString &folder, const QString &name)
{
    const QFileInfo info(QDir(folder).filePath(name));
    return !name.contains(u'/') && !info.isSymLink() && info.isFile();
}

// The row's instance reads, and its roster, which it names exactly when it
// states a cost, is a file of the folder that keeps its label's rules and
// costs what the row says.
Refusal checkRow(const Join &join, const ShardFile &file, const SolutionRow &row)
{
    const ParsedInstance instance = readInstanceFile(QDir(join.folder).filePath(row.file));
    if (!instance.instance)
        return shown(file.path) + QStringLiteral(": ") + row.file + QStringLiteral(": ") +
               instance.error;
    // A cost is only as good as the roster that has it; a roster without a
    // cost the reading refused.
    if (row.cost && row.roster.isEmpty())
        return badRow(join, file, row, QStringLiteral(" states a cost but names no roster"));
    if (row.roster.isEmpty())
        return std::nullopt;
    const QString roster = printable(row.roster);
    if (!plainFileIn(join.folder, row.roster))
        return badRow(join, file, row,
                      QStringLiteral(" names the roster ") + roster +
                          QStringLiteral(", which is no file of ") + shown(join.folder));
    QString why;
    const std::optional<QByteArray> text =
        readRegularFile(QDir(join.folder).filePath(row.roster), MaxInstanceFileBytes, why);
    const ParsedRoster parsed =
        text ? parseRoster(*text, *instance.instance) : ParsedRoster{{}, why};
    if (!parsed.error.isEmpty())
        return badRow(join, file, row,
                      QStringLiteral(": ") + roster + QStringLiteral(": ") + parsed.error);
    const RosterCheck check =
        checkRoster(*instance.instance, parsed.roster, join.rules.value(row.rules));
    if (!check.feasible())
        return badRow(join, file, row,
                      QStringLiteral(": ") + roster + QStringLiteral(" breaks the rules: ") +
                          check.violations.front().text);
    if (check.cost != row.cost)
        return badRow(join, file, row,
                      QStringLiteral(" says cost %1, but %3 costs %2")
                          .arg(row.cost.value_or(0))
                          .arg(check.cost)
                          .arg(roster));
    return std::nullopt;
}

// Every row against its instance and roster.
Refusal checkRosters(const Join &join)
{
    for (const ShardFile &file : join.files)
        for (const SolutionRow &row : file.rows)
            if (Refusal refusal = checkRow(join, file, row))
                return refusal;
    return std::nullopt;
}

// The rows as an unsplit run records them: without the shards' identity,
// by label and then in file order.
QList<SolutionRow> mergedRows(const Join &join)
{
    QList<SolutionRow> rows;
    for (const ShardFile &file : join.files)
        for (SolutionRow row : file.rows) {
            row.identity.reset();
            rows.append(row);
        }
    static const QRegularExpression number(QStringLiteral("(\\d+)"));
    std::stable_sort(rows.begin(), rows.end(), [](const SolutionRow &a, const SolutionRow &b) {
        return a.rules != b.rules ? a.rules < b.rules
                                  : number.match(a.file).captured(1).toLongLong() <
                                        number.match(b.file).captured(1).toLongLong();
    });
    return rows;
}

// Writes solutions.csv (or the solver's) unless it holds these rows
// already; one with other rows is never replaced, nor is a copy put beside
// it.  Without `write`, only whether it would be refused.
Refusal publishMerged(const Join &join, const QList<SolutionRow> &rows, bool &already, bool write)
{
    QByteArray text = solutionsHeader() + "\r\n";
    for (const SolutionRow &row : rows)
        text += row.line() + "\r\n";
    const QString name = solutionsName(1, 1, join.solver);
    const QString path = QDir(join.folder).filePath(name);
    const QString taken = shown(path) + QStringLiteral(" is already there with other rows; move "
                                                       "it aside to merge into this folder");
    already = holdsExactly(path, text);
    if (already)
        return std::nullopt;
    if (!write)
        return QFileInfo::exists(path) || QFileInfo(path).isSymLink() ? Refusal(taken)
                                                                      : std::nullopt;
    const PublishResult result = publish(join.folder, name, text);
    if (result.status == Published::Exists)
        return taken;
    if (result.status == Published::Failed)
        return shown(path) + QStringLiteral(" not written: ") + result.reason();
    syncFolder(join.folder);
    return std::nullopt;
}

// Everything the joined rows claim, proven; the first refusal, or none.
Refusal proveShards(const QList<ShardFile> &found, Join &join)
{
    Refusal refusal = checkSplit(found, join);
    if (!refusal)
        refusal = readShards(join);
    if (!refusal)
        refusal = instancesIn(join.folder, join.instances);
    if (!refusal)
        refusal = checkIdentities(join);
    if (!refusal)
        refusal = checkComplete(join);
    if (!refusal)
        refusal = checkRules(join);
    if (!refusal)
        refusal = checkRosters(join);
    return refusal;
}

} // namespace

int mergeSolutionShards(const QStringList &folders, QTextStream &out, QTextStream &err)
{
    const QList<ShardFile> found = findShardFiles(folders);
    if (found.isEmpty())
        return -1;
    // Each solver's shards are joined apart, and all are proven before any
    // is written.
    QMap<QString, QList<ShardFile>> bySolver;
    for (const ShardFile &file : found)
        bySolver[file.solver].append(file);
    QList<Join> joins;
    Refusal refusal;
    for (auto files = bySolver.cbegin(); files != bySolver.cend() && !refusal; ++files) {
        Join join;
        join.folder = folders.first();
        join.solver = files.key();
        refusal = proveShards(*files, join);
        joins.append(join);
    }
    QList<QList<SolutionRow>> merged;
    QList<bool> already;
    for (qsizetype j = 0; j < joins.size() && !refusal; ++j) {
        merged.append(mergedRows(joins.at(j)));
        already.append(false);
        refusal = publishMerged(joins.at(j), merged.last(), already.last(), false);
    }
    for (qsizetype j = 0; j < joins.size() && !refusal; ++j)
        refusal = publishMerged(joins.at(j), merged.at(j), already[j], true);
    if (refusal) {
        err << "keldar-generate: " << *refusal << "; no solutions merged" << Qt::endl;
        return 2;
    }
    for (qsizetype j = 0; j < joins.size(); ++j) {
        const Join &join = joins.at(j);
        out << merged.at(j).size() << " solutions of " << join.shards << " shards joined into "
            << shown(QDir(join.folder).filePath(solutionsName(1, 1, join.solver))) << Qt::endl;
        // The figures are the written rows'; a merge run again adds none.
        // Only CBC's rows have one.
        if (!already.at(j) && join.solver == QLatin1String("cbc"))
            for (const QString &label : join.labels)
                drawSolutionsFigure(join.folder, merged.at(j), label, out, err);
    }
    return 0;
}

} // namespace keldar::generator

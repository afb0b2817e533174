#include "generator/tables/metadata.h"

#include "generator/files/instancefile.h"
#include "generator/publish/publish.h"
#include "generator/publish/userfile.h"
#include "generator/run/manifest.h"
#include "generator/solve/capacity.h"
#include "generator/solve/rulesets.h"
#include "generator/solving/rulescopy.h"
#include "generator/solving/solutions.h"
#include "generator/tables/analysedfolder.h"
#include "generator/tables/isaoptions.h"
#include "generator/tables/scoretable.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace keldar::generator {

namespace {

using analysis::Folder;
using analysis::safeName;
using analysis::shown;

const char MetadataName[] = "metadata.csv";
const char OptionsName[] = "options.json";
// Manifest columns: file, cell, nurses, days, shifts, freeShift, seed, the
// targets, the measured values, largestDeviation, lowerBound.
constexpr int CellColumn = 1;
constexpr int SizeColumns = 2;
constexpr int MeasuredColumn = 7 + IndicatorCount;
constexpr int LowerBoundColumn = MeasuredColumn + IndicatorCount + 1;
// A planted design's manifest goes on: rules, slack, witnessCost.
constexpr int RulesColumn = LowerBoundColumn + 1;
constexpr int SlackColumn = RulesColumn + 1;

// feature_feasible when neither a roster nor a proof is known.
const char UnknownFeasibility[] = "0.5";
// One feature column.
struct Feature {
    QByteArray name;
    QList<QByteArray> cells;

    bool complete() const
    {
        return std::none_of(cells.begin(), cells.end(),
                            [](const QByteArray &cell) { return cell.isEmpty(); });
    }
    bool constant() const
    {
        bool numbers = true;
        for (const QByteArray &cell : cells) {
            bool ok = false;
            cell.toDouble(&ok);
            numbers = numbers && ok;
        }
        return std::all_of(cells.begin(), cells.end(), [&](const QByteArray &cell) {
            return numbers ? cell.toDouble() == cells.first().toDouble() : cell == cells.first();
        });
    }
};

// Rules of a label, with the most working shifts they allow by days and
// working shifts.
struct LabelRules {
    QString label;
    std::optional<Rules> rules; // none when the folder and the shipped sets lack it
    std::map<std::pair<int, int>, int> most;
};

// The rules of a label: none, the copy in the folder that the solving run
// left (or a benchmark list), or, for rows older than such copies, the
// shipped set of that name.
std::optional<Rules> rulesOf(const QString &folder, const QString &label)
{
    if (label == QLatin1String("none"))
        return Rules{};
    const FolderRules copy = rulesCopyIn(folder, label);
    if (copy.rules || !copy.error.isEmpty())
        return copy.rules;
    if (!shippedRuleSets().contains(label))
        return std::nullopt;
    const RulesChoiceRead shipped = chooseRules(label);
    return shipped.choice ? std::optional<Rules>(shipped.choice->rules) : std::nullopt;
}

// The rules of each label asked for, read once.
class RulesByLabel
{
public:
    explicit RulesByLabel(const QString &folder) : folder_(folder) {}
    LabelRules &of(const QString &label)
    {
        auto at = known_.find(label);
        if (at == known_.end())
            at = known_.emplace(label, LabelRules{label, rulesOf(folder_, label), {}}).first;
        return at->second;
    }

private:
    QString folder_;
    std::map<QString, LabelRules> known_;
};

// Total requirement over N times the most working shifts the rules allow;
// empty when the rules or the instance are unknown.
QByteArray demandPerCapacity(const std::optional<Instance> &in, LabelRules &rules)
{
    if (!in || !rules.rules)
        return {};
    const auto key = std::make_pair(in->days, in->workingShifts);
    if (rules.most.find(key) == rules.most.end())
        rules.most[key] = mostWorkingShifts(*rules.rules, in->days, in->workingShifts);
    const double capacity = double(in->nurses) * rules.most[key];
    qint64 demand = 0;
    for (int value : in->coverage)
        demand += value;
    return capacity > 0 ? QByteArray::number(double(demand) / capacity, 'f', 6) : QByteArray();
}

// 1 when any algorithm or the design's witness has a roster that keeps the
// rules, 0 when a solver proved there is none, 0.5 when neither is known.
QHash<QString, QByteArray> feasibility(const Folder &folder, const QString &label, QTextStream &err)
{
    QSet<QString> roster, none;
    for (const QList<SolutionRow> &rows : folder.ledgers)
        for (const SolutionRow &row : rows)
            if (row.rules == label && row.status == QLatin1String("infeasible"))
                none.insert(row.file);
            else if (row.rules == label && row.cost)
                roster.insert(row.file);
    for (const ScoreRow &row : folder.scores)
        if (row.rules == label && row.feasible == "yes")
            roster.insert(row.file);
    QHash<QString, QByteArray> value;
    for (qsizetype i = 0; i < folder.instances.size(); ++i) {
        const ManifestRow &row = folder.instances.at(i);
        const QString &file = folder.files.at(i);
        const bool witness = row.witnessCost && row.rules == label;
        if ((roster.contains(file) || witness) && none.contains(file))
            err << "keldar-generate: " << file << " under " << label
                << " has a roster that keeps the rules and a proof that none does; "
                   "feature_feasible takes the roster (1): please report it"
                << Qt::endl;
        value.insert(file, roster.contains(file) || witness ? "1"
                           : none.contains(file)            ? "0"
                                                            : UnknownFeasibility);
    }
    return value;
}

// The feature columns, one cell an instance; false when a value could not
// be found (its cell left empty).
bool featureColumns(const Folder &folder, const QString &label, QList<Feature> &features,
                    QTextStream &err)
{
    QList<Feature> columns = {{"feature_nurses", {}},
                              {"feature_days", {}},
                              {"feature_shifts", {}},
                              {"feature_freeShift", {}}};
    for (const char *name : IndicatorNames)
        columns.append(Feature{QByteArray("feature_") + name, {}});
    columns.append(Feature{"feature_lowerBound", {}});
    const bool planted = !folder.instances.first().rules.isEmpty();
    // A planted design built under the chosen rules alone already has this
    // column in feature_demandPerCapacity.
    const bool builtUnderLabel =
        planted && std::all_of(folder.instances.begin(), folder.instances.end(),
                               [&](const ManifestRow &row) { return row.rules == label; });
    if (planted) {
        columns.append(Feature{"feature_slack", {}});
        columns.append(Feature{"feature_demandPerCapacity", {}});
    }
    if (!builtUnderLabel)
        columns.append(Feature{"feature_demandPerCapacity_" + safeName(label), {}});
    columns.append(Feature{"feature_feasible", {}});

    RulesByLabel rules(folder.path);
    LabelRules &chosen = rules.of(label);
    bool complete = true;
    if (!chosen.rules && !builtUnderLabel) {
        err << "keldar-generate: rules " << printable(label) << ": neither " << printable(label)
            << ".dzn in the folder nor a shipped set; feature_demandPerCapacity_" << safeName(label)
            << " is left out" << Qt::endl;
        complete = false;
    }
    const QHash<QString, QByteArray> feasible = feasibility(folder, label, err);
    for (qsizetype i = 0; i < folder.instances.size(); ++i) {
        const ManifestRow &row = folder.instances.at(i);
        const QList<QByteArray> fields = csvFields(row.line).value_or(QList<QByteArray>());
        const QString &file = folder.files.at(i);
        QList<QByteArray> cells;
        for (int c = SizeColumns; c < SizeColumns + 4; ++c)
            cells.append(fields.value(c));
        for (int k = 0; k < IndicatorCount; ++k)
            cells.append(fields.value(MeasuredColumn + k));
        cells.append(fields.value(LowerBoundColumn));
        const QString path = QDir(folder.path).filePath(file);
        const ParsedInstance parsed = readInstanceFile(path);
        if (!parsed.instance) {
            err << "keldar-generate: " << shown(path) << ": " << parsed.error
                << "; its demand is unknown" << Qt::endl;
            complete = false;
        }
        if (planted) {
            // The slack asked, and demand against what the instance's own rules allow.
            cells.append(fields.value(SlackColumn));
            cells.append(demandPerCapacity(parsed.instance, rules.of(row.rules)));
        }
        if (!builtUnderLabel)
            cells.append(demandPerCapacity(parsed.instance, chosen));
        cells.append(feasible.value(file));
        for (qsizetype c = 0; c < columns.size(); ++c)
            columns[c].cells.append(cells.value(c));
    }
    features = columns;
    return complete;
}

// Publishes one file, never replacing one; false when it is not written.
bool publishFile(const QString &folder, const char *name, const QByteArray &bytes, QTextStream &out,
                 QTextStream &err)
{
    const QString path = QDir(folder).filePath(QLatin1String(name));
    QString why;
    bool already = false;
    const QString written = publishOnce(folder, QLatin1String(name), bytes, why, &already);
    if (already)
        out << shown(path) << " is already there as this run writes it" << Qt::endl;
    else if (written.isEmpty())
        err << "keldar-generate: " << shown(path) << " not written: " << why << Qt::endl;
    else
        out << shown(QDir(folder).filePath(written)) << Qt::endl;
    return already || !written.isEmpty();
}

QByteArray joined(const QList<QByteArray> &names)
{
    QByteArray text;
    for (const QByteArray &name : names)
        text += (text.isEmpty() ? "" : ", ") + name;
    return text;
}

// The rule set, and its algorithms; none, with the reason, when the folder
// cannot be read, no rule set is chosen, or two algorithms share a column.
std::optional<QString> chooseAlgorithms(Folder &folder, const QString &rules,
                                        QList<Algorithm> &algorithms, QString &why)
{
    std::optional<QString> label;
    if (readFolder(folder, why))
        label = chooseLabel(folder, rules, why);
    algorithms = label ? algorithmsOf(folder, *label) : QList<Algorithm>();
    for (qsizetype a = 0; label && a < algorithms.size(); ++a)
        for (qsizetype b = 0; b < a; ++b)
            if (algorithms.at(a).column == algorithms.at(b).column) {
                why = QStringLiteral("the algorithms %1 and %2 would both be the column %3; "
                                     "score one again under another --algorithm name")
                          .arg(printable(algorithms.at(b).name), printable(algorithms.at(a).name),
                               QString::fromLatin1(algorithms.at(a).column));
                label.reset();
            }
    return label;
}

// The features kept: those with a value for every instance that tell
// instances apart; the others' names in `constant` and `incomplete`.
QList<Feature> keptFeatures(const QList<Feature> &features, QList<QByteArray> &constant,
                            QList<QByteArray> &incomplete)
{
    QList<Feature> kept;
    for (const Feature &feature : features)
        if (!feature.complete())
            incomplete.append(feature.name);
        else if (feature.constant())
            constant.append(feature.name);
        else
            kept.append(feature);
    return kept;
}

// metadata.csv's text; each algorithm's cells are kept for the report.
QByteArray metadataText(const Folder &folder, const QList<Feature> &kept,
                        QList<Algorithm> &algorithms)
{
    QByteArray text = "Instances,Source";
    for (const Feature &feature : kept)
        text += ',' + feature.name;
    for (const Algorithm &algorithm : algorithms)
        text += ',' + algorithm.column;
    text += "\r\n";
    for (qsizetype i = 0; i < folder.instances.size(); ++i) {
        const QList<QByteArray> fields =
            csvFields(folder.instances.at(i).line).value_or(QList<QByteArray>());
        const QString &file = folder.files.at(i);
        text += csvField(fields.value(0)) + ',' + fields.value(CellColumn);
        for (const Feature &feature : kept)
            text += ',' + feature.cells.at(i);
        for (Algorithm &algorithm : algorithms) {
            const auto at = algorithm.value.constFind(file);
            if (at == algorithm.value.constEnd())
                ++algorithm.absent;
            const double value = at == algorithm.value.constEnd() ? algorithm.penalty() : *at;
            algorithm.cells.append(QByteArray::number(value, 'f', algorithm.exact ? 3 : 6));
            text += ',' + algorithm.cells.last();
        }
        text += "\r\n";
    }
    return text;
}

// What the columns measure, the penalties counted, and the features left out.
void reportColumns(const QString &label, const QList<Algorithm> &algorithms,
                   const QList<QByteArray> &constant, const QList<QByteArray> &incomplete,
                   QTextStream &out, QTextStream &err)
{
    out << "rules " << printable(label) << ":";
    for (const Algorithm &a : algorithms)
        out << (&a == &algorithms.first() ? " " : ", ") << a.column
            << (a.exact ? " (seconds)" : " (gap)");
    out << Qt::endl;
    for (const Algorithm &a : algorithms) {
        if (a.unproven + a.absent > 0)
            out << a.column << ": " << a.unproven
                << (a.exact ? " runs without a proven verdict" : " rosters not feasible") << " and "
                << a.absent << " instances without a row count "
                << QByteArray::number(a.penalty(), 'f', a.exact ? 3 : 6)
                << (a.exact ? QStringLiteral(" (ten times %1 s, %2)")
                                  .arg(a.limit, 0, 'g', QLocale::FloatingPointShortest)
                                  .arg(a.limitFrom)
                            : QStringLiteral(" (the gap penalty)"))
                << Qt::endl;
        if (a.cells.size() > 1 && a.cells.count(a.cells.first()) == a.cells.size())
            err << "keldar-generate: " << a.column << " is " << a.cells.first()
                << " for every instance: it tells no instance from another, and "
                   "pyInstanceSpace's normalisation makes it NaN"
                << Qt::endl;
    }
    if (!constant.isEmpty() || !incomplete.isEmpty()) {
        out << "features left out:";
        if (!constant.isEmpty())
            out << " the same for every instance: " << joined(constant)
                << (incomplete.isEmpty() ? "" : ";");
        if (!incomplete.isEmpty())
            out << " without a value for every instance: " << joined(incomplete);
        out << Qt::endl;
    }
}

} // namespace

int writeMetadata(const QString &folderPath, const QString &rules, QTextStream &out,
                  QTextStream &err)
{
    Folder folder{folderPath, {}, {}, {}, {}, {}};
    QString why;
    QList<Algorithm> algorithms;
    const std::optional<QString> label = chooseAlgorithms(folder, rules, algorithms, why);
    if (!label) {
        err << "keldar-generate: " << why << "; nothing written" << Qt::endl;
        return 2;
    }
    QList<Feature> features;
    const bool complete = featureColumns(folder, *label, features, err);
    QList<QByteArray> constant, incomplete;
    const QList<Feature> kept = keptFeatures(features, constant, incomplete);
    const QByteArray text = metadataText(folder, kept, algorithms);
    QString note;
    const QByteArray options = optionsJson(algorithms, note);
    const bool written = publishFile(folderPath, MetadataName, text, out, err) &&
                         publishFile(folderPath, OptionsName, options, out, err);
    reportColumns(*label, algorithms, constant, incomplete, out, err);
    if (!note.isEmpty())
        out << note << Qt::endl;
    return written && complete ? 0 : 1;
}

} // namespace keldar::generator

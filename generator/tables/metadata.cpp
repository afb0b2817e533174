#include "generator/tables/metadata.h"

#include "generator/files/instancefile.h"
#include "generator/publish/publish.h"
#include "generator/run/manifest.h"
#include "generator/solve/capacity.h"
#include "generator/solve/rulesets.h"
#include "generator/solving/rulescopy.h"
#include "generator/solving/solutions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>

#include <algorithm>
#include <list>
#include <map>
#include <utility>

namespace keldar::generator {

namespace {

const char MetadataName[] = "metadata.csv";
// Manifest columns: file, cell, nurses, days, shifts, freeShift, seed, the
// targets, the measured values, largestDeviation, lowerBound.
constexpr int CellColumn = 1;
constexpr int SizeColumns = 2;
constexpr int MeasuredColumn = 7 + IndicatorCount;
constexpr int LowerBoundColumn = MeasuredColumn + IndicatorCount + 1;
// A planted design's manifest goes on: rules, slack, witnessCost.
constexpr int RulesColumn = LowerBoundColumn + 1;
constexpr int SlackColumn = RulesColumn + 1;

// One rule set the folder was solved under.
struct SolvedRules {
    QString label;
    std::optional<Rules> rules; // none when the folder and the shipped sets lack it
    QHash<QString, SolutionRow> byFile;
    // The most working shifts a nurse may take, by days and working shifts.
    mutable std::map<std::pair<int, int>, int> most;
};

// What the folder holds: its manifests' rows by file number and its rule
// sets; false, with the refusal, when a manifest or the solutions are not
// ours.
bool readFolder(const QString &folder, std::map<qint64, QList<QByteArray>> &rows,
                QList<SolvedRules> &solved, QString &why)
{
    const QDir dir(folder);
    const ManifestRead manifests = readFolderManifests(folder);
    if (!manifests.rows) {
        why = manifests.error;
        return false;
    }
    for (const ManifestRow &row : *manifests.rows)
        rows.emplace(row.fileNumber, csvFields(row.line).value_or(QList<QByteArray>()));
    if (rows.empty()) {
        why = QDir::toNativeSeparators(folder) +
              QStringLiteral(": no manifest (manifest.csv) listing instances in this folder");
        return false;
    }
    QFile file(dir.filePath(solutionsName()));
    if (!file.exists())
        return true;
    const SolutionsRead read = file.open(QIODevice::ReadOnly)
                                   ? readSolutions(file.readAll())
                                   : SolutionsRead{std::nullopt, file.errorString()};
    if (!read.rows) {
        why = QDir::toNativeSeparators(file.fileName()) + QStringLiteral(": ") + read.error;
        return false;
    }
    for (const SolutionRow &row : *read.rows) {
        auto at = std::find_if(solved.begin(), solved.end(),
                               [&row](const SolvedRules &s) { return s.label == row.rules; });
        if (at == solved.end())
            at = solved.insert(solved.end(), SolvedRules{row.rules, std::nullopt, {}, {}});
        at->byFile.insert(row.file, row);
    }
    return true;
}

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

QByteArray header(const QList<SolvedRules> &solved, bool planted)
{
    QByteArray text =
        "Instances,Source,feature_nurses,feature_days,feature_shifts,feature_freeShift";
    for (const char *name : IndicatorNames)
        text += QByteArray(",feature_") + name;
    text += ",feature_lowerBound";
    if (planted)
        text += ",feature_slack,feature_demandPerCapacity";
    for (const SolvedRules &s : solved)
        text += ',' + csvField("feature_demandPerCapacity_" + s.label.toUtf8());
    for (const SolvedRules &s : solved)
        text += ',' + csvField("algo_cbc_" + s.label.toUtf8());
    return text + "\r\n";
}

// Total requirement over N times the most working shifts the rules allow.
QByteArray demandPerCapacity(const Instance &in, const SolvedRules &solved)
{
    const auto key = std::make_pair(in.days, in.workingShifts);
    if (solved.most.find(key) == solved.most.end())
        solved.most[key] = mostWorkingShifts(*solved.rules, in.days, in.workingShifts);
    const double capacity = double(in.nurses) * solved.most[key];
    qint64 demand = 0;
    for (int value : in.coverage)
        demand += value;
    return capacity > 0 ? QByteArray::number(double(demand) / capacity, 'f', 6) : QByteArray();
}

// The rules a planted instance was built under, read once a label.
class BuiltRules
{
public:
    explicit BuiltRules(const QString &folder) : folder_(folder) {}
    const SolvedRules &of(const QString &label)
    {
        auto at = std::find_if(known_.begin(), known_.end(),
                               [&](const SolvedRules &s) { return s.label == label; });
        if (at == known_.end())
            at = known_.insert(known_.end(),
                               SolvedRules{label, rulesOf(folder_, label), {}, {}});
        return *at;
    }

private:
    QString folder_;
    std::list<SolvedRules> known_; // stays put as it grows
};

// One instance's row; false when a value could not be found.
bool metadataRow(const QString &folder, const QList<QByteArray> &fields,
                 const QList<SolvedRules> &solved, BuiltRules *built, QByteArray &text,
                 QTextStream &err)
{
    const QString file = QString::fromUtf8(fields.at(0));
    text += csvField(fields.at(0)) + ',' + fields.at(CellColumn);
    for (int c = SizeColumns; c < SizeColumns + 4; ++c)
        text += ',' + fields.at(c);
    for (int k = 0; k < IndicatorCount; ++k)
        text += ',' + fields.at(MeasuredColumn + k);
    text += ',' + fields.at(LowerBoundColumn);
    bool complete = true;
    ParsedInstance parsed;
    if (!solved.isEmpty() || built) {
        parsed = readInstanceFile(QDir(folder).filePath(file));
        if (!parsed.instance) {
            err << "keldar-generate: " << QDir::toNativeSeparators(QDir(folder).filePath(file))
                << ": " << parsed.error << "; its demand is left empty" << Qt::endl;
            complete = false;
        }
    }
    if (built) {
        // The slack asked, and demand against what the instance's own rules allow.
        const SolvedRules &own = built->of(QString::fromUtf8(fields.value(RulesColumn)));
        text += ',' + fields.value(SlackColumn) + ',' +
                (parsed.instance && own.rules ? demandPerCapacity(*parsed.instance, own)
                                              : QByteArray());
    }
    for (const SolvedRules &s : solved)
        text += ',' + (parsed.instance && s.rules ? demandPerCapacity(*parsed.instance, s)
                                                  : QByteArray());
    for (const SolvedRules &s : solved) {
        const auto row = s.byFile.constFind(file);
        text += ',';
        if (row != s.byFile.constEnd() && row->status != QLatin1String("unknown"))
            text += QByteArray::number(row->seconds, 'f', 3);
    }
    text += "\r\n";
    return complete;
}

} // namespace

int writeMetadata(const QString &folder, const QString &rules, QTextStream &out,
                  QTextStream &err)
{
    Q_UNUSED(rules);
    std::map<qint64, QList<QByteArray>> rows;
    QList<SolvedRules> solved;
    QString why;
    if (!readFolder(folder, rows, solved, why)) {
        err << "keldar-generate: " << why << "; nothing written" << Qt::endl;
        return 2;
    }
    bool complete = true;
    for (SolvedRules &s : solved) {
        s.rules = rulesOf(folder, s.label);
        if (!s.rules) {
            err << "keldar-generate: rules " << s.label << ": neither " << s.label
                << ".dzn in the folder nor a shipped set; feature_demandPerCapacity_" << s.label
                << " is left empty" << Qt::endl;
            complete = false;
        }
    }
    const bool planted = rows.begin()->second.size() > RulesColumn;
    BuiltRules built(folder);
    QByteArray text = header(solved, planted);
    for (const auto &[number, fields] : rows)
        complete =
            metadataRow(folder, fields, solved, planted ? &built : nullptr, text, err) && complete;
    const QString shown = QDir::toNativeSeparators(QDir(folder).filePath(MetadataName));
    bool already = false;
    const QString written = publishOnce(folder, QLatin1String(MetadataName), text, why, &already);
    if (already) {
        out << shown << " is already there as this run writes it" << Qt::endl;
        return complete ? 0 : 1;
    }
    if (written.isEmpty()) {
        err << "keldar-generate: " << shown << " not written: " << why << Qt::endl;
        return 1;
    }
    out << QDir::toNativeSeparators(QDir(folder).filePath(written)) << Qt::endl;
    return complete ? 0 : 1;
}

} // namespace keldar::generator

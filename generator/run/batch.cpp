#include "generator/run/batch.h"

#include "generator/run/cellrun.h"

#include "generator/files/batchtext.h"
#include "generator/files/instancefile.h"
#include "generator/instance/generate.h"
#include "generator/instance/random.h"
#include "generator/publish/diskspace.h"
#include "generator/publish/outputlog.h"
#include "generator/publish/publish.h"
#include "generator/run/inorder.h"
#include "generator/run/interrupt.h"
#include "generator/run/limits.h"
#include "generator/run/manifest.h"
#include "generator/run/ownfiles.h"
#include "generator/run/progress.h"
#include "generator/run/svgplot.h"
#include "generator/solve/lowerbound.h"
#include "generator/solve/planting.h"
#include "generator/solve/ssbformat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <new>
#include <thread>

namespace keldar::generator {

namespace {

using cells::Cell;
using cells::CellRun;
using cells::RunPlan;

BatchReport runCells(const RunPlan &plan, const QString &fallbackLogDir, QTextStream *errors,
                     const RunOptions &options)
{
    return CellRun(plan, fallbackLogDir, errors, options).run();
}

// A cell with a slack needs a nurse who can keep its rules over its days.
QString unplantable(const Design &design, const RulesChoice &rules)
{
    for (const int days : design.days)
        for (const int shifts : design.shifts)
            for (const bool free : design.freeShift) {
                const int working = free ? shifts - 1 : shifts;
                const QString problem = plantingProblem(rules.rules, days, working);
                if (!problem.isEmpty())
                    return QStringLiteral("rules %1 over %2 days: %3")
                        .arg(rules.label)
                        .arg(days)
                        .arg(problem);
            }
    return QString();
}

} // namespace

std::optional<QList<RulesChoice>> designRules(const Design &design, const QString &designPath,
                                              QString &why)
{
    if (!design.planted())
        return QList<RulesChoice>();
    QList<RulesChoice> levels;
    const QStringList named = design.rules.isEmpty() ? QStringList{QString()} : design.rules;
    for (QString value : named) {
        const bool file = value.contains(u'/') || value.endsWith(QLatin1String(".dzn"));
        if (file && QDir::isRelativePath(value))
            value = QFileInfo(designPath).dir().filePath(value);
        const RulesChoiceRead read = chooseRules(value == QLatin1String("none") ? QString() : value);
        if (!read.choice) {
            why = QStringLiteral("rules: ") + read.error;
            return std::nullopt;
        }
        for (const RulesChoice &level : levels)
            if (level.label == read.choice->label) {
                why = QStringLiteral("rules: two levels are named %1 (%2 and %3)")
                          .arg(level.label, QDir::toNativeSeparators(level.path),
                               QDir::toNativeSeparators(read.choice->path));
                return std::nullopt;
            }
        if (!design.slack.isEmpty())
            why = unplantable(design, *read.choice);
        if (!why.isEmpty())
            return std::nullopt;
        levels.append(*read.choice);
    }
    return levels;
}

BatchReport runBatch(const BatchInput &input, const QString &fallbackLogDir, QTextStream *errors,
                     const RunOptions &options)
{
    const RunPlan plan{{Cell{input, 1, options.rules}}, input.folder,      false, {inputsLine(input)},
                       manifestName(),   figureName(false), {}};
    return runCells(plan, fallbackLogDir, errors, options);
}

BatchReport runDesign(const Design &design, const QString &folder, const DesignRun &run,
                      const QString &fallbackLogDir, QTextStream *errors, const RunOptions &options)
{
    QStringList labels;
    for (const RulesChoice &rules : run.rules)
        labels << rules.label;
    QList<Cell> cells;
    for (qint64 number : shardCells(design.cellCount(), run.shard, run.shards))
        cells.append(Cell{design.cell(number, folder, labels), number,
                          run.rules.value(design.rulesLevel(number), options.rules)});
    // One substitution: the paths are the user's and may hold "%1".
    QString line =
        QStringLiteral("design: %1, %2 cells, %3 files a cell, files %4 to %5, seed %6, "
                       "folder %7")
            .arg(QDir::toNativeSeparators(run.designPath), QString::number(design.cellCount()),
                 QString::number(design.instancesPerCell), QString::number(design.firstFile),
                 QString::number(design.firstFile + design.fileCount() - 1),
                 QString::number(design.seed), folder);
    if (run.shards > 1)
        line += QStringLiteral("; shard %1 of %2: %3 cells")
                    .arg(run.shard)
                    .arg(run.shards)
                    .arg(cells.size());
    RunPlan plan{cells,
                 folder,
                 true,
                 {line},
                 manifestName(run.shard, run.shards),
                 figureName(true, run.shard, run.shards),
                 {}};
    if (run.shards > 1)
        plan.stamp =
            ShardStamp{design.identity(),       run.shard,       run.shards, design.cellCount(),
                       design.instancesPerCell, design.firstFile};
    return runCells(plan, fallbackLogDir, errors, options);
}

} // namespace keldar::generator

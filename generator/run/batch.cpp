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
#include "generator/solve/ssbformat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
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

} // namespace

BatchReport runBatch(const BatchInput &input, const QString &fallbackLogDir, QTextStream *errors,
                     const RunOptions &options)
{
    const RunPlan plan{{Cell{input, 1}}, input.folder,      false, {inputsLine(input)},
                       manifestName(),   figureName(false), {}};
    return runCells(plan, fallbackLogDir, errors, options);
}

BatchReport runDesign(const Design &design, const QString &folder, const DesignRun &run,
                      const QString &fallbackLogDir, QTextStream *errors, const RunOptions &options)
{
    QList<Cell> cells;
    for (qint64 number : shardCells(design.cellCount(), run.shard, run.shards))
        cells.append(Cell{design.cell(number, folder), number});
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

#include "generator/batch.h"

#include "generator/batchtext.h"
#include "generator/diskspace.h"
#include "generator/generate.h"
#include "generator/inorder.h"
#include "generator/instancefile.h"
#include "generator/lowerbound.h"
#include "generator/manifest.h"
#include "generator/outputlog.h"
#include "generator/progress.h"
#include "generator/publish.h"
#include "generator/random.h"
#include "generator/svgplot.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <thread>

#include <sys/resource.h>

namespace keldar::generator {

namespace {

// One cell of a run: the batch that makes it and its number in the design.
struct Cell {
    BatchInput input;
    qint64 number = 1;
};

// A file as a worker leaves it: generated and written, not yet named.
struct Made {
    QString logLine; // when set, no file: a line the log takes in its place
    qint64 cellIndex = 0;
    qint64 fileNumber = 0;
    QString taken; // the name that existed before the file was made
    PendingFile pending;
    PublishResult prepared;
    // The instance in its other formats, named after its text file.
    std::vector<PendingFile> extras;
    std::optional<std::int64_t> lowerBound;
    QString lowerBoundText;
    Provenance provenance;
    qint64 bytes = 0;
    qint64 milliseconds = 0;
};

// Files wait here, unnamed, until one sync makes the whole group durable;
// then they get their names and their log lines, in file order.  Many small
// files then cost little more than writing their bytes.
constexpr int GroupFiles = 1024;
constexpr qint64 GroupBytes = 16 << 20;
constexpr qint64 GroupMilliseconds = 1000; // slow, large files still appear

// A pending file holds two descriptors until its group is named: the group
// shrinks to what the process may open, after asking for more.
int groupFiles(int window)
{
    const rlim_t wanted = 2 * static_cast<rlim_t>(GroupFiles + window) + 64;
    struct rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 16;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        struct rlimit raised = limit;
        raised.rlim_cur =
            limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted)
        return GroupFiles;
    const auto fit = static_cast<qint64>(limit.rlim_cur) / 2 - window - 32;
    return static_cast<int>(std::clamp<qint64>(fit, 1, GroupFiles));
}

int jobCount(int jobs)
{
    if (jobs > 0)
        return jobs;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

BatchReport runCells(const QList<Cell> &cells, const QString &folder, bool design,
                     const QStringList &heading, const QString &manifestFile,
                     const QString &figureFile, const QString &fallbackLogDir, QTextStream *errors,
                     const RunOptions &options)
{
    BatchReport report;
    QElapsedTimer runClock;
    runClock.start();

    // Tells this run's lines from those of runs beside it.
    const QDateTime started = QDateTime::currentDateTime();
    const QString batchId = QStringLiteral("%1-%2")
                                .arg(QCoreApplication::applicationPid())
                                .arg(started.toString(QStringLiteral("yyyyMMddThhmmss.zzz")));
    OutputLog log(folder, fallbackLogDir, errors);
    // A design's section is a batch section too, its next line says which.
    log.open(QStringLiteral("== batch %1 started %2, keldar-generate %3")
                 .arg(batchId, started.toString(Qt::ISODate), QLatin1String(KELDAR_VERSION)),
             batchId);
    for (const QString &line : heading)
        log.line(line);

    qint64 total = 0;
    QList<qint64> cellEnds; // files before the end of each cell
    for (const Cell &cell : cells)
        cellEnds.append(total += cell.input.files);

    const QStringList extras = extraSuffixes(options.formats);
    // An instance is written in all its formats or not at all, so the files
    // beside a text file always belong to it.
    auto takenName = [&](qint64 k) {
        if (nameTaken(QDir(folder).filePath(fileName(k))))
            return fileName(k);
        for (const QString &suffix : extras)
            if (nameTaken(QDir(folder).filePath(extraName(k, suffix))))
                return extraName(k, suffix);
        return QString();
    };

    QString stopped;
    if (!log.folderReady()) {
        log.error(QStringLiteral("cannot create the target folder %1 (%2); no file written")
                      .arg(QDir::toNativeSeparators(folder), log.folderProblem()));
        report.failed = total;
    } else {
        if (const int removed = removeStaleTemporaries(folder))
            log.line(QStringLiteral("note: removed %1 temporary files left by interrupted batches")
                         .arg(removed));
        qint64 missing = 0;
        double expected = 0;
        const DiskSpace space = diskSpace(folder);
        const double block = static_cast<double>(space.block);
        for (const Cell &cell : cells) {
            qint64 cellMissing = 0;
            for (qint64 k = cell.input.firstFile; k < cell.input.firstFile + cell.input.files; ++k)
                cellMissing += takenName(k).isEmpty() ? 1 : 0;
            missing += cellMissing;
            const double text = expectedFileBytes(cell.input);
            expected +=
                static_cast<double>(cellMissing) *
                (std::ceil(text / block) + static_cast<double>(extras.size()) *
                                               std::ceil(ExportBytesPerTextByte * text / block)) *
                block;
        }
        log.line(QStringLiteral("size: about %1 bytes in %2 files to write")
                     .arg(expected, 0, 'f', 0)
                     .arg(missing));
        if (space.free >= 0 && expected > static_cast<double>(space.free)) {
            stopped = QStringLiteral("the %1 needs about %2 bytes, the disk of %3 has %4 bytes "
                                     "free")
                          .arg(design ? QStringLiteral("design") : QStringLiteral("batch"))
                          .arg(expected, 0, 'f', 0)
                          .arg(QDir::toNativeSeparators(folder))
                          .arg(space.free);
            log.error(stopped + QStringLiteral("; no file written"));
            report.notStarted = total;
            total = 0;
        }
        ProgressLine progress(options.progress, total);
        QList<ManifestRow> rows;
        const int jobs = jobCount(options.jobs);
        const int window = jobs * 8;
        const int perFile = 1 + int(extras.size());
        const int maxGroup = std::max(1, groupFiles(window * perFile) / perFile);
        std::vector<Made> group;
        qint64 groupBytes = 0;
        qint64 consumed = 0;
        QElapsedTimer groupClock;
        auto error = [&](const QString &text) {
            progress.interrupt();
            log.error(text);
        };

        auto flush = [&] {
            std::vector<PendingFile *> pending;
            for (Made &made : group)
                if (made.logLine.isEmpty() && made.taken.isEmpty() &&
                    made.prepared.status == Published::Written) {
                    pending.push_back(&made.pending);
                    for (PendingFile &extra : made.extras)
                        pending.push_back(&extra);
                }
            const PublishResult synced = syncFiles(pending, true);
            for (Made &made : group) {
                if (!made.logLine.isEmpty()) {
                    log.line(made.logLine);
                    continue;
                }
                const BatchInput &in = cells.at(made.cellIndex).input;
                const QString name = fileName(made.fileNumber);
                if (!stopped.isEmpty()) {
                    // Made before the disk filled up; dropped unnamed.
                    ++report.notStarted;
                    continue;
                }
                QString failedName = name;
                PublishResult result = made.prepared;
                if (!made.taken.isEmpty())
                    result.status = Published::Exists;
                else if (result.status == Published::Written)
                    result =
                        synced.status == Published::Written ? giveName(made.pending, name) : synced;
                for (std::size_t e = 0;
                     result.status == Published::Written && e < made.extras.size(); ++e) {
                    failedName = extraName(made.fileNumber, extras.at(qsizetype(e)));
                    result = giveName(made.extras[e], failedName);
                    // The text file stands; the instance lacks a format.
                    if (result.status == Published::Exists)
                        result = PublishResult{Published::Failed, EEXIST};
                }
                switch (result.status) {
                case Published::Written:
                    ++report.written;
                    log.line(
                        QStringLiteral(
                            "%1 seed %2%3 lowerBound %4 largest deviation %5 time %6 ms%7")
                            .arg(name)
                            .arg(made.provenance.fileSeed)
                            .arg(measuredText(made.provenance.measured))
                            .arg(made.lowerBoundText)
                            .arg(largestDeviation(made.provenance.measured, in.targets), 0, 'f', 6)
                            .arg(made.milliseconds)
                            .arg(unreachedText(made.provenance.measured, in.targets)));
                    rows.append(manifestRow(in, cells.at(made.cellIndex).number, made.fileNumber,
                                            made.provenance.measured, made.lowerBound));
                    break;
                case Published::Exists:
                    ++report.skipped;
                    log.line(QStringLiteral("%1 skipped: %2already exists")
                                 .arg(name, made.taken.isEmpty() || made.taken == name
                                                ? QString()
                                                : made.taken + u' '));
                    break;
                case Published::Failed:
                    ++report.failed;
                    error(QStringLiteral("%1 not written: %2").arg(failedName, result.reason()));
                    // A full disk fails every file after: stop at the first.
                    if (diskFull(result.error))
                        stopped = result.reason();
                    break;
                }
            }
            if (!pending.empty())
                syncFolder(folder);
            group.clear();
            groupBytes = 0;
        };

        qint64 cellIndex = 0;
        qint64 cellStart = 0;
        auto produce = [&](qint64 index) {
            // Cells are few beside files: a search keeps workers independent.
            const auto at = std::upper_bound(cellEnds.begin(), cellEnds.end(), index);
            Made made;
            made.cellIndex = at - cellEnds.begin();
            const BatchInput &in = cells.at(made.cellIndex).input;
            made.fileNumber =
                in.firstFile + index - (made.cellIndex == 0 ? 0 : cellEnds.at(made.cellIndex - 1));
            made.taken = takenName(made.fileNumber);
            if (!made.taken.isEmpty())
                return made;
            QElapsedTimer clock;
            clock.start();
            made.provenance.fileNumber = made.fileNumber;
            made.provenance.fileSeed = fileSeed(in.seed, made.fileNumber);
            const Instance instance = generate(in, made.provenance.fileSeed);
            made.provenance.measured = measure(instance);
            const LowerBound bound = lowerBound(instance);
            made.lowerBound = bound.cost;
            made.lowerBoundText = bound.text();
            const QByteArray text = instanceText(instance, in, made.provenance);
            made.bytes = text.size();
            made.prepared = prepare(folder, text, made.pending);
            const InstanceFacts facts{made.provenance.measured, bound.cost,
                                      fileName(made.fileNumber)};
            for (const QString &suffix : extras) {
                if (made.prepared.status != Published::Written)
                    break;
                const QByteArray extra = exportText(suffix, instance, facts);
                made.bytes += extra.size();
                made.extras.emplace_back();
                made.prepared = prepare(folder, extra, made.extras.back());
            }
            made.milliseconds = clock.elapsed();
            return made;
        };
        auto consume = [&](qint64 index, Made made) {
            if (group.empty())
                groupClock.start();
            if (design && index == cellStart) {
                // The cell's heading waits in the group before its first
                // file, so the log stays in file order.
                const Cell &cell = cells.at(cellIndex);
                Made cellLine;
                cellLine.logLine =
                    QStringLiteral("cell %1 ").arg(cell.number) + inputsLine(cell.input);
                group.push_back(std::move(cellLine));
                cellStart += cell.input.files;
                ++cellIndex;
            }
            groupBytes += made.bytes;
            group.push_back(std::move(made));
            if (int(group.size()) >= maxGroup || groupBytes >= GroupBytes ||
                groupClock.elapsed() >= GroupMilliseconds)
                flush();
            consumed = index + 1;
            progress.advance(consumed);
            return stopped.isEmpty();
        };
        runInOrder<Made>(total, jobs, window, produce, consume);
        flush();
        progress.finish();
        report.notStarted += total - consumed;

        if (!rows.isEmpty()) {
            QString why;
            const QString manifest = publishBeside(folder, manifestFile, manifestText(rows), why);
            if (manifest.isEmpty())
                error(QStringLiteral("%1 not written: %2").arg(manifestFile, why));
            const QString figure = publishBeside(folder, figureFile, svgPlot(rows), why);
            if (figure.isEmpty())
                error(QStringLiteral("%1 not written: %2").arg(figureFile, why));
            if (!manifest.isEmpty() || !figure.isEmpty()) {
                syncFolder(folder);
                log.line(QStringLiteral("written: %1 %2").arg(manifest, figure).simplified());
            }
        }
    }
    log.line(QStringLiteral("summary: %1 written, %2 skipped, %3 failed, %4 not started, %5 s%6")
                 .arg(report.written)
                 .arg(report.skipped)
                 .arg(report.failed)
                 .arg(report.notStarted)
                 .arg(static_cast<double>(runClock.elapsed()) / 1000.0, 0, 'f', 3)
                 .arg(stopped.isEmpty() ? QString() : QStringLiteral("; stopped: ") + stopped));
    return report;
}

} // namespace

BatchReport runBatch(const BatchInput &input, const QString &fallbackLogDir, QTextStream *errors,
                     const RunOptions &options)
{
    return runCells({Cell{input, 1}}, input.folder, false, {inputsLine(input)}, manifestName(),
                    figureName(false), fallbackLogDir, errors, options);
}

BatchReport runDesign(const Design &design, const QString &folder, const DesignRun &run,
                      const QString &fallbackLogDir, QTextStream *errors, const RunOptions &options)
{
    QList<Cell> cells;
    for (qint64 number : shardCells(design.cellCount(), run.shard, run.shards))
        cells.append(Cell{design.cell(number, folder), number});
    QString line = QStringLiteral("design: %1, %2 cells, %3 files a cell, files %4 to %5, seed %6, "
                                  "folder %7")
                       .arg(QDir::toNativeSeparators(run.designPath))
                       .arg(design.cellCount())
                       .arg(design.instancesPerCell)
                       .arg(design.firstFile)
                       .arg(design.firstFile + design.fileCount() - 1)
                       .arg(design.seed)
                       .arg(folder);
    if (run.shards > 1)
        line += QStringLiteral("; shard %1 of %2: %3 cells")
                    .arg(run.shard)
                    .arg(run.shards)
                    .arg(cells.size());
    return runCells(cells, folder, true, {line}, manifestName(run.shard, run.shards),
                    figureName(true, run.shard, run.shards), fallbackLogDir, errors, options);
}

} // namespace keldar::generator

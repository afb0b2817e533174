#include "generator/batch.h"

#include "generator/generate.h"
#include "generator/handshake.h"
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
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <thread>

#include <cerrno>
#include <cmath>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace keldar::generator {

namespace {

QString inputsLine(const BatchInput &in)
{
    QString text = QStringLiteral("inputs: nurses %1, days %2, shifts %3, free shift counted %4")
                       .arg(in.nurses)
                       .arg(in.days)
                       .arg(in.shifts)
                       .arg(in.freeCounted ? 1 : 0);
    for (int k = 0; k < IndicatorCount; ++k)
        text += QStringLiteral(", %1 %2")
                    .arg(QLatin1String(IndicatorNames[k]))
                    .arg(in.targets[static_cast<std::size_t>(k)], 0, 'g', 15);
    text += QStringLiteral(", files %1, first file %2, seed %3, folder %4")
                .arg(in.files)
                .arg(in.firstFile)
                .arg(in.seed)
                .arg(in.folder);
    return text;
}

QString measuredText(const Indicators &measured)
{
    QString text;
    for (int k = 0; k < IndicatorCount; ++k)
        text += QStringLiteral(" %1 %2")
                    .arg(QLatin1String(IndicatorNames[k]))
                    .arg(measured[static_cast<std::size_t>(k)], 0, 'f', 6);
    return text;
}

// Names each target the file misses by more than the tolerance; the value
// reached is the nearest the search found.
QString unreachedText(const Indicators &measured, const Indicators &targets)
{
    QString text;
    for (int k = 0; k < IndicatorCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        if (unreachable(measured[i], targets[i]))
            text += QStringLiteral("; unreachable: %1 target %2, nearest reached %3")
                        .arg(QLatin1String(IndicatorNames[k]))
                        .arg(targets[i], 0, 'g', 15)
                        .arg(measured[i], 0, 'f', 6);
    }
    return text;
}

// Errors after which no further file can be written to the disk.
bool diskFull(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EROFS;
}

struct DiskSpace {
    qint64 free = -1; // bytes free for this user; -1 when unknown
    qint64 block = 1; // every file takes whole blocks
};

DiskSpace diskSpace(const QString &folder)
{
    DiskSpace space;
    struct statvfs info = {};
    if (::statvfs(QFile::encodeName(folder).constData(), &info) == 0 && info.f_frsize > 0) {
        space.free = static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
        space.block = static_cast<qint64>(info.f_frsize);
    }
    return space;
}

// Whether anything, even a dangling link, holds the name.
bool nameTaken(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace

ReadResult loadInput(const QString &path, MarkMissing markMissing)
{
    QFile file(path);
    QByteArray bytes;
    const bool opened = file.open(QIODevice::ReadOnly);
    // One byte over the limit is enough to refuse the file.
    if (opened)
        bytes = file.read(MaxInputBytes + 1);
    const bool readFailed = !opened || file.error() != QFileDevice::NoError;
    const QString readError = file.errorString();
    file.close();

    if (opened || markMissing == MarkMissing::Yes || QFileInfo::exists(path)) {
        // A new mark in place of whatever stands at its name: a link there
        // goes, its target is never written.  The app may see the mark empty
        // for a moment; it waits for the id.
        const QString markPath = path + QLatin1String(ReadMarkSuffix);
        QFile::remove(markPath);
        QFile mark(markPath);
        if (mark.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            mark.write(readMarkText(QCoreApplication::applicationPid()));
            mark.close();
        }
    }

    if (readFailed) {
        ReadResult result;
        result.error =
            QStringLiteral("cannot read %1: %2").arg(QDir::toNativeSeparators(path), readError);
        return result;
    }
    return readInput(bytes);
}

void logRefusal(const QString &inputPath, const ReadResult &refusal, const QString &fallbackLogDir,
                QTextStream *errors)
{
    OutputLog log(refusal.folder, fallbackLogDir, errors);
    log.open(QStringLiteral("== input refused %1, keldar-generate %2")
                 .arg(QDateTime::currentDateTime().toString(Qt::ISODate),
                      QLatin1String(KELDAR_VERSION)));
    log.error(QStringLiteral("%1: %2; no file written")
                  .arg(QDir::toNativeSeparators(inputPath), refusal.error));
}

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

QString fileName(qint64 fileNumber)
{
    return QStringLiteral("instance_%1.txt").arg(fileNumber);
}

QString extraName(qint64 fileNumber, const QString &suffix)
{
    return QStringLiteral("instance_%1.%2").arg(fileNumber).arg(suffix);
}

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

// Publishes a small whole file under `name`, or under name-2, name-3, ...
// when that is taken: what an earlier run left is never replaced.
QString publishBeside(const QString &folder, const QString &name, const QByteArray &bytes,
                      QString &why)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    for (int n = 1; n < 1000; ++n) {
        const QString candidate =
            n == 1 ? name : name.left(dot) + QStringLiteral("-%1").arg(n) + name.mid(dot);
        const PublishResult result = publish(folder, candidate, bytes);
        if (result.status == Published::Written)
            return candidate;
        if (result.status == Published::Failed) {
            why = result.reason();
            return QString();
        }
    }
    why = QStringLiteral("too many earlier copies");
    return QString();
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
                if (!stopped.isEmpty()) {
                    // Made before the disk filled up; dropped unnamed.
                    ++report.notStarted;
                    continue;
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

QString manifestName(int shard, int shards)
{
    return shards > 1 ? QStringLiteral("manifest.shard-%1-of-%2.csv").arg(shard).arg(shards)
                      : QStringLiteral("manifest.csv");
}

QString figureName(bool design, int shard, int shards)
{
    const QString base = design ? QStringLiteral("design") : QStringLiteral("batch");
    return shards > 1 ? QStringLiteral("%1.shard-%2-of-%3.svg").arg(base).arg(shard).arg(shards)
                      : base + QStringLiteral(".svg");
}

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

int mergeShards(const QStringList &folders, QTextStream &out, QTextStream &errors)
{
    const QRegularExpression pattern(
        QStringLiteral("^manifest\\.shard-(\\d+)-of-(\\d+)(?:-\\d+)?\\.csv$"));
    QList<ManifestRow> rows;
    QMap<int, QStringList> shardFiles;
    int shards = 0;
    auto refuse = [&errors](const QString &why) {
        errors << "keldar-generate: " << why << "; nothing merged" << Qt::endl;
        return 2;
    };
    // A folder named twice is read once.
    QStringList distinct;
    for (const QString &folder : folders)
        if (!distinct.contains(QDir::cleanPath(QDir(folder).absolutePath())))
            distinct.append(QDir::cleanPath(QDir(folder).absolutePath()));
    for (const QString &folder : distinct) {
        const QStringList names = QDir(folder).entryList({QStringLiteral("manifest.shard-*.csv")},
                                                         QDir::Files, QDir::Name);
        for (const QString &name : names) {
            const QRegularExpressionMatch match = pattern.match(name);
            if (!match.hasMatch())
                continue;
            const QString path = QDir(folder).filePath(name);
            const int shard = match.captured(1).toInt();
            const int of = match.captured(2).toInt();
            if (shards != 0 && of != shards)
                return refuse(QStringLiteral("%1 belongs to a split into %2 shards, not %3")
                                  .arg(QDir::toNativeSeparators(path))
                                  .arg(of)
                                  .arg(shards));
            shards = of;
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                return refuse(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
                                                           file.errorString()));
            const ManifestRead read = readManifest(file.readAll());
            if (!read.rows)
                return refuse(
                    QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), read.error));
            for (const ManifestRow &row : *read.rows)
                if (row.cell % of != shard % of)
                    return refuse(QStringLiteral("%1: cell %2 is not in shard %3 of %4")
                                      .arg(QDir::toNativeSeparators(path))
                                      .arg(row.cell)
                                      .arg(shard)
                                      .arg(of));
            rows += *read.rows;
            shardFiles[shard].append(path);
        }
    }
    if (shards == 0)
        return refuse(QStringLiteral("no shard manifest (manifest.shard-I-of-N.csv) in %1")
                          .arg(folders.join(QStringLiteral(", "))));
    for (int shard = 1; shard <= shards; ++shard)
        if (!shardFiles.contains(shard))
            return refuse(QStringLiteral("shard %1 of %2 has no manifest").arg(shard).arg(shards));
    // File order, as one unsplit run draws them.
    std::stable_sort(rows.begin(), rows.end(), [](const ManifestRow &a, const ManifestRow &b) {
        return a.fileNumber < b.fileNumber;
    });
    QSet<qint64> seen;
    for (const ManifestRow &row : rows) {
        if (seen.contains(row.fileNumber))
            return refuse(QStringLiteral("%1 is listed twice").arg(fileName(row.fileNumber)));
        seen.insert(row.fileNumber);
    }
    QString why;
    const QString manifest =
        publishBeside(folders.first(), manifestName(), manifestText(rows), why);
    if (manifest.isEmpty())
        return refuse(QStringLiteral("%1 not written: %2").arg(manifestName(), why));
    const QString figure = publishBeside(folders.first(), figureName(true), svgPlot(rows), why);
    if (figure.isEmpty())
        return refuse(QStringLiteral("%1 not written: %2").arg(figureName(true), why));
    syncFolder(folders.first());
    out << rows.size() << " files of " << shards << " shards joined into "
        << QDir::toNativeSeparators(QDir(folders.first()).filePath(manifest)) << " and "
        << QDir::toNativeSeparators(QDir(folders.first()).filePath(figure)) << Qt::endl;
    return 0;
}

} // namespace keldar::generator

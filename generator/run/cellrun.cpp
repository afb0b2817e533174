#include "generator/run/cellrun.h"

#include "generator/files/batchtext.h"
#include "generator/files/instancefile.h"
#include "generator/instance/generate.h"
#include "generator/instance/random.h"
#include "generator/publish/diskspace.h"
#include "generator/publish/outputlog.h"
#include "generator/publish/publish.h"
#include "generator/publish/userfile.h"
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
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <new>
#include <thread>

namespace keldar::generator::cells {

namespace {

constexpr qint64 GroupBytes = 16 << 20;
constexpr qint64 GroupMilliseconds = 1000; // slow, large files still appear

int jobCount(int jobs)
{
    if (jobs > 0)
        return jobs;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

// What a run is: its cells, where their files go, and how.
} // namespace

CellRun::CellRun(const RunPlan &plan, const QString &fallbackLogDir, QTextStream *errors,
                 const RunOptions &options)
    : plan_(plan), options_(options), log_(plan.folder, fallbackLogDir, errors)
{
    runClock_.start();
    for (const Cell &cell : plan_.cells) {
        cellEnds_.append(total_ += cell.input.files);
        QStringList suffixes = extraSuffixes(options.formats, cell.rules.label);
        if (cell.input.slack)
            suffixes.append(witnessSuffix(cell.input.rules));
        extras_.append(suffixes);
    }
}

BatchReport CellRun::run()
{
    openLog();
    if (!log_.folderReady()) {
        const QString problem = QStringLiteral("cannot create the target folder ") +
                                QDir::toNativeSeparators(plan_.folder) + QStringLiteral(" (") +
                                log_.folderProblem() + u')';
        log_.error(problem + QStringLiteral("; no file written"));
        report_.failed = total_;
        tellPlan(BatchVerdict{true, false, 0, problem});
    } else {
        plan();
        copyRules();
        makeAll();
        writeManifestAndFigure();
        listForBenchmarks();
    }
    summarise();
    return report_;
}

void CellRun::openLog()
{
    // Tells this run's lines from those of runs beside it.
    const QDateTime started = QDateTime::currentDateTime();
    const QString batchId = QStringLiteral("%1-%2")
                                .arg(QCoreApplication::applicationPid())
                                .arg(started.toString(QStringLiteral("yyyyMMddThhmmss.zzz")));
    // A design's section is a batch section too, its next line says which.
    log_.open(QStringLiteral("== batch %1 started %2, keldar-generate %3")
                  .arg(batchId, started.toString(Qt::ISODate), QLatin1String(KELDAR_VERSION)),
              batchId);
    for (const QString &line : plan_.heading)
        log_.line(line);
}

void CellRun::makeAll()
{
    progress_.emplace(options_.progress, total_);
    qsizetype mostExtras = 0;
    for (const QStringList &suffixes : extras_)
        mostExtras = std::max(mostExtras, suffixes.size());
    const RunLimits limits = runLimits(jobCount(options_.jobs), 1 + int(mostExtras), peak_);
    if (!limits.note.isEmpty() && total_ > 0)
        log_.line(QStringLiteral("note: ") + limits.note);
    maxGroup_ = limits.group;
    runInOrder<Made>(
        total_, limits.jobs, limits.window,
        [this](qint64 index) { return makeWithinMemory(index); },
        [this](qint64 index, Made made) { return take(index, std::move(made)); });
    publishGroup();
    progress_->finish();
    report_.notStarted += total_ - consumed_;
}

// File `index` of the run: its cell and its number.
Made CellRun::placed(qint64 index) const
{
    // Cells are few beside files: a search keeps workers independent.
    const auto at = std::upper_bound(cellEnds_.begin(), cellEnds_.end(), index);
    Made made;
    made.cellIndex = at - cellEnds_.begin();
    made.fileNumber = plan_.cells.at(made.cellIndex).input.firstFile + index -
                      (made.cellIndex == 0 ? 0 : cellEnds_.at(made.cellIndex - 1));
    return made;
}

// Out of memory, the file fails as one the disk refused; what it had taken
// is freed by then, so the run can log it and end with its summary.
Made CellRun::makeWithinMemory(qint64 index) const
{
    try {
        return make(index);
    } catch (const std::bad_alloc &) {
        Made failed = placed(index);
        failed.prepared.error = ENOMEM;
        return failed;
    }
}

// On a worker: generates file `index` of the run and writes it unnamed, in
// every format; a file already there is judged against what the run makes.
Made CellRun::make(qint64 index) const
{
    Made made = placed(index);
    const Cell &cell = plan_.cells.at(made.cellIndex);
    const BatchInput &in = cell.input;
    made.taken = takenName(made.fileNumber, made.cellIndex);
    if (!made.taken.isEmpty() && !nameTaken(QDir(plan_.folder).filePath(fileName(made.fileNumber))))
        return made; // another format's name alone is taken: not this run's
    QElapsedTimer clock;
    clock.start();
    const MadeInstance instance = makeInstance(in, made.fileNumber, cell.rules.rules);
    made.provenance = instance.provenance;
    made.lowerBound = instance.bound.cost;
    made.lowerBoundText = instance.bound.text();
    made.witnessCost = instance.witnessCost;
    if (!instance.fault.isEmpty()) {
        made.fault = instance.fault;
        return made;
    }
    if (made.taken.isEmpty()) {
        made.bytes = instance.text.size();
        made.prepared = prepare(plan_.folder, instance.text, made.pending);
    } else if (!holdsExactly(QDir(plan_.folder).filePath(made.taken), instance.text))
        return made;
    else {
        made.own = true; // nothing to write for its text file
        made.prepared.status = Published::Written;
    }
    prepareExtras(made, instance);
    made.milliseconds = clock.elapsed();
    return made;
}

// The instance's other formats: each written unnamed, or, for the run's own
// instance, compared with the file of that name when there is one.
void CellRun::prepareExtras(Made &made, const MadeInstance &instance) const
{
    const InstanceFacts facts{made.provenance.measured, instance.bound.cost,
                              fileName(made.fileNumber)};
    const Cell &cell = plan_.cells.at(made.cellIndex);
    for (const QString &suffix : extras_.at(made.cellIndex)) {
        if (made.prepared.status != Published::Written)
            return;
        const QByteArray extra = suffix == witnessSuffix(cell.input.rules)
                                     ? instance.witnessText
                                     : exportFile(suffix, instance.instance, facts, cell.rules);
        const QString path = QDir(plan_.folder).filePath(extraName(made.fileNumber, suffix));
        if (made.own && nameTaken(path)) {
            if (holdsExactly(path, extra))
                continue;
            made.own = false; // a stranger beside the run's text file
            made.taken = extraName(made.fileNumber, suffix);
            return;
        }
        made.bytes += extra.size();
        made.extras.emplace_back();
        made.extraSuffixes.append(suffix);
        made.prepared = prepare(plan_.folder, extra, made.extras.back());
    }
}

// Takes file `index` into the group, which is published when it is full;
// false once the run has stopped.
bool CellRun::take(qint64 index, Made made)
{
    if (group_.empty())
        groupClock_.start();
    if (plan_.design && index == cellStart_) {
        // The cell's heading waits in the group before its first file, so
        // the log stays in file order.
        const Cell &cell = plan_.cells.at(cellIndex_);
        Made cellLine;
        cellLine.logLine = QStringLiteral("cell %1 ").arg(cell.number) + inputsLine(cell.input);
        group_.push_back(std::move(cellLine));
        cellStart_ += cell.input.files;
        ++cellIndex_;
    }
    groupBytes_ += made.bytes;
    group_.push_back(std::move(made));
    if (int(group_.size()) >= maxGroup_ || groupBytes_ >= GroupBytes ||
        groupClock_.elapsed() >= GroupMilliseconds)
        publishGroup();
    consumed_ = index + 1;
    progress_->advance(consumed_);
    if (stopped_.isEmpty() && interruptSignal() != 0) {
        stopped_ = QStringLiteral("interrupted");
        report_.interrupted = true;
    }
    return stopped_.isEmpty();
}

// One sync makes the group durable; then each file gets its name and its
// log line, in file order.
void CellRun::publishGroup()
{
    std::vector<PendingFile *> pending;
    for (Made &made : group_)
        if (made.logLine.isEmpty() && (made.taken.isEmpty() || made.own) &&
            made.prepared.status == Published::Written) {
            if (!made.own)
                pending.push_back(&made.pending);
            for (PendingFile &extra : made.extras)
                pending.push_back(&extra);
        }
    const PublishResult synced = syncFiles(pending, true);
    for (Made &made : group_) {
        if (!made.logLine.isEmpty())
            log_.line(made.logLine);
        else if (!stopped_.isEmpty() && !report_.interrupted)
            ++report_.notStarted; // made before the disk filled up; dropped unnamed
        else
            publishFile(made, synced);
    }
    if (!pending.empty())
        syncFolder(plan_.folder);
    group_.clear();
    groupBytes_ = 0;
}

void CellRun::publishFile(Made &made, const PublishResult &synced)
{
    QString failedName = fileName(made.fileNumber);
    PublishResult result = made.prepared;
    if (!made.taken.isEmpty() && !made.own)
        result.status = Published::Exists;
    else if (result.status == Published::Written && synced.status != Published::Written)
        result = synced;
    else if (result.status == Published::Written && !made.own)
        result = giveName(made.pending, failedName);
    for (std::size_t e = 0; result.status == Published::Written && e < made.extras.size(); ++e) {
        failedName = extraName(made.fileNumber, made.extraSuffixes.at(qsizetype(e)));
        result = giveName(made.extras[e], failedName);
        // The text file stands; the instance lacks a format.
        if (result.status == Published::Exists)
            result = PublishResult{Published::Failed, EEXIST};
    }
    record(made, result, failedName);
}

// The file's log line and manifest row, or why it has none.
void CellRun::record(const Made &made, const PublishResult &result, const QString &failedName)
{
    const Cell &cell = plan_.cells.at(made.cellIndex);
    const QString name = fileName(made.fileNumber);
    if (!made.fault.isEmpty()) {
        ++report_.failed;
        error(name + QStringLiteral(" not written: ") + made.fault);
        return;
    }
    switch (result.status) {
    case Published::Written:
        ++(made.own ? report_.kept : report_.written);
        log_.line(
            name +
            (made.own ? QStringLiteral(" kept (already there as this run writes it)") : QString()) +
            QStringLiteral(" seed %1%2 lowerBound %3 largest deviation %4 time %5 ms%6")
                .arg(made.provenance.fileSeed)
                .arg(measuredText(made.provenance.measured), made.lowerBoundText)
                .arg(largestDeviation(made.provenance.measured, cell.input.targets), 0, 'f', 6)
                .arg(made.milliseconds)
                .arg(unreachedText(made.provenance.measured, cell.input.targets)));
        rows_.append(manifestRow(cell.input, cell.number, made.fileNumber, made.provenance.measured,
                                 made.lowerBound, made.witnessCost));
        break;
    case Published::Exists:
        ++report_.skipped;
        // Not the run's own file: left as it is, and out of the manifest.
        log_.line(name + QStringLiteral(" skipped: ") +
                  (made.taken.isEmpty() || made.taken == name ? QString() : made.taken + u' ') +
                  QStringLiteral("already exists, not as this run writes it; left out of the "
                                 "manifest"));
        break;
    case Published::Failed:
        ++report_.failed;
        error(failedName + QStringLiteral(" not written: ") + result.reason());
        // A full disk fails every file after, and so, most likely, does
        // memory that ran out: stop at the first.
        if (diskFull(result.error) || result.error == ENOMEM)
            stopped_ = result.reason();
        break;
    }
}

void CellRun::writeManifestAndFigure()
{
    if (rows_.isEmpty())
        return;
    const QString manifest = publishListing(plan_.manifestFile, manifestText(rows_, plan_.stamp));
    const QString figure = publishListing(plan_.figureFile, svgPlot(rows_));
    if (!manifest.isEmpty() || !figure.isEmpty()) {
        syncFolder(plan_.folder);
        log_.line(QStringLiteral("written: %1 %2").arg(manifest, figure).simplified());
    }
}

// mzn-bench's list names every instance the manifest lists, in dzn, each
// under its cell's rules.
void CellRun::listForBenchmarks()
{
    if (!(options_.formats & DznFormat) || rows_.isEmpty() || !options_.listDzn)
        return;
    QHash<qint64, qint64> cellAt; // a cell's number to its place in the run
    for (qint64 c = 0; c < plan_.cells.size(); ++c)
        cellAt.insert(plan_.cells.at(c).number, c);
    QList<const RulesChoice *> rules;
    QList<QStringList> names;
    for (const ManifestRow &row : rows_) {
        const RulesChoice &cellRules = plan_.cells.at(cellAt.value(row.cell)).rules;
        qsizetype at = 0;
        while (at < rules.size() && rules.at(at)->label != cellRules.label)
            ++at;
        if (at == rules.size()) {
            rules.append(&cellRules);
            names.append(QStringList());
        }
        names[at] << extraName(row.fileNumber, QStringLiteral("dzn"));
    }
    for (qsizetype at = 0; at < rules.size(); ++at) {
        QString why;
        QStringList left;
        if (options_.listDzn(plan_.folder, names.at(at), *rules.at(at), why, left))
            log_.line(QStringLiteral("listed in %1 under rules %2")
                          .arg(QStringLiteral("instances.csv"), rules.at(at)->label));
        else
            error(QStringLiteral("instances.csv not written: ") + why);
    }
}

// Publishes the manifest or figure beside the files; the name written, or
// none when nothing was: a rerun that changed nothing finds its listing
// there already and leaves no copy of it.
QString CellRun::publishListing(const QString &name, const QByteArray &bytes)
{
    QString why;
    bool already = false;
    const QString written = publishOnce(plan_.folder, name, bytes, why, &already);
    if (already) {
        log_.line(name + QStringLiteral(" is already there as this run writes it"));
        return QString();
    }
    if (written.isEmpty()) {
        error(name + QStringLiteral(" not written: ") + why);
        ++report_.unrecorded;
    }
    return written;
}

void CellRun::error(const QString &text)
{
    if (progress_)
        progress_->interrupt();
    log_.error(text);
}

void CellRun::summarise()
{
    log_.line(QStringLiteral("summary: %1 written, %2 kept, %3 skipped, %4 failed, %5 not started, "
                             "%6 s")
                  .arg(report_.written)
                  .arg(report_.kept)
                  .arg(report_.skipped)
                  .arg(report_.failed)
                  .arg(report_.notStarted)
                  .arg(static_cast<double>(runClock_.elapsed()) / 1000.0, 0, 'f', 3) +
              (stopped_.isEmpty() ? QString() : QStringLiteral("; stopped: ") + stopped_));
}

} // namespace keldar::generator::cells

#pragma once

// A batch or design run's cells made, published and recorded; batch.cpp
// plans them, cellrun.cpp runs them.
#include "generator/files/instancefile.h"
#include "generator/publish/diskspace.h"
#include "generator/publish/outputlog.h"
#include "generator/publish/publish.h"
#include "generator/run/batch.h"
#include "generator/run/manifest.h"
#include "generator/run/ownfiles.h"
#include "generator/run/progress.h"
#include "generator/solve/rulesets.h"

#include <QElapsedTimer>

#include <optional>
#include <vector>

namespace keldar::generator::cells {

// One cell of a run: the batch that makes it, its number in the design, and
// its rules (for its planted rosters, SSB files and benchmark list).
struct Cell {
    BatchInput input;
    qint64 number = 1;
    RulesChoice rules;
};

// A file as a worker leaves it: generated and written, not yet named.
struct Made {
    QString logLine; // when set, no file: a line the log takes in its place
    qint64 cellIndex = 0;
    qint64 fileNumber = 0;
    QString taken; // the name that existed before the file was made
    // The taken names are exactly what this run writes: the instance is the
    // run's own, left as it is and listed; formats it lacks are added.
    bool own = false;
    PendingFile pending;
    PublishResult prepared;
    QString fault; // the instance could not be made as it must be: nothing published
    // The instance in its other formats, named after its text file.
    std::vector<PendingFile> extras;
    QStringList extraSuffixes; // of `extras`, in the same order
    std::optional<std::int64_t> lowerBound;
    QString lowerBoundText;
    std::optional<std::int64_t> witnessCost;
    Provenance provenance;
    qint64 bytes = 0;
    qint64 milliseconds = 0;
};

// Files wait here, unnamed, until one sync makes the whole group durable;
// then they get their names and their log lines, in file order.  Many small
// files then cost little more than writing their bytes.  A group holds at
// most GroupFiles (limits.h), fewer when descriptors are scarce.
struct RunPlan {
    QList<Cell> cells;
    QString folder;
    bool design = false;
    QStringList heading; // the log lines after the section's first
    QString manifestFile;
    QString figureFile;
    std::optional<ShardStamp> stamp; // a shard's manifest carries it
};

// One run of cells: plan (cellplan.cpp), make, publish, record.  Workers make files in any
// order; this object takes them in file order on the calling thread.
class CellRun
{
public:
    CellRun(const RunPlan &plan, const QString &fallbackLogDir, QTextStream *errors,
            const RunOptions &options);
    BatchReport run();

private:
    void openLog();
    QString takenName(qint64 k, qint64 cellIndex) const;
    void plan();
    void copyRules();
    void checkRoom(double expected, const DiskSpace &space);
    void tellPlan(const BatchVerdict &verdict) const;
    void checkMemory();
    void makeAll();
    Made placed(qint64 index) const;
    Made make(qint64 index) const;
    Made makeWithinMemory(qint64 index) const;
    void prepareExtras(Made &made, const MadeInstance &instance) const;
    bool take(qint64 index, Made made);
    void publishGroup();
    void publishFile(Made &made, const PublishResult &synced);
    void record(const Made &made, const PublishResult &result, const QString &failedName);
    void writeManifestAndFigure();
    void listForBenchmarks();
    QString publishListing(const QString &name, const QByteArray &bytes);
    void error(const QString &text);
    void summarise();

    const RunPlan &plan_;
    const RunOptions &options_;
    QList<QStringList> extras_; // each cell's suffixes beside the text file
    OutputLog log_;
    BatchReport report_;
    QElapsedTimer runClock_;
    QString stopped_;
    qint64 total_ = 0;
    QList<qint64> cellEnds_; // files before the end of each cell
    std::optional<ProgressLine> progress_;
    QList<ManifestRow> rows_;
    std::vector<Made> group_;
    qint64 groupBytes_ = 0;
    QElapsedTimer groupClock_;
    int maxGroup_ = 1;
    qint64 peak_ = 0; // bytes the largest instance takes while it is made
    qint64 consumed_ = 0;
    qint64 cellIndex_ = 0; // the next cell whose heading the log takes
    qint64 cellStart_ = 0; // its first file's index in the run
};

} // namespace keldar::generator::cells

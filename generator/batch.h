#pragma once

#include "generator/design.h"
#include "generator/exportformats.h"
#include "generator/inputreader.h"

#include <QString>
#include <QTextStream>
#include <cstdio>

namespace keldar::generator {

// Whether a missing input-data file still gets its read mark.  The app waits
// for the mark beside the file it wrote, even when that file has vanished;
// run by hand on a mistyped name, no mark should appear beside nothing.
enum class MarkMissing { Yes, No };

// Reads an input-data file whole, leaves the read mark with this process's
// id beside it (also when the file cannot be read, unless told otherwise),
// then checks it.
ReadResult loadInput(const QString &path, MarkMissing markMissing = MarkMissing::Yes);

// Appends a section naming a refused input-data file and why to output.log:
// in the folder of its line 14 when that is known and usable, otherwise in
// fallbackLogDir.  Also written to `errors` when given.
void logRefusal(const QString &inputPath, const ReadResult &refusal, const QString &fallbackLogDir,
                QTextStream *errors = nullptr);

struct BatchReport {
    qint64 written = 0;
    qint64 skipped = 0;
    qint64 failed = 0;
    qint64 notStarted = 0; // after a full disk, or when the batch cannot fit
    bool allWritten() const { return skipped == 0 && failed == 0 && notStarted == 0; }
};

// How a run goes: threads, and the terminal stream for the progress line.
struct RunOptions {
    int jobs = 1;                  // 0: one thread per core
    std::FILE *progress = nullptr; // drawn there only when it is a terminal
    // Each instance is also written in these formats beside its text file.
    ExportFormats formats = TextFormat;
};

// Writes the batch's instance files into the target folder and appends a
// section to its output.log; when the folder or its output.log cannot be used
// the log goes to fallbackLogDir.  Errors are also written to `errors` when
// given.  Beside the files: manifest.csv and the figure batch.svg.  A batch
// that cannot fit on the disk is not started; one that fills it stops at the
// first file that does not fit.
BatchReport runBatch(const BatchInput &input, const QString &fallbackLogDir,
                     QTextStream *errors = nullptr, const RunOptions &options = {});

// A design, or the cells of it a shard makes (1-based shard of shards).
struct DesignRun {
    QString designPath; // for the log
    int shard = 1;
    int shards = 1;
};

// Writes the cells' files into `folder` in file order, one log section, one
// manifest and one figure (design.svg) for them all.  Each file is the one
// the cell's batch alone would write.
BatchReport runDesign(const Design &design, const QString &folder, const DesignRun &run,
                      const QString &fallbackLogDir, QTextStream *errors = nullptr,
                      const RunOptions &options = {});

// The names a run gives its manifest and figure ("manifest.csv", "design.svg";
// a shard's carry "shard-I-of-N").
QString manifestName(int shard = 1, int shards = 1);
QString figureName(bool design, int shard = 1, int shards = 1);

// Joins the manifests of a sharded design's runs, found in `folders`, into
// manifest.csv and design.svg in the first folder.  Refuses shards missing,
// doubled or of another design; 0 on success, 2 on a refusal.
int mergeShards(const QStringList &folders, QTextStream &out, QTextStream &errors);

} // namespace keldar::generator

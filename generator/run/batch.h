#pragma once

#include "generator/files/exportformats.h"
#include "generator/input/design.h"
#include "generator/input/inputreader.h"
#include "generator/solve/rulesets.h"

#include "generator/input/handshake.h"

#include <QString>
#include <QTextStream>
#include <cstdio>
#include <functional>
#include <optional>

namespace keldar::generator {

struct BatchReport {
    qint64 written = 0;
    qint64 kept = 0; // there already, exactly as the run writes them
    qint64 skipped = 0;
    qint64 failed = 0;
    qint64 notStarted = 0;    // after a full disk, or when the batch cannot fit
    int unrecorded = 0;       // the manifest or the figure could not be written
    bool interrupted = false; // a signal asked the run to stop
    bool allWritten() const
    {
        return skipped == 0 && failed == 0 && notStarted == 0 && unrecorded == 0 && !interrupted;
    }
};

// How a run goes: threads, and the terminal stream for the progress line.
struct RunOptions {
    int jobs = 1;                  // 0: one thread per core
    std::FILE *progress = nullptr; // drawn there only when it is a terminal
    // Each instance is also written in these formats beside its text file.
    ExportFormats formats = TextFormat;
    // Told, once the run has looked at the folder and the disk, whether it
    // goes ahead and how many files it has to write.
    std::function<void(const BatchVerdict &)> planned = {};
    // The rules of the SSB files and of the benchmark list beside the dzn,
    // where a design's cells carry none of their own.
    RulesChoice rules = {};
    // Lists the dzn files written for the field's benchmark tools (the
    // program passes listForBenchmark); none: no list.  False, with the
    // reason, when the list could not be completed.
    std::function<bool(const QString &folder, const QStringList &dznNames, const RulesChoice &rules,
                       QString &why, QStringList &left)>
        listDzn = {};
};

// Writes the batch's instance files into the target folder and appends a
// section to its output.log; when the folder or its output.log cannot be used
// the log goes to fallbackLogDir.  Errors are also written to `errors` when
// given.  Beside the files: manifest.csv and the figure batch.svg, and with
// the dzn, mzn-bench's instances.csv.  A batch that cannot fit on the disk,
// or whose instance cannot fit in memory, is not started; one that fills
// either stops at the first file that does not fit.
BatchReport runBatch(const BatchInput &input, const QString &fallbackLogDir,
                     QTextStream *errors = nullptr, const RunOptions &options = {});

// A design, or the cells of it a shard makes (1-based shard of shards).
struct DesignRun {
    QString designPath; // for the log
    int shard = 1;
    int shards = 1;
    // The design's rules levels as read, in its order; none: every cell
    // takes the options' rules.
    QList<RulesChoice> rules;
};

// The design's rules levels, each read as --rules reads it (a file named
// relative to the design file's folder); a design with a slack but no rules
// key has the one level "none".  Nothing, with the reason, when a level is
// refused, two share a label, or a cell with a slack has rules no nurse can
// keep over its days.
std::optional<QList<RulesChoice>> designRules(const Design &design, const QString &designPath,
                                              QString &why);

// Writes the cells' files into `folder` in file order, one log section, one
// manifest and one figure (design.svg) for them all.  Each file is the one
// the cell's batch alone would write.
BatchReport runDesign(const Design &design, const QString &folder, const DesignRun &run,
                      const QString &fallbackLogDir, QTextStream *errors = nullptr,
                      const RunOptions &options = {});

} // namespace keldar::generator

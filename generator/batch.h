#pragma once

#include "generator/exportformats.h"
#include "generator/inputreader.h"

#include <QString>
#include <QTextStream>

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

// Writes the batch's instance files into the target folder and appends a
// section to its output.log; when the folder or its output.log cannot be used
// the log goes to fallbackLogDir.  Errors are also written to `errors` when
// given.  A batch that cannot fit on the disk is not started; one that fills
// it stops at the first file that does not fit.
// Each instance is also written in the other `formats` beside its text file.
BatchReport runBatch(const BatchInput &input, const QString &fallbackLogDir,
                     QTextStream *errors = nullptr, ExportFormats formats = TextFormat);

} // namespace keldar::generator

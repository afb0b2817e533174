#pragma once

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

// How many instance files were forced to disk before their rename since the
// program started; lets tests see that no file skips it.
qint64 instanceFilesSynced();

struct BatchReport {
    qint64 written = 0;
    qint64 skipped = 0;
    qint64 failed = 0;
    bool allWritten() const { return skipped == 0 && failed == 0; }
};

// Writes the batch's instance files into the target folder and appends a
// section to its output.log; when the folder or its output.log cannot be used
// the log goes to fallbackLogDir.  Errors are also written to `errors` when given.
BatchReport runBatch(const BatchInput &input, const QString &fallbackLogDir,
                     QTextStream *errors = nullptr);

} // namespace keldar::generator

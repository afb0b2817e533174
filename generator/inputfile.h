#pragma once

#include "generator/inputreader.h"

#include <QString>
#include <QTextStream>

// The input-data file on disk: read whole, marked as read for the app that
// waits on the mark, and refused with a section in output.log.
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

} // namespace keldar::generator

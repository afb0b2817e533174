#pragma once

#include "generator/input/handshake.h"
#include "generator/input/inputreader.h"

#include <QString>
#include <QTextStream>

// The input-data file on disk: read whole, marked as read for the app that
// waits on the mark, and refused with a section in output.log.
namespace keldar::generator {

// Whether the generator marks the input-data file once it has read it.  The
// app starts it without a file name and waits for the mark, even beside a
// file that has vanished; run by hand on a named file nobody waits, and a
// mark would take a name that may be a file of the user's.
enum class ReadMark { Leave, Omit };

// Reads an input-data file whole (a FIFO or device is refused at once, never
// waited on) and checks it.  When asked, a file that cannot be read or is
// refused gets the read mark with this process's id and the refusal beside
// it; an accepted one gets it from the run (leaveReadMark), once it knows
// how many files it will write.
ReadResult loadInput(const QString &path, ReadMark readMark = ReadMark::Leave);

// Leaves the read mark beside the input-data file: this process's id and
// its verdict on the batch.
void leaveReadMark(const QString &inputPath, const BatchVerdict &verdict);

// Appends a section naming a refused input-data file and why to output.log:
// in the folder of its line 14 when that is known and there (it is never
// made for a refused file), otherwise in fallbackLogDir.  Also written to `errors` when given.
void logRefusal(const QString &inputPath, const ReadResult &refusal, const QString &fallbackLogDir,
                QTextStream *errors = nullptr);

} // namespace keldar::generator

#pragma once

#include "generator/inputreader.h"

#include <QString>
#include <QTextStream>

namespace keldar::generator {

// Reads an input-data file whole, leaves the read mark beside it (also when
// the file cannot be read, so the app never waits in vain), then checks it.
ReadResult loadInput(const QString &path);

struct BatchReport {
    qint64 written = 0;
    qint64 skipped = 0;
    qint64 failed = 0;
    bool allWritten() const { return skipped == 0 && failed == 0; }
};

// Writes the batch's instance files into the target folder and appends a
// section to its output.log; when the folder cannot be used the log goes to
// fallbackLogDir.  Errors are also written to `errors` when given.
BatchReport runBatch(const BatchInput &input, const QString &fallbackLogDir,
                     QTextStream *errors = nullptr);

} // namespace keldar::generator

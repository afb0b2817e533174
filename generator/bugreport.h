#pragma once

#include <QString>
#include <QTextStream>

namespace keldar::generator {

// --bug-report [DIR]: one file to attach to a problem report, written
// beside what it describes (keldar-bug-report.txt, never replacing one):
// the version and build, the system, DIR's input-data file and read mark,
// and the last section of its output.log.  Paths are left out but for the
// folder's own name.  Returns the exit status.
int writeBugReport(const QString &folder, QTextStream &out, QTextStream &err);

} // namespace keldar::generator

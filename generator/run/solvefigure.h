#pragma once

#include "generator/run/solutions.h"

#include <QTextStream>

namespace keldar::generator {

// solutions.svg for the rows under one label, with the targets of the
// folder's manifests, beside the CSV unless the same figure is there; its
// path on `out` when written.
void drawSolutionsFigure(const QString &folder, const QList<SolutionRow> &rows,
                         const QString &label, QTextStream &out, QTextStream &err);

} // namespace keldar::generator

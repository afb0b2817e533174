#pragma once

#include "generator/solving/solutions.h"

#include <QTextStream>

namespace keldar::generator {

// The figure: for each indicator, one bar per target level with the shares
// of optimal, feasible, infeasible and unknown and the median gap.
QByteArray solutionsSvg(const QList<SolutionRow> &rows, const QString &rules,
                        const QHash<QString, Indicators> &targetsByFile);

// solutions.svg for the rows under one label, with the targets of the
// folder's manifests, beside the CSV unless the same figure is there; its
// path on `out` when written.
void drawSolutionsFigure(const QString &folder, const QList<SolutionRow> &rows,
                         const QString &label, QTextStream &out, QTextStream &err);

} // namespace keldar::generator

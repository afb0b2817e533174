#pragma once

#include "generator/run/manifest.h"

#include <QByteArray>
#include <QList>

namespace keldar::generator {

struct PlotCounts {
    qint64 files = 0;
    qint64 cells = 0;
    qint64 met = 0;
    qint64 nearest = 0; // files with some value at the nearest reachable instead
};

PlotCounts plotCounts(const QList<ManifestRow> &rows);

// An SVG figure of the files: one panel per indicator, each file's deviation
// from its target against the target, the tolerance band shaded and the
// misses drawn apart, under a title line with the counts.  Every panel holds
// one mark per file, in groups of class "marks met" and "marks miss".
QByteArray svgPlot(const QList<ManifestRow> &rows);

// A coordinate for SVG: one decimal, finer than any screen or print needs.
QByteArray svgNumber(double value);

// Text for SVG, with XML's special characters escaped.
QByteArray svgEscaped(const QByteArray &text);

} // namespace keldar::generator

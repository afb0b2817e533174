#pragma once

#include "generator/input/indicators.h"
#include "generator/input/inputreader.h"

#include <QString>

// The names a run gives its files and the texts of its log lines.
namespace keldar::generator {

// instance_<k>.txt, and the same instance in another format.
QString fileName(qint64 fileNumber);
QString extraName(qint64 fileNumber, const QString &suffix);

// The names a run gives its manifest and figure ("manifest.csv", "design.svg";
// a shard's carry "shard-I-of-N").
QString manifestName(int shard = 1, int shards = 1);
QString figureName(bool design, int shard = 1, int shards = 1);

// A batch's inputs as its log section states them.
QString inputsLine(const BatchInput &in);

// The six measured indicators, each after its name.
QString measuredText(const Indicators &measured);

// Names each target the file misses by more than the tolerance; the value
// reached is the nearest the search found.
QString unreachedText(const Indicators &measured, const Indicators &targets);

} // namespace keldar::generator

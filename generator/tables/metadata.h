#pragma once

#include <QString>
#include <QTextStream>

namespace keldar::generator {

// --metadata DIR: metadata.csv and options.json for an instance-space
// analysis under one rule set (`rules`, or the only one the folder's
// solutions.csv, solutions.gecode.csv and scores.csv hold rows under): one
// row per instance the folder's manifests list, its features (none that is
// the same for every instance) and one algo_<name> column per algorithm
// (cbc, gecode and each one scored), a penalty wherever a run proved
// nothing, a roster is not feasible or a row is missing.  Published beside
// them, never replacing a file.  Returns 0, 1 when a feature could not be
// found (its column left out) or a file not written, 2 when the folder has
// no manifest, one of its tables is refused, the rule set is not one (or
// not the only one) there, or two algorithms would share a column (nothing
// written).
int writeMetadata(const QString &folder, const QString &rules, QTextStream &out, QTextStream &err);

} // namespace keldar::generator

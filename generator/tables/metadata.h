#pragma once

#include <QString>
#include <QTextStream>

namespace keldar::generator {

// --metadata DIR: metadata.csv for an instance-space analysis, one row per
// instance the folder's manifests list, with the features of the manifests
// and, for each rule set of the folder's solutions.csv, demand against the
// capacity the rules allow and CBC's seconds.  Published beside them,
// never replacing a file.  Returns 0, 1 when some value could not be
// found (left empty), 2 when the folder has no manifest or one is refused
// (nothing written).
// `rules` names the rule set whose solutions and scores give the algo_
// columns; empty: the one the folder was solved under.
int writeMetadata(const QString &folder, const QString &rules, QTextStream &out,
                  QTextStream &err);

} // namespace keldar::generator

#pragma once

#include <QStringList>
#include <QTextStream>

namespace keldar::generator {

// --merge: joins the folders' solutions.shard-I-of-N.csv into
// solutions.csv in the first folder.  Returns the exit status, or -1 when
// there is no shard CSV at all.
int mergeSolutionShards(const QStringList &folders, QTextStream &out, QTextStream &err);

} // namespace keldar::generator

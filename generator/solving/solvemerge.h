#pragma once

#include <QStringList>
#include <QTextStream>

namespace keldar::generator {

// --merge: joins the folders' solutions.shard-I-of-N.csv into
// solutions.csv in the first folder, once each row is proven: one split,
// every shard there unless it covers no instance, a row for each instance
// of its shard under each label and no other, one time limit and the
// folder's rules copy per label, and each roster a file of the folder that
// keeps those rules at the row's cost.  A refusal writes nothing; the same
// rows merged again write no copy.  Returns the exit status, or -1 when
// there is no shard CSV at all.
int mergeSolutionShards(const QStringList &folders, QTextStream &out, QTextStream &err);

} // namespace keldar::generator

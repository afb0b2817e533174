#pragma once

#include <QStringList>
#include <QTextStream>

namespace keldar::generator {

// Joins the manifests of a sharded design's runs, found in `folders`, into
// manifest.csv and design.svg in the first folder, as one unsplit run writes
// them.  Each shard's manifest that lists all its files is taken; every row
// is proven against the instance file beside it.  Refuses, writing nothing,
// shards missing, doubled, incomplete or of another design, rows for files
// not there or not as the row says, files listed twice; 0 on success, 2 on
// a refusal.
int mergeShards(const QStringList &folders, QTextStream &out, QTextStream &errors);

} // namespace keldar::generator

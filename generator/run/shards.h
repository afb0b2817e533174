#pragma once

#include <QStringList>
#include <QTextStream>

namespace keldar::generator {

// Joins the manifests of a sharded design's runs, found in `folders`, into
// manifest.csv and design.svg in the first folder.  Refuses shards missing,
// doubled or of another design; 0 on success, 2 on a refusal.
int mergeShards(const QStringList &folders, QTextStream &out, QTextStream &errors);

} // namespace keldar::generator

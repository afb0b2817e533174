#pragma once

#include "generator/solve/rulesets.h"

#include <QStringList>
#include <QTextStream>

namespace keldar::generator {

struct SolveOptions {
    RulesChoice rules;
    double timeLimit = 60; // seconds per instance
    int jobs = 1;          // instances solved at once, each on one thread
    int shard = 1;
    int shards = 1;
};

// --solve PATH...: solves each instance file (a folder stands for its
// instance_<k>.txt) under the rules, writes the roster found beside it and a
// row to the folder's solutions.csv, and draws solutions.svg.  An instance
// with a row for these rules already, or being solved by another run, is
// passed over.  Returns the exit status: 0 when every instance has its row,
// 1 when some has none (interrupted, claimed elsewhere, not written), 2 when
// a path or a CSV there is refused.
int solveInstances(const QStringList &paths, const SolveOptions &options, QTextStream &out,
                   QTextStream &err);

// --merge: joins the folders' solutions.shard-I-of-N.csv into
// solutions.csv in the first folder.  Returns the exit status, or -1 when
// there is no shard CSV at all.
int mergeSolutionShards(const QStringList &folders, QTextStream &out, QTextStream &err);

} // namespace keldar::generator

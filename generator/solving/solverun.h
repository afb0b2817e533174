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
    qint64 setSize = 0; // instances the shards split, all paths together
    // "cbc", or "gecode": the reference model through MiniZinc, its rows in
    // solutions.gecode.csv and its rosters instance_<k>.<rules>.gecode.roster.
    QString solver = QStringLiteral("cbc");
};

// --solve PATH...: solves each instance file (a folder stands for its
// instance_<k>.txt) under the rules, writes the roster found beside it and a
// row to the folder's solutions.csv (Gecode's: solutions.gecode.csv), and draws
// solutions.svg from CBC's rows.  An instance
// with a row for these rules already, or being solved by another run, is
// passed over.  SIGINT, SIGTERM and SIGHUP stop the search in hand, which
// gets no row.  Returns the exit status: 0 when every instance has its row,
// 1 when some has none (interrupted, held elsewhere, not written), 2 when a
// path, the rules or a CSV there is refused.
int solveInstances(const QStringList &paths, const SolveOptions &options, QTextStream &out,
                   QTextStream &err);

} // namespace keldar::generator

#pragma once

#include "generator/solving/instanceset.h"
#include "generator/solving/solverun.h"

#include <QProcess>
#include <QString>
#include <QTextStream>

#include <memory>
#include <vector>

namespace keldar::generator {

// What became of one instance in one process of a solving run.
enum class SolveDone { Solved, AlreadySolved, Held, Failed, Interrupted };

// What one process did with each instance, in file order.
struct SolveTally {
    std::vector<SolveDone> done;
    std::vector<QString> notes; // who holds it, why it failed
};

// Whether this process is a further job a run started.
bool isSolveHelper();

// --jobs as asked, but no more processes than instances, nor than the
// memory holds; says so on `err` when it lowers them.
int solveJobs(const SolveOptions &options, const QList<InstanceTask> &tasks, QTextStream &err);

// CBC's driver keeps global state, so a process solves one instance at a
// time: further jobs are further processes of this program on the same
// paths, which the claims and the locked appends keep apart as they do runs
// side by side.  Gecode's runs go the same way, each job with its MiniZinc.
std::vector<std::unique_ptr<QProcess>> startSolveHelpers(const QStringList &paths,
                                                         const SolveOptions &options, int jobs);

// Waits for the helpers, passing a stop on to them once, and adds what each
// reports to the tally: an instance one of them solved is solved.
void finishSolveHelpers(std::vector<std::unique_ptr<QProcess>> &helpers, SolveTally &tally);

// A helper's report to the run that started it: a line per instance.
void reportToParent(const SolveTally &tally, QTextStream &out);

} // namespace keldar::generator

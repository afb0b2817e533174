#pragma once

#include "generator/solve/mipsolve.h"

#include <QString>
#include <optional>

namespace keldar::generator {

// Why Gecode cannot be run through MiniZinc here: no `minizinc` on PATH, or
// none of its solvers is Gecode.  Nothing when it can.
std::optional<QString> gecodeMissing();

// Solves the instance under the rules with the reference model
// (shippedModelPath()) through MiniZinc and Gecode, a child process on one
// thread, within the time limit on the wall clock: MiniZinc is given the
// limit, and ended a little after it when it overruns.  A verdict comes only
// from MiniZinc's own words on a search that ran to its end: `optimal` when
// it says the search is complete, `infeasible` when it says unsatisfiable;
// a roster without them is `feasible`, anything else `unknown`.  Every
// roster is put to checkRoster, and one that fails it, or a verdict that the
// rule-free bound refutes, gives `unknown` with the reason in `error`, never
// a claim.  Gecode proves no bound: the bound is the cost when optimal, none
// otherwise.  `stop` is asked every 50 ms and ends the child at once.
SolveOutcome solveWithGecode(const Instance &instance, const Rules &rules, double timeLimitSeconds,
                             const StopRequest &stop = {}, QString *error = nullptr);

} // namespace keldar::generator

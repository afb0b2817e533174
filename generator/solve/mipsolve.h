#pragma once

#include "generator/instance/instance.h"
#include "generator/solve/roster.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace keldar::generator {

struct SolveOutcome {
    enum Status {
        Optimal,    // roster of least cost, proven
        Feasible,   // a roster, not proven of least cost in the time
        Infeasible, // proven that no roster keeps the coverage and rules
        Unknown,    // no roster found and none ruled out in the time
    };
    Status status = Unknown;
    std::optional<std::int64_t> cost;  // the roster's, when there is one
    std::optional<std::int64_t> bound; // proven lower bound; none when infeasible
    // [nurse][day] shift types 0..W, W free, as checkRoster reads it; empty
    // without a roster.
    std::vector<int> roster;
    double seconds = 0; // wall time spent
    // Stopped on request before the end: nothing above is a finding.
    bool interrupted = false;
};

// Asked between the steps of a solve and at CBC's events inside its search;
// true stops the solve within a moment.
using StopRequest = std::function<bool()>;

// "optimal", "feasible", "infeasible" or "unknown", as solutions.csv says.
const char *statusName(SolveOutcome::Status status);

struct MipModel;

// A model's optimum as CBC proves it within the time: the objective value,
// none when no solution was proven optimal.
std::optional<double> solveModel(const MipModel &model, double timeLimitSeconds);

// Solves the instance under the rules with CBC: on one thread, printing
// nothing, within the time limit on the wall clock.  A verdict (optimal,
// infeasible) comes only from a search that ended inside its time; one the
// limit or `stop` cut short is feasible or unknown.  Calls from several
// threads take turns inside CBC, whose driver keeps global state.
SolveOutcome solveInstance(const Instance &instance, const Rules &rules, double timeLimitSeconds,
                           const StopRequest &stop = {});

} // namespace keldar::generator

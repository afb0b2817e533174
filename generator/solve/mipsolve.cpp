#include "generator/solve/mipsolve.h"

#include "generator/solve/lowerbound.h"
#include "generator/solve/mipmodel.h"

#include <CbcEventHandler.hpp>
#include <CbcModel.hpp>
#include <CbcSolver.hpp>
#include <ClpEventHandler.hpp>
#include <ClpSimplex.hpp>
#include <ClpSolve.hpp>
#include <CoinMessageHandler.hpp>
#include <CoinPackedMatrix.hpp>
#include <OsiClpSolverInterface.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

namespace keldar::generator {

namespace {

using Clock = std::chrono::steady_clock;

// The share of the time the crew model may take; it mostly settles in a
// tenth of a second.
constexpr double CrewShare = 0.25;
// Less time than this is no time for CBC: its preprocessing, handed a
// sliver, runs no pass, returns nothing, and CBC then calls the model
// infeasible.
constexpr double LeastCbcSeconds = 0.05;
// The share of the time left that CBC is given, the rest for its lateness.
constexpr double LateShare = 0.9;
// Objective values within this of a whole number are that number.
constexpr double Tolerance = 1e-6;

// CbcMain1 keeps some of its state in statics, so solves take turns.
std::mutex cbcTurn;

class Deadline
{
public:
    explicit Deadline(double seconds) : seconds_(seconds) {}
    double elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }
    double left() const { return std::max(seconds_ - elapsed(), 0.0); }
    bool passed() const { return elapsed() >= seconds_; }

private:
    Clock::time_point start_ = Clock::now();
    double seconds_;
};

// When a solve stops early: on request, or when its whole time is spent
// (some of CBC's steps run past the limit it was given).
struct Stopping {
    const Deadline &deadline;
    const StopRequest &request;
    bool requested() const { return request && request(); }
    bool now() const { return requested() || deadline.passed(); }
};

// CBC's events come at every node, cut pass and heuristic of its search.
class StopEvents : public CbcEventHandler
{
public:
    explicit StopEvents(const Stopping &stopping) : stopping_(stopping) {}
    CbcAction event(CbcEvent) override { return stopping_.now() ? stop : noAction; }
    CbcEventHandler *clone() const override { return new StopEvents(*this); }

private:
    const Stopping &stopping_;
};

// CbcMain1 asks a plain function between its stages; it runs on the
// solving thread.
thread_local const Stopping *stagesStopping = nullptr;

int betweenStages(CbcModel *, int)
{
    return stagesStopping && stagesStopping->now() ? 1 : 0;
}

void loadModel(const MipModel &mip, OsiClpSolverInterface &solver)
{
    const int rows = mip.rows();
    std::vector<int> lengths(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r)
        lengths[std::size_t(r)] = mip.rowStart[std::size_t(r) + 1] - mip.rowStart[std::size_t(r)];
    const CoinPackedMatrix matrix(
        false, mip.columns(), rows, static_cast<CoinBigIndex>(mip.entryColumn.size()),
        mip.entryValue.data(), mip.entryColumn.data(), mip.rowStart.data(), lengths.data());
    const std::vector<double> lower(static_cast<std::size_t>(mip.columns()), 0.0);
    solver.messageHandler()->setLogLevel(0);
    solver.loadProblem(matrix, lower.data(), mip.upper.data(), mip.objective.data(),
                       mip.rowLower.data(), mip.rowUpper.data());
    for (int c = 0; c < mip.columns(); ++c)
        if (mip.integer[std::size_t(c)])
            solver.setInteger(c);
}

// Clp asks after every iteration of its simplex.
class StopIterations : public ClpEventHandler
{
public:
    explicit StopIterations(const Stopping &stopping) : stopping_(stopping) {}
    int event(Event what) override
    {
        return what == endOfIteration && stopping_.requested() ? 0 : -1;
    }
    ClpEventHandler *clone() const override { return new StopIterations(*this); }

private:
    const Stopping &stopping_;
};

// The relaxation by primal simplex: on these assignment-like models it takes
// a tenth of the time of the dual simplex CBC would start with (0.5 s
// against 6 s on 100 nurses over 28 days), and CBC goes on from its basis.
// Clp's own Ctrl-C handler is off: it would take the signal from the run and
// end the simplex as if its time were up.  The stop stays with the model,
// and with CBC's copies of it, for the search's own simplex runs; a stop
// discards whatever they then say.
void solveRelaxation(OsiClpSolverInterface &solver, double seconds, const Stopping &stopping)
{
    ClpSolve primal;
    primal.setSolveType(ClpSolve::usePrimal);
    primal.setSpecialOption(2, 1);
    solver.setSolveOptions(primal);
    ClpSimplex &clp = *solver.getModelPtr();
    const StopIterations stop(stopping);
    clp.passInEventHandler(&stop);
    clp.setMaximumWallSeconds(std::max(seconds, 0.001));
    solver.initialSolve();
    clp.setMaximumWallSeconds(-1);
}

// How CBC's run ended.  Its own status cannot tell a proof from a run out
// of time: preprocessing stopped by the limit reports the model infeasible
// with the status of a finished search.  CBC's clock starts after ours, so
// a run that ended before our clock reached the limit was not cut short.
struct CbcEnd {
    bool ran = false;      // CBC was given time at all
    bool finished = false; // the search ended by itself, inside its time
    bool searched = false; // the search began: CBC's bound is the tree's
};

// CBC's own sequence (preprocessing, cuts, heuristics, search) as its
// command line runs it, on one thread, silently, within the seconds.
CbcEnd runCbc(CbcModel &model, double seconds, const Stopping &stopping)
{
    CbcEnd end;
    if (seconds < LeastCbcSeconds || stopping.now())
        return end;
    const std::lock_guard<std::mutex> turn(cbcTurn);
    const Deadline clock(seconds);
    CbcSolverUsefulData data;
    CbcMain0(model, data);
    data.noPrinting_ = true;
    data.useSignalHandler_ = false;
    model.setLogLevel(0);
    model.messageHandler()->setLogLevel(0);
    model.solver()->messageHandler()->setLogLevel(0);
    const StopEvents events(stopping);
    model.passInEventHandler(&events);
    const std::string limit = std::to_string(seconds);
    // No thread besides this one, the limit on the wall clock, no log.  No
    // feasibility pump: on 100 nurses over 28 days it took a third of the
    // time, up to 10 s, for rosters the dives after it find in a moment;
    // without it those instances take 2 to 9 s instead of 3 to 30 s.
    std::vector<const char *> args{"keldar", "-threads", "0"};
    args.insert(args.end(), {"-timeMode", "elapsed", "-sec", limit.c_str()});
    args.insert(args.end(), {"-feasibilityPump", "off"});
    args.insert(args.end(), {"-log", "0", "-slog", "0", "-solve", "-quit"});
    stagesStopping = &stopping;
    CbcMain1(static_cast<int>(args.size()), args.data(), model, betweenStages, data);
    stagesStopping = nullptr;
    end.ran = true;
    end.finished =
        model.status() == 0 && !model.isSecondsLimitReached() && !clock.passed() && !stopping.now();
    end.searched = end.finished || model.status() == 1;
    return end;
}

// Whether the crew model rules out every roster, proven within the seconds.
bool crewRulesOut(const Instance &instance, const Rules &rules, double seconds,
                  const Stopping &stopping)
{
    const MipModel crew = buildCrewModel(instance, rules);
    if (crew.columns() == 0)
        return false;
    OsiClpSolverInterface solver;
    loadModel(crew, solver);
    CbcModel model(solver);
    return runCbc(model, seconds, stopping).finished && model.isProvenInfeasible();
}

// The least whole cost at or above a proven bound CBC or Clp reports.
std::int64_t wholeBound(double proven, std::int64_t floor)
{
    if (!std::isfinite(proven) || proven > 1e15)
        return floor;
    return std::max(floor, static_cast<std::int64_t>(std::ceil(proven - Tolerance)));
}

// What CBC found and proved, the bound never below the floor nor above the
// roster's cost.  Verdicts only from a search that ended inside its time.
void readOutcome(const CbcModel &model, const CbcEnd &end, const Instance &instance,
                 const Rules &rules, std::int64_t floor, SolveOutcome &outcome)
{
    if (end.finished && model.isProvenInfeasible()) {
        outcome.status = SolveOutcome::Infeasible;
        outcome.bound.reset();
        return;
    }
    // The roster is read off the columns rounded and costed exactly; one
    // CBC accepted only within its tolerances would not be kept.
    if (const double *best = model.bestSolution()) {
        const std::vector<int> roster = rosterOfSolution(instance, best);
        const RosterCheck check = checkRoster(instance, roster, rules);
        if (check.feasible()) {
            outcome.roster = roster;
            outcome.cost = check.cost;
        }
    }
    if (end.finished && model.isProvenOptimal() && outcome.cost) {
        outcome.status = SolveOutcome::Optimal;
        outcome.bound = outcome.cost;
        return;
    }
    outcome.status = outcome.cost ? SolveOutcome::Feasible : SolveOutcome::Unknown;
    const std::int64_t bound =
        end.searched ? wholeBound(model.getBestPossibleObjValue(), floor) : floor;
    outcome.bound = outcome.cost ? std::min(bound, *outcome.cost) : bound;
}

} // namespace

const char *statusName(SolveOutcome::Status status)
{
    switch (status) {
    case SolveOutcome::Optimal:
        return "optimal";
    case SolveOutcome::Feasible:
        return "feasible";
    case SolveOutcome::Infeasible:
        return "infeasible";
    case SolveOutcome::Unknown:
        break;
    }
    return "unknown";
}

std::optional<double> solveModel(const MipModel &mip, double timeLimitSeconds)
{
    const Deadline deadline(timeLimitSeconds);
    const StopRequest never;
    const Stopping stopping{deadline, never};
    OsiClpSolverInterface solver;
    loadModel(mip, solver);
    CbcModel model(solver);
    if (!runCbc(model, deadline.left(), stopping).finished || !model.isProvenOptimal() ||
        model.bestSolution() == nullptr)
        return std::nullopt;
    return model.getObjValue();
}

SolveOutcome solveInstance(const Instance &instance, const Rules &rules, double timeLimitSeconds,
                           const StopRequest &stop)
{
    const Deadline deadline(timeLimitSeconds);
    const Stopping stopping{deadline, stop};
    SolveOutcome outcome;
    auto finish = [&](SolveOutcome::Status status) {
        if (status == SolveOutcome::Infeasible)
            outcome = SolveOutcome{};
        outcome.status = status;
        outcome.seconds = deadline.elapsed();
        return outcome;
    };
    auto interrupted = [&] {
        outcome = SolveOutcome{};
        outcome.interrupted = true;
        return finish(SolveOutcome::Unknown);
    };

    // Nothing costs less than the rule-free optimum, so one of its rosters
    // that keeps the rules (always, without rules) is optimal.  A day needing
    // more nurses than there are, or one the crew cannot cover under the
    // rules, rules out every roster before the large model.
    const LowerBound ruleFree = lowerBound(instance);
    if (!ruleFree.cost)
        return finish(SolveOutcome::Infeasible);
    if (checkRoster(instance, ruleFree.roster, rules).feasible()) {
        outcome.roster = ruleFree.roster;
        outcome.cost = outcome.bound = ruleFree.cost;
        return finish(SolveOutcome::Optimal);
    }
    outcome.bound = *ruleFree.cost;
    if (crewRulesOut(instance, rules, deadline.left() * CrewShare * LateShare, stopping))
        return finish(SolveOutcome::Infeasible);
    if (stopping.requested())
        return interrupted();

    OsiClpSolverInterface solver;
    loadModel(buildRosterModel(instance, rules), solver);
    solveRelaxation(solver, deadline.left(), stopping);
    if (stopping.requested())
        return interrupted();
    // Clp proves infeasibility only from a finished simplex.
    if (solver.isProvenPrimalInfeasible())
        return finish(SolveOutcome::Infeasible);
    if (!solver.isProvenOptimal())
        return finish(SolveOutcome::Unknown);
    outcome.bound = wholeBound(solver.getObjValue(), *ruleFree.cost);

    // CBC looks at its clock only between nodes, cut passes and heuristics,
    // and returns up to a second late on a busy machine: the tenth held
    // back keeps the instance near its limit.
    CbcModel model(solver);
    const CbcEnd end = runCbc(model, deadline.left() * LateShare, stopping);
    if (stopping.requested())
        return interrupted();
    readOutcome(model, end, instance, rules, *outcome.bound, outcome);
    outcome.seconds = deadline.elapsed();
    return outcome;
}

} // namespace keldar::generator

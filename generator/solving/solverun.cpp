#include "generator/solving/solverun.h"

#include "generator/files/instancefile.h"
#include "generator/publish/publish.h"
#include "generator/run/interrupt.h"
#include "generator/run/progress.h"
#include "generator/solve/mipsolve.h"
#include "generator/solve/mznsolve.h"
#include "generator/solving/claims.h"
#include "generator/solving/instanceset.h"
#include "generator/solving/rulescopy.h"
#include "generator/solving/solutions.h"
#include "generator/solving/solvefigure.h"
#include "generator/solving/solvejobs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>

#include <map>
#include <memory>

#include <csignal>
#include <sys/prctl.h>
#include <sys/stat.h>

namespace keldar::generator {

namespace {

using Done = SolveDone;
using Tally = SolveTally;

bool isHelper()
{
    return isSolveHelper();
}

using Ledgers = std::map<QString, std::unique_ptr<SolutionsLedger>>;

bool byGecode(const SolveOptions &options)
{
    return options.solver == QLatin1String("gecode");
}

// The roster as --check-roster reads it, a line per nurse.
QByteArray rosterText(const Instance &instance, const SolveOutcome &outcome,
                      const InstanceTask &task, const SolveOptions &options)
{
    QByteArray text = "% keldar-generate " KELDAR_VERSION ": " + task.name.toUtf8() +
                      " under rules " + options.rules.label.toUtf8() +
                      (byGecode(options) ? " by Gecode, " : ", ") + statusName(outcome.status) +
                      ", cost " + QByteArray::number(outcome.cost.value_or(0)) + "\n";
    return text + rosterLines(outcome.roster, instance.nurses, instance.days);
}

// A task as this process leaves it: solved under its claim, not yet
// recorded.
struct Attempt {
    Done done = Done::Failed;
    std::unique_ptr<Claim> claim;
    std::optional<Instance> instance;
    SolveOutcome outcome;
    QString problem; // why it failed, or who holds it
};

// Solves the tasks one after another in this process (CBC's driver keeps
// global state; Gecode runs in a child process), each under a claim,
// recording roster and row as it goes.
class SolveRun
{
public:
    SolveRun(const QList<InstanceTask> &tasks, const SolveOptions &options, Ledgers &ledgers,
             QTextStream &err)
        : tasks_(tasks), options_(options), ledgers_(ledgers), err_(err),
          progress_(isHelper() ? nullptr : stderr, tasks.size(), QStringLiteral("instances"))
    {
        tally_.done.assign(std::size_t(tasks.size()), Done::Interrupted);
        tally_.notes.resize(std::size_t(tasks.size()));
    }

    void run()
    {
        showProgress(); // the first instance may take the whole limit
        for (qsizetype i = 0; i < tasks_.size() && interruptSignal() == 0; ++i) {
            Attempt made = attempt(tasks_.at(i));
            tally_.done[std::size_t(i)] = record(tasks_.at(i), made);
            tally_.notes[std::size_t(i)] = made.problem;
            showProgress();
        }
        progress_.finish();
    }

    const Tally &tally() const { return tally_; }

private:
    Attempt attempt(const InstanceTask &task)
    {
        Attempt made;
        // A run of the other solver on the instance is no rival: its claim is
        // another file.
        made.claim = std::make_unique<Claim>(task.folder, task.name,
                                             options_.rules.label + solverTag(options_.solver));
        made.done = solvedBefore(task, made);
        if (made.done == Done::AlreadySolved)
            made.claim->clearStale();
        if (made.done != Done::Solved)
            return made;
        if (!claim(task, made))
            return made;
        // Another run may have finished it between the look and the claim.
        made.done = solvedBefore(task, made);
        if (made.done != Done::Solved)
            return made;
        solve(task, made);
        return made;
    }

    bool claim(const InstanceTask &task, Attempt &made)
    {
        if (unwritable_.contains(task.folder)) {
            made.done = Done::Failed;
            return false;
        }
        switch (made.claim->take()) {
        case Claim::Taken::Held:
            return true;
        case Claim::Taken::Elsewhere:
        case Claim::Taken::Blocked:
            made.done = Done::Held;
            made.problem = made.claim->why();
            return false;
        case Claim::Taken::NoWrite:
            break;
        }
        // Said once a folder: every instance in it would say the same.
        unwritable_.insert(task.folder);
        made.done = Done::Failed;
        made.problem = made.claim->why() + QStringLiteral("; nothing solved there");
        return false;
    }

    // An outcome with a problem (Gecode's roster refused by the check,
    // MiniZinc's error) is recorded as it is, and the problem told.
    void solve(const InstanceTask &task, Attempt &made) const
    {
        made.done = Done::Failed;
        ParsedInstance parsed = readInstanceFile(QDir(task.folder).filePath(task.name));
        if (!parsed.instance) {
            made.problem = task.name + QStringLiteral(" not solved: ") + parsed.error;
            return;
        }
        made.instance = std::move(parsed.instance);
        const StopRequest stop = [] {
            return interruptSignal() != 0;
        };
        QString problem;
        made.outcome = byGecode(options_) ? solveWithGecode(*made.instance, options_.rules.rules,
                                                            options_.timeLimit, stop, &problem)
                                          : solveInstance(*made.instance, options_.rules.rules,
                                                          options_.timeLimit, stop);
        if (!problem.isEmpty())
            made.problem = task.name + QStringLiteral(": ") + problem +
                           QStringLiteral("; recorded as ") + statusName(made.outcome.status);
        made.done = made.outcome.interrupted ? Done::Interrupted : Done::Solved;
    }

    // Solved: still to solve; AlreadySolved: the CSV has its row.
    Done solvedBefore(const InstanceTask &task, Attempt &made) const
    {
        SolutionsLedger &ledger = *ledgers_.at(task.folder);
        if (!ledger.refresh(made.problem)) {
            made.problem = solutionsName(options_.shard, options_.shards, options_.solver) +
                           QStringLiteral(": ") + made.problem;
            return Done::Failed;
        }
        return ledger.has(task.name, options_.rules.label) ? Done::AlreadySolved : Done::Solved;
    }

    // The roster beside the instance, then the row: a row never names a
    // roster that is not there.
    Done record(const InstanceTask &task, Attempt &made)
    {
        if ((made.done == Done::Failed || made.done == Done::Solved) && !made.problem.isEmpty())
            report(made.problem);
        if (made.done != Done::Solved)
            return made.done;
        const QString &label = options_.rules.label;
        const SolveOutcome &outcome = made.outcome;
        SolutionRow row;
        row.file = task.name;
        row.rules = label;
        row.status = QString::fromLatin1(statusName(outcome.status));
        row.cost = outcome.cost;
        row.bound = outcome.bound;
        row.seconds = outcome.seconds;
        if (options_.shards > 1)
            row.identity = ShardIdentity{rulesDigest(options_.rules.rules), options_.timeLimit,
                                         options_.shard, options_.shards, options_.setSize};
        QString why;
        if (!outcome.roster.empty()) {
            const QString name = QFileInfo(task.name).completeBaseName() + u'.' + label +
                                 solverTag(options_.solver) + QStringLiteral(".roster");
            const QByteArray text = rosterText(*made.instance, outcome, task, options_);
            // The same roster left by a run killed before its row serves.
            row.roster = publishOnce(task.folder, name, text, why);
            if (row.roster.isEmpty())
                return fail(made, name + QStringLiteral(" not written: ") + why);
        }
        if (!ledgers_.at(task.folder)->append(row, why))
            return fail(made, solutionsName(options_.shard, options_.shards, options_.solver) +
                                  QStringLiteral(" not written: ") + why);
        return Done::Solved;
    }

    Done fail(Attempt &made, const QString &why)
    {
        made.problem = why;
        report(why);
        return Done::Failed;
    }

    void report(const QString &text)
    {
        progress_.interrupt();
        err_ << "keldar-generate: " << text << Qt::endl;
    }

    // Done of total counts every process's rows, the helpers' too.
    void showProgress()
    {
        int counts[4] = {};
        qint64 done = 0;
        QString why;
        for (auto &[folder, ledger] : ledgers_)
            ledger->refresh(why);
        QHash<QString, QString> statuses;
        for (auto &[folder, ledger] : ledgers_)
            for (const SolutionRow &row : ledger->rows())
                if (row.rules == options_.rules.label)
                    statuses.insert(folder + u'/' + row.file, row.status);
        for (const InstanceTask &task : tasks_) {
            const auto at = statuses.constFind(task.folder + u'/' + task.name);
            if (at == statuses.constEnd())
                continue;
            ++done;
            for (int s = 0; s < 4; ++s)
                if (*at == QLatin1String(statusName(SolveOutcome::Status(s))))
                    ++counts[s];
        }
        progress_.advance(done, QStringLiteral("%1 optimal, %2 feasible, %3 infeasible, %4 unknown")
                                    .arg(counts[0])
                                    .arg(counts[1])
                                    .arg(counts[2])
                                    .arg(counts[3]));
    }

    const QList<InstanceTask> &tasks_;
    const SolveOptions &options_;
    Ledgers &ledgers_;
    QTextStream &err_;
    ProgressLine progress_;
    Tally tally_;
    QSet<QString> unwritable_;
};

// The CSV a run appends to: a regular file or none.  A FIFO would hang the
// read, a device never end it, and appends never go through a link.
std::optional<QString> notAppendable(const QString &path)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode))
        return std::nullopt;
    return S_ISLNK(info.st_mode)    ? QStringLiteral("a symbolic link; rows are never appended "
                                                        "through one, replace it by the file it names")
           : S_ISFIFO(info.st_mode) ? QStringLiteral("a FIFO, not a solutions file")
                                    : QStringLiteral("not a regular file");
}

// One rows file per folder, read before anything is solved, with what a
// full disk or a kill left half written set aside, and the run's rules tied
// to the folder.  0, or the exit status: 2 when one is refused, 1 when a
// folder cannot be written.
int openLedgers(const QList<InstanceTask> &tasks, const SolveOptions &options, Ledgers &ledgers,
                QTextStream &err)
{
    for (const InstanceTask &task : tasks) {
        auto &ledger = ledgers[task.folder];
        if (ledger)
            continue;
        const QString path =
            QDir(task.folder)
                .filePath(solutionsName(options.shard, options.shards, options.solver));
        const QString shown = QDir::toNativeSeparators(path);
        ledger = std::make_unique<SolutionsLedger>(path);
        QString why;
        QString setAside;
        const auto refuse = [&](const QString &text, int status = 2) {
            err << "keldar-generate: " << text << "; nothing solved" << Qt::endl;
            return status;
        };
        if (const auto bad = notAppendable(path))
            return refuse(shown + QStringLiteral(" is ") + *bad);
        if (!isHelper() && !ledger->setAsideFragment(setAside, why))
            return refuse(shown +
                          QStringLiteral(": a half-written last row cannot be set "
                                         "aside: ") +
                          why);
        if (!setAside.isEmpty())
            err << "keldar-generate: " << shown << ": a half-written last row set aside in "
                << setAside << "; its instance is solved again" << Qt::endl;
        if (!ledger->refresh(why))
            return refuse(shown + QStringLiteral(": ") + why);
        const bool rowsUnderLabel =
            std::any_of(tasks.begin(), tasks.end(), [&](const InstanceTask &t) {
                return t.folder == task.folder && ledger->has(t.name, options.rules.label);
            });
        bool unwritable = false;
        if (const auto refusal = pinRules(task.folder, options.rules, rowsUnderLabel, unwritable))
            return refuse(*refusal, unwritable ? 1 : 2);
    }
    return 0;
}

bool labelled(const QList<SolutionRow> &rows, const QString &label)
{
    return std::any_of(rows.begin(), rows.end(),
                       [&label](const SolutionRow &row) { return row.rules == label; });
}

// The summary: what this run and its helpers did, what was there before,
// what another run holds (each named), and what failed or was cut off.
void summarise(const Tally &tally, const SolveOptions &options, qsizetype total, QTextStream &out,
               QTextStream &err)
{
    int counts[5] = {};
    for (const Done done : tally.done)
        ++counts[int(done)];
    // A few holders named are enough to act on; a run beside this one may
    // hold hundreds.
    constexpr int Named = 5;
    QSet<QString> named;
    for (std::size_t i = 0; i < tally.done.size(); ++i)
        if (tally.done[i] == Done::Held && !named.contains(tally.notes[i])) {
            named.insert(tally.notes[i]);
            if (named.size() <= Named)
                err << "keldar-generate: " << tally.notes[i] << Qt::endl;
        }
    if (named.size() > Named)
        err << "keldar-generate: and " << named.size() - Named << " more held by other runs"
            << Qt::endl;
    out << "rules " << options.rules.label << (byGecode(options) ? " by Gecode" : "") << ": "
        << counts[int(Done::Solved)] << " of " << total << " instances solved by this run, "
        << counts[int(Done::AlreadySolved)] << " solved before, " << counts[int(Done::Held)]
        << " held by another run, " << counts[int(Done::Failed)] << " failed, "
        << counts[int(Done::Interrupted)] << " interrupted" << Qt::endl;
    if (const int signal = interruptSignal())
        err << "keldar-generate: interrupted by "
            << (signal == SIGINT    ? "SIGINT"
                : signal == SIGTERM ? "SIGTERM"
                                    : "SIGHUP")
            << ": the instances in hand have no row; run the same command again to go on"
            << Qt::endl;
}

} // namespace

int solveInstances(const QStringList &paths, const SolveOptions &options, QTextStream &out,
                   QTextStream &err)
{
    if (const auto missing = byGecode(options) ? gecodeMissing() : std::nullopt) {
        err << "keldar-generate: " << *missing << "; nothing solved" << Qt::endl;
        return 2;
    }
    QList<InstanceTask> tasks;
    if (const auto refusal = collectInstances(paths, tasks)) {
        err << "keldar-generate: " << *refusal << "; nothing solved" << Qt::endl;
        return 2;
    }
    QList<InstanceTask> mine;
    for (qsizetype i = options.shard - 1; i < tasks.size(); i += options.shards)
        mine.append(tasks.at(i));
    SolveOptions here = options;
    here.setSize = tasks.size();
    Ledgers ledgers;
    if (const int refused = openLedgers(mine, here, ledgers, err))
        return refused;
    catchInterrupts();
    // A job started for the run ends with it, as a signal to it would end it.
    if (isHelper())
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    auto helpers = isHelper() ? decltype(startSolveHelpers(paths, here, 1)){}
                              : startSolveHelpers(paths, here, solveJobs(here, mine, err));
    SolveRun run(mine, here, ledgers, err);
    run.run();
    Tally tally = run.tally();
    if (isHelper()) {
        reportToParent(tally, out);
        return 0; // the run that started it tells the whole
    }
    finishSolveHelpers(helpers, tally);
    QString why;
    // The figure is CBC's; Gecode's rows have none.
    if (options.shards == 1 && !byGecode(options))
        for (const auto &[folder, ledger] : ledgers)
            if (ledger->refresh(why) && labelled(ledger->rows(), options.rules.label))
                drawSolutionsFigure(folder, ledger->rows(), options.rules.label, out, err);
    summarise(tally, options, mine.size(), out, err);
    const bool whole = std::all_of(tally.done.begin(), tally.done.end(), [](Done done) {
        return done == Done::Solved || done == Done::AlreadySolved;
    });
    return whole && interruptSignal() == 0 ? 0 : 1;
}

} // namespace keldar::generator

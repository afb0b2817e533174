#include "generator/solve/mznsolve.h"

#include "generator/files/exportformats.h"
#include "generator/solve/lowerbound.h"
#include "generator/solve/rulesets.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace keldar::generator {

namespace {

// How often the stop request and the clock are looked at while MiniZinc runs.
constexpr int PollMilliseconds = 50;
// MiniZinc stops Gecode at its limit and ends within a moment; one still
// running a tenth of the limit and a second after it is ended.
constexpr double LateShare = 0.1;
constexpr double LateSeconds = 1;
// How long MiniZinc may take to end its solver when asked to stop.
constexpr int EndMilliseconds = 1000;

QString miniZinc()
{
    return QStandardPaths::findExecutable(QStringLiteral("minizinc"));
}

// What MiniZinc prints, read line by line as it comes: a JSON object a
// solution, each followed by "----------", then "==========" when the
// search ran to its end, or one "=====...=====" line of status.
class MiniZincOutput
{
public:
    void feed(const QByteArray &bytes)
    {
        pending_ += bytes;
        qsizetype start = 0;
        for (qsizetype end = 0; (end = pending_.indexOf('\n', start)) >= 0; start = end + 1) {
            const QByteArray line = pending_.mid(start, end - start).trimmed();
            if (line == "----------") {
                solution = block_;
                block_.clear();
            } else if (line == "==========") {
                complete = true;
            } else if (line == "=====UNSATISFIABLE=====") {
                unsatisfiable = true;
            } else if (!line.startsWith("=====") && !line.startsWith('%')) {
                block_ += line + '\n';
            }
        }
        pending_.remove(0, start);
    }

    QByteArray solution;        // the last one printed whole
    bool complete = false;      // the search ran to its end
    bool unsatisfiable = false; // ... and found that no roster exists

private:
    QByteArray pending_; // a line not yet ended
    QByteArray block_;   // the solution being printed
};

struct Solution {
    std::vector<int> roster; // [nurse][day], as checkRoster reads it
    std::int64_t objective = 0;
};

// The roster and the objective of one solution; none when it is not a
// roster of the instance.
std::optional<Solution> readSolution(const QByteArray &json, const Instance &instance)
{
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    const QJsonArray nurses = object.value(QLatin1String("roster")).toArray();
    const QJsonValue objective = object.value(QLatin1String("_objective"));
    if (nurses.size() != instance.nurses || !objective.isDouble())
        return std::nullopt;
    Solution solution;
    solution.objective = std::int64_t(objective.toDouble());
    for (const QJsonValue &nurse : nurses) {
        const QJsonArray days = nurse.toArray();
        if (days.size() != instance.days)
            return std::nullopt;
        for (const QJsonValue &day : days) {
            const double shift = day.toDouble(-1);
            if (shift != std::floor(shift) || shift < 0 || shift > instance.workingShifts)
                return std::nullopt;
            solution.roster.push_back(int(shift));
        }
    }
    return solution;
}

// The processes `parent` started, from /proc: MiniZinc runs Gecode in a
// process group of its own.
QList<pid_t> childrenOf(qint64 parent)
{
    QList<pid_t> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool number = false;
        const pid_t pid = pid_t(entry.toInt(&number));
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!number || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // The command name in parentheses may hold blanks; the parent follows
        // the state.
        if (text.mid(text.lastIndexOf(')') + 2).split(' ').value(1).toLongLong() == parent)
            children.append(pid);
    }
    return children;
}

// Ends MiniZinc at once: asked by SIGTERM, it ends Gecode and itself within
// milliseconds; should it not, both are killed.
void end(QProcess &process)
{
    const qint64 pid = process.processId();
    if (pid <= 0)
        return;
    ::kill(pid_t(pid), SIGTERM);
    if (process.waitForFinished(EndMilliseconds) || process.state() == QProcess::NotRunning)
        return;
    for (const pid_t child : childrenOf(pid)) {
        ::kill(-child, SIGKILL);
        ::kill(child, SIGKILL);
    }
    ::kill(-pid_t(pid), SIGKILL);
    process.waitForFinished(-1);
}

// The last line MiniZinc wrote on its standard error (its error, after any
// warnings), or its exit.
QString miniZincError(QProcess &process)
{
    const QList<QByteArray> lines = process.readAllStandardError().trimmed().split('\n');
    if (!lines.last().trimmed().isEmpty())
        return QStringLiteral("MiniZinc: ") + QString::fromUtf8(lines.last().trimmed());
    return process.exitStatus() == QProcess::CrashExit
               ? QStringLiteral("MiniZinc ended abnormally")
               : QStringLiteral("MiniZinc exited with status %1").arg(process.exitCode());
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

std::optional<QString> gecodeMissing()
{
    const QString program = miniZinc();
    if (program.isEmpty())
        return QStringLiteral("--solver gecode runs MiniZinc, and there is no minizinc on PATH "
                              "(Debian's minizinc package)");
    if (!QFileInfo(shippedModelPath()).isFile())
        return QStringLiteral("--solver gecode: the reference model %1 is missing")
            .arg(QDir::toNativeSeparators(shippedModelPath()));
    QProcess solvers;
    solvers.start(program, {QStringLiteral("--solvers-json")});
    const bool answered = solvers.waitForFinished(30000) &&
                          solvers.exitStatus() == QProcess::NormalExit && solvers.exitCode() == 0;
    const QJsonArray list = QJsonDocument::fromJson(solvers.readAllStandardOutput()).array();
    for (const QJsonValue &solver : list)
        if (solver.toObject().value(QLatin1String("id")).toString() ==
            QLatin1String("org.gecode.gecode"))
            return std::nullopt;
    return answered
               ? QStringLiteral("--solver gecode: %1 has no Gecode among its solvers "
                                "(minizinc --solvers)")
                     .arg(program)
               : QStringLiteral("--solver gecode: %1 --solvers-json did not answer").arg(program);
}

namespace {

// One solve: its files, MiniZinc's run, what it printed and what that proves.
class GecodeSolve
{
public:
    GecodeSolve(const Instance &instance, const Rules &rules, double limit, const StopRequest &stop,
                QString *error)
        : in_(instance), rules_(rules), limit_(limit), stop_(stop), error_(error)
    {
        clock_.start();
    }

    SolveOutcome run()
    {
        QStringList args;
        if (const auto why = writeInputs(args))
            return failed(*why);
        if (const auto why = start(args))
            return failed(*why);
        const bool late = await();
        if (stopped()) {
            outcome_ = SolveOutcome{};
            outcome_.interrupted = true;
            return finish(SolveOutcome::Unknown);
        }
        output_.feed(process_.readAllStandardOutput());
        if (const auto why = takeRoster())
            return failed(*why);
        const bool ended =
            !late && process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
        return verdict(ended, late);
    }

private:
    SolveOutcome finish(SolveOutcome::Status status)
    {
        outcome_.status = status;
        outcome_.seconds = double(clock_.nsecsElapsed()) / 1e9;
        return outcome_;
    }

    // No roster and no verdict, with the reason.
    SolveOutcome failed(const QString &why)
    {
        outcome_ = SolveOutcome{};
        if (error_)
            *error_ = why;
        return finish(SolveOutcome::Unknown);
    }

    bool stopped() const { return stop_ && stop_(); }

    // The instance and the rules as data files, and MiniZinc's arguments.
    std::optional<QString> writeInputs(QStringList &args)
    {
        const QString data = dir_.filePath(QStringLiteral("instance.dzn"));
        const QString rulesPath = dir_.filePath(QStringLiteral("rules.dzn"));
        const QByteArray rulesText = normalisedRules(rules_);
        if (!dir_.isValid() || !writeFile(data, instanceDzn(in_, InstanceFacts{})) ||
            (!rulesText.isEmpty() && !writeFile(rulesPath, rulesText)))
            return QStringLiteral("no temporary files for MiniZinc: ") + dir_.errorString();
        const qint64 milliseconds = std::max<qint64>(1, qint64(std::ceil(limit_ * 1000)));
        // Every solution as it is found, as JSON with the objective, so that
        // one ended early has printed its best.
        args = QStringList{QStringLiteral("--solver"),
                           QStringLiteral("gecode"),
                           QStringLiteral("--time-limit"),
                           QString::number(milliseconds),
                           QStringLiteral("--intermediate"),
                           QStringLiteral("--output-mode"),
                           QStringLiteral("json"),
                           QStringLiteral("--output-objective"),
                           shippedModelPath(),
                           data};
        if (!rulesText.isEmpty())
            args << rulesPath;
        return std::nullopt;
    }

    std::optional<QString> start(const QStringList &args)
    {
        // MiniZinc's own temporary files go into the folder too.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), dir_.path());
        process_.setProcessEnvironment(environment);
        // A group of its own, so that a Ctrl-C reaches the run alone, which
        // ends MiniZinc itself; and asked to stop when the thread that
        // started it ends, should the run be killed.
        process_.setChildProcessModifier([] {
            ::setpgid(0, 0);
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        });
        process_.start(miniZinc(), args);
        if (!process_.waitForStarted(-1))
            return QStringLiteral("minizinc did not start: ") + process_.errorString();
        return std::nullopt;
    }

    // Reads MiniZinc's output until it ends, is asked to stop or overruns
    // its limit; true when it overran.
    bool await()
    {
        bool late = false;
        while (!process_.waitForFinished(PollMilliseconds) &&
               process_.state() != QProcess::NotRunning) {
            output_.feed(process_.readAllStandardOutput());
            if (stopped())
                break;
            late = double(clock_.nsecsElapsed()) / 1e9 > endAt();
            if (late)
                break;
        }
        if (process_.state() != QProcess::NotRunning)
            end(process_);
        return late;
    }

    double endAt() const { return limit_ * (1 + LateShare) + LateSeconds; }

    // The last solution, checked: a roster of the instance that keeps the
    // rules at the model's cost.  The reason when it is not.
    std::optional<QString> takeRoster()
    {
        if (output_.solution.isEmpty())
            return std::nullopt;
        const std::optional<Solution> solution = readSolution(output_.solution, in_);
        if (!solution)
            return QStringLiteral("Gecode's last solution is no roster of the instance");
        const RosterCheck check = checkRoster(in_, solution->roster, rules_);
        if (!check.feasible())
            return QStringLiteral("Gecode's roster fails the check: ") +
                   check.violations.front().text;
        if (check.cost != solution->objective)
            return QStringLiteral("Gecode's roster costs %1 by the check, %2 by the model")
                .arg(check.cost)
                .arg(solution->objective);
        outcome_.roster = solution->roster;
        outcome_.cost = check.cost;
        return std::nullopt;
    }

    // A verdict only from a search that ended, and none the rule-free
    // optimum refutes: its roster, when it keeps the rules, exists and is
    // optimal.
    SolveOutcome verdict(bool ended, bool late)
    {
        const auto refuted = [&](bool unsatisfiable) {
            const LowerBound ruleFree = lowerBound(in_);
            return ruleFree.cost && checkRoster(in_, ruleFree.roster, rules_).feasible() &&
                   (unsatisfiable || *ruleFree.cost < *outcome_.cost);
        };
        if (ended && output_.unsatisfiable && !outcome_.cost) {
            if (refuted(true))
                return failed(QStringLiteral("Gecode found no roster, yet the rule-free optimum "
                                             "keeps the rules"));
            return finish(SolveOutcome::Infeasible);
        }
        if (ended && output_.complete && outcome_.cost) {
            if (refuted(false))
                return failed(QStringLiteral("Gecode's optimum %1 is above the rule-free "
                                             "optimum, which keeps the rules")
                                  .arg(*outcome_.cost));
            outcome_.bound = outcome_.cost;
            return finish(SolveOutcome::Optimal);
        }
        if (!ended && error_)
            *error_ = late ? QStringLiteral("MiniZinc still ran %1 s after the limit and was ended")
                                 .arg(endAt() - limit_, 0, 'f', 1)
                           : miniZincError(process_);
        return finish(outcome_.cost ? SolveOutcome::Feasible : SolveOutcome::Unknown);
    }

    const Instance &in_;
    const Rules &rules_;
    const double limit_;
    const StopRequest &stop_;
    QString *error_;
    QElapsedTimer clock_;
    SolveOutcome outcome_;
    const QTemporaryDir dir_;
    QProcess process_;
    MiniZincOutput output_;
};

} // namespace

SolveOutcome solveWithGecode(const Instance &instance, const Rules &rules, double timeLimitSeconds,
                             const StopRequest &stop, QString *error)
{
    return GecodeSolve(instance, rules, timeLimitSeconds, stop, error).run();
}

} // namespace keldar::generator

// Time to solve generated instances under a rule set with CBC, beside Gecode
// through the reference model on the same instance and limit; run by hand:
//   keldar-bench-solve [week|fourweeks|infeasible] [seeds] [--no-minizinc]
#include "generator/files/exportformats.h"
#include "generator/instance/generate.h"
#include "generator/instance/random.h"
#include "generator/solve/lowerbound.h"
#include "generator/solve/mipsolve.h"
#include "generator/solve/roster.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace keldar::generator;

namespace {

struct Case {
    const char *name;
    int nurses, days, shifts;
    const char *rules;
    Indicators targets;
    double seconds; // the limit both solvers get
};

const Case Cases[] = {
    {"week", 25, 7, 4, "week.dzn", {0.5, 0.3, 0.7, 0.5, 0.1, 0.2}, 10},
    {"fourweeks", 100, 28, 4, "fourweeks.dzn", {0.5, 0.3, 0.7, 0.5, 0.1, 0.2}, 120},
    // Concentrated day totals: some days need every nurse, and the free
    // periods between them cannot reach two days.
    {"infeasible", 50, 28, 3, "fourweeks.dzn", {0.5, 0.3, 0.7, 0.6, 0.25, 0.2}, 2},
};

QString modelDir()
{
    return QStringLiteral(KELDAR_MODEL_DIR);
}

Rules readRules(const char *name)
{
    QFile file(modelDir() + QStringLiteral("/rules/") + QString::fromUtf8(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseRules(file.readAll()).rules.value_or(Rules{});
}

struct GecodeRun {
    double seconds = 0;
    const char *verdict = "none";
    QByteArray cost = "-";
};

// The reference model under Gecode with the same limit, as a user runs it.
GecodeRun runGecode(const Instance &in, const Case &c)
{
    GecodeRun run;
    QTemporaryDir dir;
    QFile dzn(dir.filePath(QStringLiteral("instance.dzn")));
    if (!dzn.open(QIODevice::WriteOnly) ||
        dzn.write(instanceDzn(in, {measure(in), lowerBound(in).cost, {}})) <= 0 || !dzn.flush())
        return run;
    QElapsedTimer clock;
    clock.start();
    QProcess minizinc;
    minizinc.start(QStringLiteral("minizinc"),
                   {QStringLiteral("--solver"), QStringLiteral("gecode"),
                    QStringLiteral("--time-limit"), QString::number(c.seconds * 1000),
                    modelDir() + QStringLiteral("/roster.mzn"), dzn.fileName(),
                    modelDir() + QStringLiteral("/rules/") + QString::fromUtf8(c.rules)});
    if (!minizinc.waitForStarted()) {
        run.verdict = "not run";
        return run;
    }
    minizinc.waitForFinished(int(c.seconds * 1000) + 60000);
    run.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const QByteArray out = minizinc.readAllStandardOutput();
    run.verdict = out.contains("==========")           ? "optimal"
                  : out.contains("=====UNSATISFIABLE") ? "infeasible"
                  : out.contains("----------")         ? "feasible"
                                                       : "unknown";
    const qsizetype at = out.lastIndexOf("% cost ");
    if (at >= 0)
        run.cost = out.mid(at + 7, out.indexOf('\n', at) - at - 7);
    return run;
}

void printSpread(const char *what, std::vector<double> times)
{
    if (times.empty())
        return;
    std::sort(times.begin(), times.end());
    std::printf("  %-8s min %.3f s, median %.3f s, max %.3f s\n", what, times.front(),
                times[times.size() / 2], times.back());
}

void runCase(const Case &c, int seeds, bool gecode)
{
    const Rules rules = readRules(c.rules);
    std::printf("%s: %d x %d x %d under %s, limit %.0f s\n", c.name, c.nurses, c.days, c.shifts,
                c.rules, c.seconds);
    std::vector<double> cbcTimes;
    std::vector<double> gecodeTimes;
    for (int seed = 1; seed <= seeds; ++seed) {
        BatchInput input;
        input.nurses = c.nurses;
        input.days = c.days;
        input.shifts = c.shifts;
        input.targets = c.targets;
        const Instance in = generate(input, fileSeed(100, seed));
        const SolveOutcome out = solveInstance(in, rules, c.seconds);
        const bool checked = out.roster.empty() || checkRoster(in, out.roster, rules).feasible();
        cbcTimes.push_back(out.seconds);
        std::printf("  seed %2d  cbc %-10s cost %5s bound %5s %8.3f s%s", seed,
                    statusName(out.status),
                    out.cost ? QByteArray::number(*out.cost).constData() : "-",
                    out.bound ? QByteArray::number(*out.bound).constData() : "-", out.seconds,
                    checked ? "" : " ROSTER FAILS THE CHECK");
        if (gecode) {
            const GecodeRun g = runGecode(in, c);
            gecodeTimes.push_back(g.seconds);
            std::printf("   gecode %-10s cost %5s %8.3f s", g.verdict, g.cost.constData(),
                        g.seconds);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    printSpread("cbc", cbcTimes);
    printSpread("gecode", gecodeTimes);
}

int scanMain(const QStringList &a)
{
    BatchInput input;
    input.nurses = a[1].toInt();
    input.days = a[2].toInt();
    input.shifts = a[3].toInt();
    for (int i = 0; i < 6; ++i)
        input.targets[std::size_t(i)] = a[5 + i].toDouble();
    const Rules rules = readRules(a[4].toUtf8().constData());
    const qint64 batch = a[11].toLongLong();
    const int from = a[12].toInt(), to = a[13].toInt();
    QList<double> limits;
    for (int i = 14; i < a.size(); ++i) limits << a[i].toDouble();
    for (int f = from; f <= to; ++f) {
        const Instance in = generate(input, fileSeed(batch, f));
        for (double l : limits) {
            const SolveOutcome out = solveInstance(in, rules, l);
            std::printf("file %3d limit %6.1f %-10s cost %6s bound %6s %8.3f s\n", f, l,
                        statusName(out.status),
                        out.cost ? QByteArray::number(*out.cost).constData() : "-",
                        out.bound ? QByteArray::number(*out.bound).constData() : "-", out.seconds);
            std::fflush(stdout);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("scan")) return scanMain(args);
    const bool gecode = !args.removeAll(QStringLiteral("--no-minizinc"));
    const QString only = args.value(0);
    const int seeds = args.size() > 1 ? args[1].toInt() : 5;
    for (const Case &c : Cases)
        if (only.isEmpty() || only == QLatin1String(c.name))
            runCase(c, seeds, gecode);
    return 0;
}

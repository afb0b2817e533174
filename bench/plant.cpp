// Instances built around a planted roster: their cost beside plain
// generation, and how near the targets they come under each rule set.
//   keldar-bench-plant speed   time per instance, planted and plain
//   keldar-bench-plant sweep   targets the rules leave out of reach, and by how much
//   keldar-bench-plant curve DIR...   CBC's time to an optimum by slack, as a figure
#include "generator/files/batchtext.h"
#include "generator/files/instancefile.h"
#include "generator/instance/generate.h"
#include "generator/instance/random.h"
#include "generator/run/manifest.h"
#include "generator/solve/capacity.h"
#include "generator/solve/planting.h"
#include "generator/solve/rulesets.h"
#include "generator/solving/solutions.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <cstdio>
#include <cstring>

using namespace keldar::generator;

namespace {

BatchInput sized(int nurses, int days, int shifts, const Indicators &targets)
{
    BatchInput in;
    in.nurses = nurses;
    in.days = days;
    in.shifts = shifts;
    in.targets = targets;
    in.files = 1;
    in.firstFile = 1;
    in.seed = 100;
    return in;
}

Rules rulesNamed(const char *name)
{
    const RulesChoiceRead read = chooseRules(QString::fromLatin1(name));
    if (!read.choice) {
        std::fprintf(stderr, "%s\n", qPrintable(read.error));
        std::exit(1);
    }
    return read.choice->rules;
}

// Seconds per instance, generated and measured as a run makes it, best of
// three rounds so that a busy moment on the machine counts less.
template <typename Make> double perInstance(int files, Make make)
{
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer clock;
        clock.start();
        for (int k = 1; k <= files; ++k)
            make(fileSeed(100, k));
        best = std::min(best, double(clock.nsecsElapsed()) / 1e9 / files);
    }
    return best;
}

int speed()
{
    const Indicators targets{0.5, 0.3, 0.7, 0.6, 0.4, 0.2};
    struct Case {
        int nurses, days, shifts, files;
        const char *rules;
    };
    const Case cases[] = {
        {25, 7, 4, 1000, "week"}, {100, 28, 4, 100, "fourweeks"}, {300, 28, 4, 20, "fourweeks"}};
    std::printf("%-12s %-10s %12s %12s %8s\n", "size", "rules", "plain ms", "planted ms", "ratio");
    for (const Case &c : cases) {
        const BatchInput in = sized(c.nurses, c.days, c.shifts, targets);
        const Rules rules = rulesNamed(c.rules);
        const double plain =
            perInstance(c.files, [&](std::uint64_t seed) { (void)measure(generate(in, seed)); });
        const double planted = perInstance(c.files, [&](std::uint64_t seed) {
            const PlantedInstance made = generatePlanted(in, seed, rules, 0.05);
            (void)measure(made.instance);
            (void)checkRoster(made.instance, made.roster, rules);
        });
        int met = 0;
        int missed[IndicatorCount] = {};
        for (int k = 1; k <= c.files; ++k) {
            const PlantedInstance made = generatePlanted(in, fileSeed(100, k), rules, 0.05);
            const Indicators m = measure(made.instance);
            met += largestDeviation(m, targets) <= Tolerance ? 1 : 0;
            for (int i = 0; i < IndicatorCount; ++i)
                missed[i] += unreachable(m[std::size_t(i)], targets[std::size_t(i)]) ? 1 : 0;
        }
        for (int i = 0; i < IndicatorCount; ++i)
            if (missed[i] > 0)
                std::printf("  %s missed %d times\n", IndicatorNames[i], missed[i]);
        const QByteArray label = QByteArray::number(c.nurses) + 'x' + QByteArray::number(c.days) +
                                 'x' + QByteArray::number(c.shifts);
        std::printf("%-12s %-10s %12.3f %12.3f %7.2fx %6d/%d met\n", label.constData(), c.rules,
                    plain * 1e3, planted * 1e3, planted / plain, met, c.files);
    }
    return 0;
}

// Over a grid of coverage targets, sizes, rule sets and slack levels: how
// many instances meet every target, the worst miss of each coverage
// indicator, and the slack reached.  Any witness that breaks its rules
// fails the run.
int sweep()
{
    const char *ruleSets[] = {"none", "rotation", "week", "fourweeks"};
    const double slacks[] = {0, 0.02, 0.05, 0.1, 0.2};
    const double levels[] = {0.2, 0.5, 0.8};
    std::printf("%-10s %6s %6s %9s %9s %9s %9s %12s\n", "rules", "days", "slack", "met", "total",
                "day", "shift", "slack miss");
    for (const char *name : ruleSets) {
        const Rules rules = rulesNamed(std::strcmp(name, "none") == 0 ? "" : name);
        for (const int days : {7, 14, 28}) {
            if (!plantingProblem(rules, days, 3).isEmpty())
                continue;
            for (const double slack : slacks) {
                int met = 0, count = 0;
                double worst[3] = {0, 0, 0};
                double slackMiss = 0;
                // Totals the rules' counts allow at this slack: between the
                // least and the most a nurse works, less the slack.
                const double low = (1 - slack) * rules.minWorkingShifts.value_or(0) / double(days);
                const double high = (1 - slack) * mostWorkingShifts(rules, days, 3) / double(days);
                const double totals[] = {low + 0.2 * (high - low), (low + high) / 2,
                                         low + 0.8 * (high - low)};
                for (const double total : totals)
                    for (const double day : levels)
                        for (const double shift : levels) {
                            const BatchInput in =
                                sized(30, days, 3, {0.5, 0.5, 0.5, total, day, shift});
                            const PlantedInstance made =
                                generatePlanted(in, fileSeed(7, ++count), rules, slack);
                            if (!checkRoster(made.instance, made.roster, rules).feasible()) {
                                std::printf("witness breaks %s at %d days\n", name, days);
                                return 1;
                            }
                            const Indicators m = measure(made.instance);
                            bool all = true;
                            for (int k = 0; k < IndicatorCount; ++k)
                                all = all &&
                                      !unreachable(m[std::size_t(k)], in.targets[std::size_t(k)]);
                            met += all ? 1 : 0;
                            for (int k = 0; k < 3; ++k)
                                worst[k] =
                                    std::max(worst[k], std::fabs(m[std::size_t(3 + k)] -
                                                                 in.targets[std::size_t(3 + k)]));
                            slackMiss = std::max(slackMiss, std::fabs(made.slack - slack));
                        }
                std::printf("%-10s %6d %6.2f %5d/%-3d %9.3f %9.3f %9.3f %12.4f\n", name, days,
                            slack, met, count, worst[0], worst[1], worst[2], slackMiss);
            }
        }
    }
    return 0;
}

// CBC's time to a proven optimum per slack level, from solved design
// folders: a table on standard error and an SVG figure on standard output.
// A run without proof counts at its limit and is drawn as such.
// One slack level of one rule set: CBC's seconds, and the optima proven.
struct Level {
    QString rules;
    double slack;
    std::vector<double> seconds;
    int proven = 0;
};

// The levels of the solved design folders; false when one lacks its
// manifest or its solutions.  `limit` is the longest run.
bool readLevels(const QStringList &folders, std::vector<Level> &levels, double &limit)
{
    for (const QString &folder : folders) {
        const ManifestRead manifest = readFolderManifests(folder);
        QFile file(QDir(folder).filePath(QStringLiteral("solutions.csv")));
        if (!manifest.rows || !file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "%s: no manifest or solutions\n", qPrintable(folder));
            return false;
        }
        const SolutionsRead solved = readSolutions(file.readAll());
        QHash<QString, SolutionRow> byFile;
        for (const SolutionRow &row : solved.rows.value_or(QList<SolutionRow>()))
            byFile.insert(row.file, row);
        for (const ManifestRow &row : *manifest.rows) {
            const auto found = byFile.constFind(fileName(row.fileNumber));
            if (!row.slack || found == byFile.constEnd())
                continue;
            auto at = std::find_if(levels.begin(), levels.end(), [&](const Level &level) {
                return level.rules == row.rules && level.slack == *row.slack;
            });
            if (at == levels.end())
                at = levels.insert(levels.end(), Level{row.rules, *row.slack, {}, 0});
            at->seconds.push_back(found->seconds);
            at->proven += found->status == QLatin1String("optimal") ? 1 : 0;
            limit = std::max(limit, found->seconds);
        }
    }
    return true;
}

int curve(const QStringList &folders)
{
    std::vector<Level> levels;
    double limit = 0;
    if (!readLevels(folders, levels, limit))
        return 1;
    std::fprintf(stderr, "%-10s %6s %7s %8s %8s %8s %8s\n", "rules", "slack", "proven", "min", "q1",
                 "median", "max");
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"720\" height=\"384\" "
                     "font-family=\"sans-serif\" font-size=\"12\">\n<rect width=\"720\" "
                     "height=\"384\" fill=\"white\"/>\n<text x=\"70\" y=\"24\" "
                     "font-size=\"14\">CBC's seconds to a proven optimum by slack (median, "
                     "quartiles, range)</text>\n<path d=\"M70 40V320H690\" fill=\"none\" "
                     "stroke=\"black\"/>\n";
    // Seconds on a log scale from 0.01 s to the limit.
    const double low = std::log10(0.01), high = std::log10(std::max(limit, 1.0) * 1.2);
    auto y = [&](double seconds) {
        return 320 - 280 * (std::log10(std::max(seconds, 0.01)) - low) / (high - low);
    };
    for (const double tick : {0.01, 0.1, 1.0, 10.0, 60.0})
        if (tick <= limit * 1.2)
            svg += "<text x=\"62\" y=\"" + QByteArray::number(y(tick) + 4, 'f', 1) +
                   "\" text-anchor=\"end\">" + QByteArray::number(tick) + " s</text>\n";
    const double slot = 620.0 / double(std::max<std::size_t>(levels.size(), 1));
    for (std::size_t i = 0; i < levels.size(); ++i) {
        Level &level = levels[i];
        std::sort(level.seconds.begin(), level.seconds.end());
        const auto at = [&](double q) {
            return level.seconds[std::size_t(q * double(level.seconds.size() - 1) + 0.5)];
        };
        std::fprintf(stderr, "%-10s %6.2f %4d/%-2zu %8.3f %8.3f %8.3f %8.3f\n",
                     qPrintable(level.rules), level.slack, level.proven, level.seconds.size(),
                     level.seconds.front(), at(0.25), at(0.5), level.seconds.back());
        const double x = 70 + slot * (double(i) + 0.5);
        const char *colour = level.rules == QLatin1String("week") ? "#1f77b4" : "#d62728";
        const auto num = [](double v) {
            return QByteArray::number(v, 'f', 1);
        };
        svg += "<path d=\"M" + num(x) + ' ' + num(y(level.seconds.front())) + "V" +
               num(y(level.seconds.back())) + "\" stroke=\"" + colour + "\"/>\n";
        svg += "<rect x=\"" + num(x - 10) + "\" y=\"" + num(y(at(0.75))) +
               "\" width=\"20\" height=\"" + num(std::max(1.0, y(at(0.25)) - y(at(0.75)))) +
               "\" fill=\"white\" stroke=\"" + colour + "\"/>\n";
        svg += "<path d=\"M" + num(x - 10) + ' ' + num(y(at(0.5))) + "H" + num(x + 10) +
               "\" stroke=\"" + colour + "\" stroke-width=\"3\"/>\n";
        svg += "<text x=\"" + num(x) + "\" y=\"338\" text-anchor=\"middle\">" +
               QByteArray::number(level.slack) + "</text>\n";
        svg += "<text x=\"" + num(x) + "\" y=\"354\" text-anchor=\"middle\" fill=\"" + colour +
               "\">" + QByteArray::number(level.proven) + '/' +
               QByteArray::number(qulonglong(level.seconds.size())) + "</text>\n";
        if (i == 0 || levels[i - 1].rules != level.rules)
            svg += "<text x=\"" + num(x - 0.5 * slot + 6) + "\" y=\"372\" fill=\"" + colour +
                   "\">" + level.rules.toUtf8() + "</text>\n";
    }
    svg += "<text x=\"62\" y=\"338\" text-anchor=\"end\">slack</text>\n<text x=\"62\" "
           "y=\"354\" text-anchor=\"end\">proven</text>\n</svg>\n";
    std::fwrite(svg.constData(), 1, std::size_t(svg.size()), stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv); // the shipped rule sets are found beside the program
    if (argc == 2 && std::strcmp(argv[1], "speed") == 0)
        return speed();
    if (argc == 2 && std::strcmp(argv[1], "sweep") == 0)
        return sweep();
    if (argc >= 3 && std::strcmp(argv[1], "curve") == 0)
        return curve(QCoreApplication::arguments().mid(2));
    if (argc == 3 && std::strcmp(argv[1], "detail") == 0) {
        const Indicators targets{0.5, 0.3, 0.7, 0.6, 0.4, 0.2};
        const bool week = std::strcmp(argv[2], "week") == 0;
        const BatchInput in = sized(week ? 25 : 100, week ? 7 : 28, 4, targets);
        const Rules rules = rulesNamed(argv[2]);
        for (int k = 1; k <= 8; ++k) {
            const PlantedInstance made = generatePlanted(in, fileSeed(100, k), rules, 0.05);
            const Indicators m = measure(made.instance);
            std::printf("total %.4f day %.4f shift %.4f slack %.4f\n", m[3], m[4], m[5],
                        made.slack);
        }
        return 0;
    }
    std::fprintf(stderr, "usage: keldar-bench-plant speed|sweep|curve DIR...\n");
    return 2;
}

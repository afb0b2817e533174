#include "buildinfo/buildid.h"
#include "generator/bugreport.h"
#include "generator/commandline.h"
#include "generator/files/batchtext.h"
#include "generator/files/exportformats.h"
#include "generator/input/handshake.h"
#include "generator/input/inputfile.h"
#include "generator/publish/userfile.h"
#include "generator/run/batch.h"
#include "generator/run/interrupt.h"
#include "generator/run/shards.h"
#include "generator/solve/roster.h"
#include "generator/solving/builtrules.h"
#include "generator/solving/solvemerge.h"
#include "generator/solving/solverun.h"
#include "generator/tables/benchlist.h"
#include "generator/tables/existingfiles.h"
#include "generator/tables/metadata.h"
#include "generator/tables/score.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cmath>
#include <new>
#include <optional>
#include <variant>

// keldar-generate: a table of commands over the command line's parser.
// Each reads its options' values and returns the exit status.
using namespace keldar::generator;

namespace {

struct Streams {
    QTextStream &out;
    QTextStream &err;
};

// A whole number from 1 to `high` written with digits alone.
std::optional<int> positive(const QString &text, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > high || !text.at(0).isDigit())
        return std::nullopt;
    return value;
}

// The options' values as the commands take them; each refusal is one line.
class Values
{
public:
    Values(const CommandLine &line, const Streams &io) : line_(line), io_(io) {}

    bool refused() const { return refused_; }
    int refusal() const { return 2; }

    ExportFormats formats(ExportFormats otherwise)
    {
        const auto list = line_.value("format");
        if (!list)
            return otherwise;
        const auto formats = parseFormats(*list);
        if (!formats)
            refuse(QStringLiteral("--format takes txt, dzn, json, ssb or several with commas, "
                                  "not \"%1\"")
                       .arg(printable(*list)));
        return formats.value_or(otherwise);
    }

    int jobs(int otherwise)
    {
        const auto text = line_.value("jobs");
        const auto jobs = text ? positive(*text, 1024) : std::optional<int>(otherwise);
        if (!jobs)
            refuse(QStringLiteral("--jobs %1: a whole number from 1 to 1024 is needed")
                       .arg(printable(*text)));
        return jobs.value_or(otherwise);
    }

    // I and N of --shard I/N; 1 of 1 without it.
    std::pair<int, int> shard()
    {
        const QStringList parts = line_.value("shard").value_or(QStringLiteral("1/1")).split(u'/');
        const int index = parts.size() == 2 ? positive(parts.at(0), 1'000'000).value_or(0) : 0;
        const int count = parts.size() == 2 ? positive(parts.at(1), 1'000'000).value_or(0) : 0;
        if (index == 0 || count == 0 || index > count) {
            refuse(QStringLiteral("--shard %1: I/N with 1 <= I <= N is needed")
                       .arg(printable(*line_.value("shard"))));
            return {1, 1};
        }
        return {index, count};
    }

    // A time limit in seconds: a positive, finite number.
    double timeLimit(double otherwise)
    {
        const auto text = line_.value("time-limit");
        if (!text)
            return otherwise;
        bool ok = false;
        const double value = text->toDouble(&ok);
        if (!ok || !(value > 0) || !std::isfinite(value) || value > 1e7) {
            refuse(QStringLiteral("--time-limit %1: a number of seconds above 0 is needed")
                       .arg(printable(*text)));
            return otherwise;
        }
        return value;
    }

    RulesChoice rules(const char *consequence)
    {
        const RulesChoiceRead chosen = chooseRules(line_.value("rules").value_or(QString()));
        if (!chosen.choice && !refused_) {
            io_.err << "keldar-generate: " << chosen.error << "; " << consequence << Qt::endl;
            refused_ = true;
        }
        return chosen.choice.value_or(RulesChoice{});
    }

private:
    void refuse(const QString &problem)
    {
        if (!refused_)
            usageError(line_, problem, io_.err);
        refused_ = true;
    }

    const CommandLine &line_;
    const Streams &io_;
    bool refused_ = false;
};

// A run that did not write every file says so here too, with where its log
// is: run from a script, the terminal is where the user looks first.
int runStatus(const BatchReport &report, const QString &folder, const Streams &io)
{
    if (report.allWritten())
        return 0;
    io.err << "keldar-generate: " << report.written << " written, " << report.kept << " kept, "
           << report.skipped << " skipped, " << report.failed << " failed, " << report.notStarted
           << " not started" << (report.interrupted ? ", interrupted" : "") << "; see "
           << QDir::toNativeSeparators(QDir(folder).filePath(QStringLiteral("output.log")))
           << Qt::endl;
    return 1;
}

// What a batch and a design run share: threads, formats, rules, the
// progress line and the list for mzn-bench.
RunOptions generationOptions(Values &values)
{
    RunOptions options;
    options.progress = stderr;
    options.formats = values.formats(TextFormat);
    options.jobs = values.jobs(0);
    options.rules = values.rules("nothing written");
    options.listDzn = listForBenchmark;
    return options;
}

int designCommand(const CommandLine &line, const Streams &io)
{
    Values values(line, io);
    RunOptions options = generationOptions(values);
    DesignRun shard;
    std::tie(shard.shard, shard.shards) = values.shard();
    if (values.refused())
        return values.refusal();
    const QString designPath = *line.value("design");
    const QString outDir = *line.value("out");
    const QString shown = QDir::toNativeSeparators(designPath);
    QString why;
    const std::optional<QByteArray> bytes = readRegularFile(designPath, MaxDesignFileBytes, why);
    if (!bytes) {
        io.err << "keldar-generate: " << shown << ": " << why << Qt::endl;
        return 2;
    }
    const DesignRead read = readDesign(*bytes);
    if (!read.design) {
        io.err << "keldar-generate: " << shown << ": " << read.error << "; nothing written"
               << Qt::endl;
        return 2;
    }
    if (read.design->planted() && line.value("rules"))
        return usageError(line,
                          QStringLiteral("--rules does not go with a design that has rules or "
                                         "slack: its cells carry their own"),
                          io.err);
    QString refusal;
    const auto levels = designRules(*read.design, designPath, refusal);
    if (!levels) {
        io.err << "keldar-generate: " << shown << ": " << refusal << "; nothing written"
               << Qt::endl;
        return 2;
    }
    shard.rules = *levels;
    if (shard.shards > read.design->cellCount()) {
        io.err << "keldar-generate: --shard " << shard.shard << '/' << shard.shards
               << ": the design has only " << read.design->cellCount() << " cells" << Qt::endl;
        return 2;
    }
    shard.designPath = designPath;
    catchInterrupts();
    const BatchReport report =
        runDesign(*read.design, outDir, shard, QDir::currentPath(), &io.err, options);
    return runStatus(report, outDir, io);
}

int batchCommand(const CommandLine &line, const Streams &io)
{
    Values values(line, io);
    RunOptions options = generationOptions(values);
    if (values.refused())
        return values.refusal();
    const bool byApp = line.operands.isEmpty();
    const QString inputPath = byApp ? QString::fromLatin1(InputFileName) : line.operands.first();
    // Nothing to read leaves nothing behind: no mark, no log.
    if (!QFileInfo::exists(inputPath)) {
        io.err << "keldar-generate: " << QDir::toNativeSeparators(inputPath)
               << ": no such file; nothing written (keldar writes it, or name an input-data "
                  "file; try keldar-generate --help)"
               << Qt::endl;
        return 2;
    }
    // Started by the app (no arguments) the mark is due; run by hand, none
    // is left.
    const ReadResult read = loadInput(inputPath, byApp ? ReadMark::Leave : ReadMark::Omit);
    if (!read.input) {
        // Started detached, the program has no console: the log is where the
        // user looks.
        logRefusal(inputPath, read, QDir::currentPath(), &io.err);
        return 2;
    }
    if (byApp)
        options.planned = [inputPath](const BatchVerdict &verdict) {
            leaveReadMark(inputPath, verdict);
        };
    catchInterrupts();
    const BatchReport report = runBatch(*read.input, QDir::currentPath(), &io.err, options);
    return runStatus(report, QDir::current().absoluteFilePath(read.input->folder), io);
}

int convertCommand(const CommandLine &line, const Streams &io)
{
    Values values(line, io);
    const ExportFormats to = values.formats(DznFormat | JsonFormat);
    if (!values.refused() && extraSuffixes(to).isEmpty())
        return usageError(line,
                          QStringLiteral("--convert writes dzn, json or ssb files; "
                                         "--format txt alone writes nothing"),
                          io.err);
    const RulesChoice rules = values.rules("nothing written");
    if (values.refused())
        return values.refusal();
    return convertFiles(line.operands, to, io.out, io.err, rules);
}

int metadataCommand(const CommandLine &line, const Streams &io)
{
    return writeMetadata(line.operands.first(), line.value("rules").value_or(QString()), io.out,
                         io.err);
}

int checkRosterCommand(const CommandLine &line, const Streams &io)
{
    return checkRosterFiles(line.operands, io.out, io.err);
}

int measureCommand(const CommandLine &line, const Streams &io)
{
    return measureFiles(line.operands, io.out, io.err);
}

// Joins shard manifests and shard solutions, whichever the folders hold.
int mergeCommand(const CommandLine &line, const Streams &io)
{
    bool manifests = false;
    for (const QString &folder : line.operands)
        manifests = manifests ||
                    !QDir(folder).entryList({QStringLiteral("manifest.shard-*.csv")}).isEmpty();
    const int solutions = mergeSolutionShards(line.operands, io.out, io.err);
    if (!manifests && solutions >= 0)
        return solutions;
    return std::max(mergeShards(line.operands, io.out, io.err), solutions);
}

int solveCommand(const CommandLine &line, const Streams &io)
{
    Values values(line, io);
    SolveOptions options;
    options.timeLimit = values.timeLimit(options.timeLimit);
    options.jobs = values.jobs(1);
    std::tie(options.shard, options.shards) = values.shard();
    options.rules = values.rules("nothing solved");
    options.solver = line.value("solver").value_or(QStringLiteral("cbc"));
    if (options.solver != QLatin1String("cbc") && options.solver != QLatin1String("gecode"))
        return usageError(
            line, QStringLiteral("--solver %1: cbc or gecode").arg(printable(options.solver)),
            io.err);
    if (values.refused())
        return values.refusal();
    if (line.value("rules"))
        return solveInstances(line.operands, options, io.out, io.err);
    // Each instance under the rules it was built under.
    QList<RulesGroup> groups;
    if (const auto refusal = groupByBuiltRules(line.operands, groups)) {
        io.err << "keldar-generate: " << *refusal << "; nothing solved" << Qt::endl;
        return 2;
    }
    int status = 0;
    for (const RulesGroup &group : groups) {
        options.rules = group.rules;
        // One set under one rules: named as the user named it.
        const QStringList &paths = groups.size() == 1 ? line.operands : group.paths;
        status = std::max(status, solveInstances(paths, options, io.out, io.err));
        if (status == 2 || interruptSignal() != 0)
            break;
    }
    return status;
}

int scoreCommand(const CommandLine &line, const Streams &io)
{
    Values values(line, io);
    const RulesChoice rules = values.rules("nothing scored");
    if (values.refused())
        return values.refusal();
    const auto algorithm = line.value("algorithm");
    if (!algorithm)
        return usageError(line, QStringLiteral("--score needs --algorithm NAME"), io.err);
    return scoreFolder(line.operands.first(), *algorithm, rules, line.value("rules").has_value(),
                       io.out, io.err);
}

int bugReportCommand(const CommandLine &line, const Streams &io)
{
    return writeBugReport(line.operands.value(0, QStringLiteral(".")), io.out, io.err);
}

// The command flag each function serves.
const std::pair<const char *, int (*)(const CommandLine &, const Streams &)> Commands[] = {
    {"", batchCommand},
    {"--design", designCommand},
    {"--merge", mergeCommand},
    {"--measure", measureCommand},
    {"--convert", convertCommand},
    {"--check-roster", checkRosterCommand},
    {"--solve", solveCommand},
    {"--metadata", metadataCommand},
    {"--bug-report", bugReportCommand},
    {"--score", scoreCommand},
};

int run(const QStringList &args, const Streams &io)
{
    const std::optional<CommandLine> line = readCommandLine(args, io.err);
    if (!line)
        return 2;
    if (line->help) {
        io.out << (*line->command->flag ? commandHelp(*line->command) : usage());
        return 0;
    }
    if (line->version) {
        io.out << "keldar-generate " KELDAR_VERSION " (build " << keldar::buildId() << ")"
               << Qt::endl;
        return 0;
    }
    for (const auto &[flag, command] : Commands)
        if (QByteArray(flag) == line->command->flag)
            return command(*line, io);
    return 2;
}

// Bytes that are no text: ASCII as it is, any other byte as \xHH.
QString bytesShown(const QByteArray &bytes)
{
    QString shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte >= 0x20 && byte < 0x7f
                     ? QString(QLatin1Char(c))
                     : QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return shown;
}

// The arguments as the program takes them.  A name the locale's encoding
// cannot carry back would name another file, and a control character in one
// would break the lines it goes into: both are refused.
std::variant<QStringList, int> arguments(int argc, char *argv[], QTextStream &err)
{
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        const QString arg = QFile::decodeName(bytes);
        const bool faithful = QFile::encodeName(arg) == bytes;
        if (!faithful || hasControlCharacter(arg)) {
            err << "keldar-generate: \"" << (faithful ? printable(arg) : bytesShown(bytes))
                << (faithful ? "\" holds a control character"
                             : "\" is not valid in the locale's encoding")
                << "; no file or folder may have such a name here" << Qt::endl;
            return 2;
        }
        args.append(arg);
    }
    return args;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const auto args = arguments(argc, argv, err);
    if (const int *status = std::get_if<int>(&args))
        return *status;
    try {
        return run(std::get<QStringList>(args), Streams{out, err});
    } catch (const std::bad_alloc &) {
        // Running out while a file is made fails that file in its run;
        // anywhere else a line here still beats an abort.
        err << "keldar-generate: out of memory" << Qt::endl;
        return 1;
    }
}

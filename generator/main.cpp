#include "generator/files/batchtext.h"
#include "generator/files/exportformats.h"
#include "generator/input/handshake.h"
#include "generator/input/inputfile.h"
#include "generator/publish/userfile.h"
#include "generator/run/batch.h"
#include "generator/run/existingfiles.h"
#include "generator/run/interrupt.h"
#include "generator/run/metadata.h"
#include "generator/run/shards.h"
#include "buildinfo/buildid.h"
#include "generator/run/solvemerge.h"
#include "generator/run/solverun.h"
#include "generator/solve/roster.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <cmath>
#include <new>
#include <optional>
#include <variant>

// keldar-generate: a table of commands.  Each reads what the command line
// gave it and returns the exit status; the usage is checked here alone.
using namespace keldar::generator;

namespace {

const char Usage[] =
    "Usage: keldar-generate [--format LIST] [FILE] [--rules RULES] [--jobs N]\n"
    "       keldar-generate [--format LIST] --design FILE --out DIR [--rules RULES]\n"
    "                       [--jobs N] [--shard I/N]\n"
    "       keldar-generate --merge DIR...\n"
    "       keldar-generate --measure FILE...\n"
    "       keldar-generate [--format LIST] --convert FILE... [--rules RULES]\n"
    "       keldar-generate --check-roster INSTANCE ROSTER [RULES]\n"
    "       keldar-generate --solve PATH... [--rules RULES] [--time-limit SECONDS]\n"
    "                       [--jobs N] [--shard I/N]\n"
    "       keldar-generate --metadata DIR\n"
    "\n"
    "Generates nurse-rostering instances as an input-data file describes them.\n"
    "Without FILE it reads Input_data_KELDAR.TXT in the working directory.\n"
    "Without FILE, once the file is read, Input_data_KELDAR.TXT.read is left\n"
    "beside it, holding the process id and its verdict on the batch.\n"
    "Instances go to instance_<k>.txt in the file's target folder, progress to\n"
    "output.log there, with manifest.csv and batch.svg; existing files are\n"
    "never overwritten.\n"
    "\n"
    "  --format LIST      also write the instances as MiniZinc data (dzn), JSON\n"
    "                     (json) and/or Shift Scheduling Benchmark text under\n"
    "                     the rules (ssb, instance_<k>.<rules>.ssb.txt): LIST\n"
    "                     is txt, dzn, json, ssb or several with commas; the\n"
    "                     text file is always written; with dzn the folder's\n"
    "                     instances.csv lists them for mzn-bench\n"
    "  --measure FILE...  print the six measured indicators and the lower bound\n"
    "                     of instance files\n"
    "  --convert FILE...  write instance files as dzn and json (or the formats\n"
    "                     --format names) beside them\n"
    "  --check-roster INSTANCE ROSTER [RULES]\n"
    "                     print a roster's cost and every broken rule;\n"
    "                     exit status 0 only for a feasible roster\n"
    "  --solve PATH...    solve instance files (a folder: its instance_<k>.txt)\n"
    "                     with CBC; a roster instance_<k>.<rules>.roster beside\n"
    "                     each and a row in the folder's solutions.csv\n"
    "  --rules RULES      week, fourweeks, rotation or a rules file (.dzn);\n"
    "                     none without it (--solve, ssb files, instances.csv)\n"
    "  --time-limit SECONDS\n"
    "                     per instance (default 60)\n"
    "  --metadata DIR     write DIR/metadata.csv for an instance-space analysis\n"
    "                     from its manifests and solutions.csv\n"
    "  --design FILE      make every cell of a design file into DIR, with\n"
    "                     manifest.csv and design.svg\n"
    "  --out DIR          the folder of a design's files\n"
    "  --jobs N           generate on N threads (default: one per core); with\n"
    "                     --solve, solve N instances at once (default 1), as\n"
    "                     many as there are instances and memory allows\n"
    "  --shard I/N        make only cells I, I+N, I+2N, ... of the design; with\n"
    "                     --solve, only instances I, I+N, I+2N, ...\n"
    "  --merge DIR...     join the shards' manifests into manifest.csv and\n"
    "                     design.svg, and their solutions into solutions.csv,\n"
    "                     in the first DIR\n"
    "  -h, --help         show this help\n"
    "  -v, --version      show the version\n"
    "\n"
    "Exit status: 0 every file written; 1 some file skipped or failed, or the\n"
    "batch stopped or was not started (full disk, too little memory, unusable\n"
    "folder, a signal), or its manifest or figure not written, or with\n"
    "--solve an instance left without its row; 2 the input-data file, design,\n"
    "shard manifests, an instance or rules file or a folder without a manifest\n"
    "was refused, or the usage is wrong.\n";

struct Streams {
    QTextStream &out;
    QTextStream &err;
};

int wrongUsage(const Streams &io)
{
    io.err << Usage;
    return 2;
}

// An option the program does not have is named, with where to look: the
// whole usage would bury it.
int unknownOption(const QString &option, const Streams &io)
{
    static const QStringList Known = {"--format",   "--design",  "--out",
                                      "--jobs",     "--shard",   "--merge",
                                      "--measure",  "--convert", "--check-roster",
                                      "--solve",    "--rules",   "--time-limit",
                                      "--metadata", "--help",    "-h",
                                      "--version",  "-v"};
    if (Known.contains(option))
        return wrongUsage(io);
    io.err << "keldar-generate: unknown option '" << printable(option) << "'; try --help"
           << Qt::endl;
    return 2;
}

// The formats --format names; nothing, with the complaint printed, when it
// names none.
std::optional<ExportFormats> formatsArgument(const QString &list, QTextStream &err)
{
    const auto formats = parseFormats(list);
    if (!formats)
        err << "keldar-generate: --format takes txt, dzn, json, ssb or several with commas, not \""
            << list << "\"" << Qt::endl;
    return formats;
}

// A whole number from 1 to `high` written with digits alone.
std::optional<int> positive(const QString &text, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > high || !text.at(0).isDigit())
        return std::nullopt;
    return value;
}

// What a batch or a design run was asked for.
struct Generation {
    QString designPath;
    QString outDir;
    QString inputArgument;
    QString rules; // --rules as given
    RunOptions options;
    DesignRun shard;
    bool sharded = false;
    bool design() const { return !designPath.isEmpty() || !outDir.isEmpty() || sharded; }
};

// Reads one option of a run and its value; false, with the complaint
// printed, when the value is refused.
bool readRunOption(const QString &arg, const QString &value, Generation &run, QTextStream &err)
{
    if (arg == QLatin1String("--design")) {
        run.designPath = value;
    } else if (arg == QLatin1String("--out")) {
        run.outDir = value;
    } else if (arg == QLatin1String("--rules")) {
        run.rules = value;
    } else if (arg == QLatin1String("--format")) {
        const auto listed = formatsArgument(value, err);
        if (!listed)
            return false;
        run.options.formats = *listed;
    } else if (arg == QLatin1String("--jobs")) {
        const auto jobs = positive(value, 1024);
        if (!jobs) {
            err << "keldar-generate: --jobs " << value
                << ": a whole number from 1 to 1024 is needed" << Qt::endl;
            return false;
        }
        run.options.jobs = *jobs;
    } else if (arg == QLatin1String("--shard")) {
        const QStringList parts = value.split(u'/');
        const auto index = parts.size() == 2 ? positive(parts.at(0), 1'000'000) : std::nullopt;
        const auto count = parts.size() == 2 ? positive(parts.at(1), 1'000'000) : std::nullopt;
        if (!index || !count || *index > *count) {
            err << "keldar-generate: --shard " << value << ": I/N with 1 <= I <= N is needed"
                << Qt::endl;
            return false;
        }
        run.shard.shard = *index;
        run.shard.shards = *count;
        run.sharded = true;
    }
    return true;
}

// Commands that take their operands, the files or folders, as they come.
struct FileCommand {
    const char *name;
    bool takesFormat; // may follow --format LIST
    int (*run)(const QStringList &operands, std::optional<ExportFormats> formats,
               const Streams &io);
};

// The rules --rules names; nothing, with the refusal printed, when they
// cannot be read.
std::optional<RulesChoice> rulesArgument(const QString &argument, QTextStream &err)
{
    const RulesChoiceRead chosen = chooseRules(argument);
    if (!chosen.choice)
        err << "keldar-generate: " << chosen.error << "; nothing written" << Qt::endl;
    return chosen.choice;
}

int convertCommand(const QStringList &operands, std::optional<ExportFormats> formats,
                   const Streams &io)
{
    const ExportFormats to = formats.value_or(DznFormat | JsonFormat);
    QStringList files = operands;
    const qsizetype at = files.indexOf(QLatin1String("--rules"));
    const QString rules = at >= 0 ? files.value(at + 1) : QString();
    if (at >= 0)
        files.remove(at, std::min<qsizetype>(2, files.size() - at));
    if (files.isEmpty() || extraSuffixes(to).isEmpty() || (at >= 0 && rules.isEmpty()))
        return wrongUsage(io);
    const auto chosen = rulesArgument(rules, io.err);
    return chosen ? convertFiles(files, to, io.out, io.err, *chosen) : 2;
}

int metadataCommand(const QStringList &operands, std::optional<ExportFormats>, const Streams &io)
{
    return operands.size() != 1 ? wrongUsage(io) : writeMetadata(operands.first(), io.out, io.err);
}

int checkRosterCommand(const QStringList &operands, std::optional<ExportFormats>, const Streams &io)
{
    if (operands.size() < 2 || operands.size() > 3)
        return wrongUsage(io);
    return checkRosterFiles(operands, io.out, io.err);
}

int measureCommand(const QStringList &operands, std::optional<ExportFormats>, const Streams &io)
{
    return operands.isEmpty() ? wrongUsage(io) : measureFiles(operands, io.out, io.err);
}

// Joins shard manifests and shard solutions, whichever the folders hold.
int mergeCommand(const QStringList &operands, std::optional<ExportFormats>, const Streams &io)
{
    if (operands.isEmpty())
        return wrongUsage(io);
    bool manifests = false;
    for (const QString &folder : operands)
        manifests = manifests ||
                    !QDir(folder).entryList({QStringLiteral("manifest.shard-*.csv")}).isEmpty();
    const int solutions = mergeSolutionShards(operands, io.out, io.err);
    if (!manifests && solutions >= 0)
        return solutions;
    return std::max(mergeShards(operands, io.out, io.err), solutions);
}

// A time limit in seconds: a positive, finite number.
std::optional<double> seconds(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !(value > 0) || !std::isfinite(value) || value > 1e7)
        return std::nullopt;
    return value;
}

// --solve PATH... [--rules RULES] [--time-limit SECONDS] [--jobs N] [--shard I/N]
int solveCommand(const QStringList &operands, std::optional<ExportFormats>, const Streams &io)
{
    QStringList paths;
    QString rules;
    SolveOptions options;
    options.jobs = 1;
    for (qsizetype i = 0; i < operands.size(); ++i) {
        const QString &arg = operands.at(i);
        if (!arg.startsWith(u'-')) {
            paths.append(arg);
            continue;
        }
        static const QStringList Valued = {"--rules", "--time-limit", "--jobs", "--shard"};
        if (!Valued.contains(arg))
            return unknownOption(arg, io);
        if (i + 1 >= operands.size()) {
            io.err << "keldar-generate: " << arg << " needs a value; try --help" << Qt::endl;
            return 2;
        }
        const QString value = operands.at(++i);
        if (arg == QLatin1String("--rules")) {
            rules = value;
        } else if (arg == QLatin1String("--time-limit")) {
            const auto limit = seconds(value);
            if (!limit) {
                io.err << "keldar-generate: --time-limit " << value
                       << ": a number of seconds above 0 is needed" << Qt::endl;
                return 2;
            }
            options.timeLimit = *limit;
        } else if (arg == QLatin1String("--jobs") || arg == QLatin1String("--shard")) {
            Generation run;
            if (!readRunOption(arg, value, run, io.err))
                return 2;
            options.jobs = arg == QLatin1String("--jobs") ? run.options.jobs : options.jobs;
            options.shard = run.sharded ? run.shard.shard : options.shard;
            options.shards = run.sharded ? run.shard.shards : options.shards;
        } else {
            return unknownOption(arg, io);
        }
    }
    if (paths.isEmpty())
        return wrongUsage(io);
    const RulesChoiceRead chosen = chooseRules(rules);
    if (!chosen.choice) {
        io.err << "keldar-generate: " << chosen.error << "; nothing solved" << Qt::endl;
        return 2;
    }
    options.rules = *chosen.choice;
    return solveInstances(paths, options, io.out, io.err);
}

const FileCommand FileCommands[] = {
    {"--convert", true, convertCommand},  {"--check-roster", false, checkRosterCommand},
    {"--measure", false, measureCommand}, {"--merge", false, mergeCommand},
    {"--solve", false, solveCommand},     {"--metadata", false, metadataCommand},
};

// The options of a batch or design run; the exit status when they are
// refused.
std::variant<Generation, int> readRun(const QStringList &args, std::optional<ExportFormats> formats,
                                      const Streams &io)
{
    static const QStringList Valued = {"--design", "--out",    "--jobs",
                                       "--shard",  "--format", "--rules"};
    Generation run;
    run.options.progress = stderr;
    run.options.jobs = 0;
    run.options.formats = formats.value_or(TextFormat);
    // An option given twice is a slip whichever value was meant.
    QStringList given;
    if (formats)
        given.append(QStringLiteral("--format"));
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (Valued.contains(arg)) {
            if (i + 1 >= args.size() || given.contains(arg)) {
                io.err << "keldar-generate: " << arg
                       << (given.contains(arg) ? " given twice" : " needs a value")
                       << "; try --help" << Qt::endl;
                return 2;
            }
            given.append(arg);
            if (!readRunOption(arg, args.at(++i), run, io.err))
                return 2;
        } else if (arg.startsWith(u'-')) {
            return unknownOption(arg, io);
        } else if (!run.inputArgument.isEmpty()) {
            return wrongUsage(io);
        } else {
            run.inputArgument = arg;
        }
    }
    if (run.design() &&
        (run.designPath.isEmpty() || run.outDir.isEmpty() || !run.inputArgument.isEmpty())) {
        io.err << "keldar-generate: --design FILE and --out DIR go together, without an "
                  "input-data file\n"
               << Usage;
        return 2;
    }
    const auto rules = rulesArgument(run.rules, io.err);
    if (!rules)
        return 2;
    run.options.rules = *rules;
    return run;
}

int designCommand(Generation &run, const Streams &io)
{
    const QString shown = QDir::toNativeSeparators(run.designPath);
    QString why;
    const std::optional<QByteArray> bytes =
        readRegularFile(run.designPath, MaxDesignFileBytes, why);
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
    if (run.shard.shards > read.design->cellCount()) {
        io.err << "keldar-generate: --shard " << run.shard.shard << '/' << run.shard.shards
               << ": the design has only " << read.design->cellCount() << " cells" << Qt::endl;
        return 2;
    }
    run.shard.designPath = run.designPath;
    catchInterrupts();
    const BatchReport report =
        runDesign(*read.design, run.outDir, run.shard, QDir::currentPath(), &io.err, run.options);
    return report.allWritten() ? 0 : 1;
}

int batchCommand(const Generation &run, const Streams &io)
{
    const QString inputPath =
        run.inputArgument.isEmpty() ? QString::fromLatin1(InputFileName) : run.inputArgument;
    // Started by the app (no arguments) the mark is due, even for a missing
    // file; run by hand, none is left.
    const bool byApp = run.inputArgument.isEmpty();
    const ReadResult read = loadInput(inputPath, byApp ? ReadMark::Leave : ReadMark::Omit);
    if (!read.input) {
        // Started detached, the program has no console: the log is where the
        // user looks.
        logRefusal(inputPath, read, QDir::currentPath(), &io.err);
        return 2;
    }
    RunOptions options = run.options;
    if (byApp)
        options.planned = [inputPath](const BatchVerdict &verdict) {
            leaveReadMark(inputPath, verdict);
        };
    catchInterrupts();
    const BatchReport report = runBatch(*read.input, QDir::currentPath(), &io.err, options);
    return report.allWritten() ? 0 : 1;
}

// --format LIST may stand first, before any command.
std::variant<std::optional<ExportFormats>, int> leadingFormats(QStringList &args, QTextStream &err)
{
    if (args.size() <= 1 || args.first() != QLatin1String("--format"))
        return std::optional<ExportFormats>();
    const auto formats = formatsArgument(args[1], err);
    if (!formats)
        return 2;
    args.remove(0, 2);
    return formats;
}

int run(QStringList args, const Streams &io)
{
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        io.out << Usage;
        return 0;
    }
    if (args.contains(QLatin1String("--version")) || args.contains(QLatin1String("-v"))) {
        io.out << "keldar-generate " KELDAR_VERSION " (build " << keldar::buildId() << ")"
               << Qt::endl;
        return 0;
    }
    const auto leading = leadingFormats(args, io.err);
    if (const int *status = std::get_if<int>(&leading))
        return *status;
    const auto formats = std::get<std::optional<ExportFormats>>(leading);
    for (const FileCommand &command : FileCommands)
        if (args.value(0) == QLatin1String(command.name) && (command.takesFormat || !formats))
            return command.run(args.mid(1), formats, io);

    auto read = readRun(args, formats, io);
    if (const int *status = std::get_if<int>(&read))
        return *status;
    Generation &generation = std::get<Generation>(read);
    return generation.design() ? designCommand(generation, io) : batchCommand(generation, io);
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

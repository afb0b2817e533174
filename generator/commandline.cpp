#include "generator/commandline.h"

#include "generator/publish/userfile.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace keldar::generator {

namespace {

// Options with a value, and what their value is called in messages.
struct ValuedOption {
    const char *name;
    const char *valueName;
};

const ValuedOption Valued[] = {
    {"format", "LIST"},
    {"design", "FILE"},
    {"out", "DIR"},
    {"jobs", "N"},
    {"shard", "I/N"},
    {"rules", "RULES"},
    {"time-limit", "SECONDS"},
    {"solver", "NAME"},
    {"algorithm", "NAME"},
};

// The commands' own options, which take no value: what follows are operands.
const char *const CommandFlags[] = {"merge", "measure",  "convert",    "check-roster",
                                    "solve", "metadata", "bug-report", "score"};

const char FormatHelp[] =
    "  --format LIST      also write the instances as MiniZinc data (dzn), JSON\n"
    "                     (json) and/or Shift Scheduling Benchmark text under\n"
    "                     the rules (ssb, instance_<k>.<rules>.ssb.txt): LIST\n"
    "                     is txt, dzn, json, ssb or several with commas; the\n"
    "                     text file is always written; with dzn the folder's\n"
    "                     instances.csv lists them for mzn-bench\n";
const char RulesHelp[] = "  --rules RULES      week, fourweeks, rotation or a rules file (.dzn);\n"
                         "                     none without it\n";
const char GenerateJobsHelp[] =
    "  --jobs N           generate on N threads (default: one per core)\n";

QString text(const char *latin)
{
    return QString::fromUtf8(latin);
}

} // namespace

namespace {

// The commands and what each takes, the batch first.
const QList<CommandSpec> AllCommands = {
    {"",
     "keldar-generate [FILE] [--format LIST] [--rules RULES] [--jobs N]",
     "Generates nurse-rostering instances as an input-data file describes them.\n"
     "Without FILE it reads Input_data_KELDAR.TXT in the working directory and,\n"
     "once the file is read, leaves Input_data_KELDAR.TXT.read beside it with\n"
     "the process id and its verdict on the batch.  Instances go to\n"
     "instance_<k>.txt in the file's target folder, progress to output.log\n"
     "there, with manifest.csv and batch.svg; existing files are never\n"
     "overwritten.\n",
     {"format", "rules", "jobs"},
     0,
     1,
     "FILE"},
    {"--design",
     "keldar-generate --design FILE --out DIR [--format LIST] [--rules RULES]\n"
     "                       [--jobs N] [--shard I/N]",
     "Makes every cell of a design file into DIR, with manifest.csv and\n"
     "design.svg.\n"
     "  --shard I/N        make only cells I, I+N, I+2N, ... of the design\n",
     {"design", "out", "format", "rules", "jobs", "shard"},
     0,
     0,
     ""},
    {"--merge",
     "keldar-generate --merge DIR...",
     "Joins the shards' manifests into manifest.csv and design.svg, and their\n"
     "solutions into solutions.csv, in the first DIR.\n",
     {},
     1,
     -1,
     "DIR"},
    {"--measure",
     "keldar-generate --measure FILE...",
     "Prints the six measured indicators and the lower bound of instance files.\n",
     {},
     1,
     -1,
     "FILE"},
    {"--convert",
     "keldar-generate --convert FILE... [--format LIST] [--rules RULES]",
     "Writes instance files as dzn and json (or the formats --format names)\n"
     "beside them.\n",
     {"format", "rules"},
     1,
     -1,
     "FILE"},
    {"--check-roster",
     "keldar-generate --check-roster INSTANCE ROSTER [RULES]",
     "Prints a roster's cost and every broken rule; exit status 0 only for a\n"
     "feasible roster.\n",
     {},
     2,
     3,
     "INSTANCE ROSTER"},
    {"--solve",
     "keldar-generate --solve PATH... [--rules RULES] [--time-limit SECONDS]\n"
     "                       [--jobs N] [--shard I/N] [--solver cbc|gecode]",
     "Solves instance files (a folder: its instance_<k>.txt) with CBC: a roster\n"
     "instance_<k>.<rules>.roster beside each and a row in the folder's\n"
     "solutions.csv.  Without --rules, each instance under the rules it was\n"
     "built under (none for most).\n"
     "  --solver gecode    the reference model through MiniZinc with Gecode\n"
     "                     instead (minizinc on PATH):\n"
     "                     instance_<k>.<rules>.gecode.roster and\n"
     "                     solutions.gecode.csv\n"
     "  --time-limit SECONDS\n"
     "                     per instance (default 60)\n"
     "  --jobs N           solve N instances at once (default 1), as many as\n"
     "                     there are instances and memory allows\n"
     "  --shard I/N        solve only instances I, I+N, I+2N, ...\n",
     {"rules", "time-limit", "jobs", "shard", "solver"},
     1,
     -1,
     "PATH"},
    {"--metadata",
     "keldar-generate --metadata DIR [--rules RULES]",
     "Writes DIR/metadata.csv and options.json for an instance-space analysis\n"
     "from its manifests, solutions and scores: one algo_<name> column per\n"
     "algorithm under one rule set (RULES, or the one the folder was solved\n"
     "under).\n",
     {"rules"},
     1,
     1,
     "DIR"},
    {"--score",
     "keldar-generate --score DIR --algorithm NAME [--rules RULES]",
     "Scores an algorithm's rosters instance_<k>.<rules>.<NAME>.roster (and\n"
     "its seconds in NAME.times.csv, file,seconds) against the rules and the\n"
     "reference in solutions.csv: rows in DIR/scores.csv and the performance\n"
     "profile scores.svg.\n"
     "  --algorithm NAME   the algorithm, as its rosters are named\n",
     {"algorithm", "rules"},
     1,
     1,
     "DIR"},
    {"--bug-report",
     "keldar-generate --bug-report [DIR]",
     "Gathers what a problem report needs into one file to attach: the version\n"
     "and build, the system, DIR's input-data file and the last section of its\n"
     "output.log (DIR: the working directory).\n",
     {},
     0,
     1,
     "DIR"},
};

} // namespace

const QList<CommandSpec> &commands()
{
    return AllCommands;
}

QString usage()
{
    QString lines;
    for (const CommandSpec &command : commands())
        lines += (lines.isEmpty() ? QStringLiteral("Usage: ") : QStringLiteral("       ")) +
                 text(command.synopsis) + u'\n';
    return lines + u'\n' + text(commands().first().help) + u'\n' + text(FormatHelp) +
           text(RulesHelp) + text(GenerateJobsHelp) +
           QStringLiteral(
               "  -h, --help         show this help; after a command, the command's\n"
               "  -v, --version      show the version and build\n"
               "\n"
               "Commands: --design, --merge, --measure, --convert, --check-roster, --solve,\n"
               "--metadata and --bug-report; keldar-generate --solve --help (or any\n"
               "command with --help) tells one.  Options go in any order; \"--\" ends them.\n"
               "\n"
               "Exit status: 0 every file written; 1 some file skipped or failed, or the\n"
               "batch stopped or was not started (full disk, too little memory, unusable\n"
               "folder, a signal), or its manifest or figure not written, or with\n"
               "--solve an instance left without its row; 2 the input-data file, design,\n"
               "shard manifests, an instance or rules file or a folder without a manifest\n"
               "was refused, or the usage is wrong.\n");
}

QString commandHelp(const CommandSpec &command)
{
    QString help = QStringLiteral("Usage: ") + text(command.synopsis) + QStringLiteral("\n\n") +
                   text(command.help);
    if (command.options.contains(QStringLiteral("format")))
        help += text(FormatHelp);
    if (command.options.contains(QStringLiteral("rules")))
        help += text(RulesHelp);
    if (command.options.contains(QStringLiteral("jobs")) && QByteArray(command.flag) != "--solve")
        help += text(GenerateJobsHelp);
    return help;
}

std::optional<QString> CommandLine::value(const char *option) const
{
    const qsizetype at = names.indexOf(QLatin1String(option));
    return at < 0 ? std::nullopt : std::optional<QString>(values.at(at));
}

namespace {

QCommandLineParser &configured(QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const ValuedOption &option : Valued)
        parser.addOption(QCommandLineOption(QLatin1String(option.name), QString(),
                                            QLatin1String(option.valueName)));
    for (const char *flag : CommandFlags)
        parser.addOption(QCommandLineOption(QLatin1String(flag)));
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    parser.addOption(
        QCommandLineOption(QStringList{QStringLiteral("v"), QStringLiteral("version")}));
    return parser;
}

// The parser's complaint as one line of ours.
QString parseProblem(const QCommandLineParser &parser)
{
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().first();
        return QStringLiteral("unknown option '%1%2'")
            .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), printable(name));
    }
    static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'"));
    const QRegularExpressionMatch match = missing.match(parser.errorText());
    if (match.hasMatch())
        return match.captured(1) + QStringLiteral(" needs a value");
    return parser.errorText();
}

// Which command the options name; the usage error when two are named.
std::optional<QString> pickCommand(const QStringList &names, CommandLine &line)
{
    for (const QString &name : names) {
        const QString flag = QStringLiteral("--") + name;
        const bool design = name == QLatin1String("design") || name == QLatin1String("out");
        const CommandSpec *spec = nullptr;
        for (const CommandSpec &command : commands())
            if (flag == QLatin1String(command.flag) ||
                (design && QByteArray(command.flag) == "--design"))
                spec = &command;
        if (!spec)
            continue;
        if (line.command && line.command != spec)
            return QString::fromUtf8(line.command->flag) + QStringLiteral(" and ") +
                   QString::fromUtf8(spec->flag) + QStringLiteral(" do not go together");
        line.command = spec;
    }
    if (!line.command)
        line.command = &commands().first();
    return std::nullopt;
}

// Every option given once, and only those the command takes.
std::optional<QString> checkOptions(const CommandLine &line)
{
    for (const QString &name : line.names) {
        if (line.names.count(name) > 1)
            return QStringLiteral("--%1 given twice").arg(name);
        const bool own = QStringLiteral("--") + name == QLatin1String(line.command->flag) ||
                         line.command->options.contains(name);
        const bool general = name == QLatin1String("help") || name == QLatin1String("version") ||
                             name == QLatin1String("h") || name == QLatin1String("v");
        if (!own && !general)
            return QStringLiteral("--%1 does not go with %2")
                .arg(name, *line.command->flag ? QString::fromUtf8(line.command->flag)
                                               : QStringLiteral("a batch"));
    }
    if (QByteArray(line.command->flag) == "--design" &&
        (!line.value("design") || !line.value("out")))
        return QStringLiteral("--design FILE and --out DIR go together");
    return std::nullopt;
}

std::optional<QString> checkOperands(const CommandLine &line)
{
    const CommandSpec &command = *line.command;
    const qsizetype count = line.operands.size();
    if (count < command.leastOperands)
        return QString::fromUtf8(*command.flag ? command.flag : "a batch") +
               QStringLiteral(" needs ") + QString::fromUtf8(command.operands);
    if (command.mostOperands >= 0 && count > command.mostOperands)
        return QStringLiteral("one operand too many: '%1'")
            .arg(printable(line.operands.at(command.mostOperands)));
    return std::nullopt;
}

} // namespace

int usageError(const CommandLine &line, const QString &problem, QTextStream &err)
{
    const QString help = line.command && *line.command->flag
                             ? QStringLiteral("keldar-generate ") +
                                   QString::fromUtf8(line.command->flag) + QStringLiteral(" --help")
                             : QStringLiteral("keldar-generate --help");
    err << "keldar-generate: " << problem << "; try " << help << Qt::endl;
    return 2;
}

// Help asked for anywhere before "--" is help, even where it would be an
// option's value (--design --help): the command it follows is told.
std::optional<CommandLine> helpAsked(const QStringList &args)
{
    const QStringList options = args.mid(0, args.indexOf(QStringLiteral("--")));
    if (!options.contains(QStringLiteral("--help")) && !options.contains(QStringLiteral("-h")))
        return std::nullopt;
    CommandLine line;
    line.help = true;
    for (const QString &arg : options)
        if (arg.startsWith(QLatin1String("--")))
            line.names.append(arg.mid(2));
    pickCommand(line.names, line);
    return line;
}

std::optional<CommandLine> readCommandLine(const QStringList &args, QTextStream &err)
{
    if (auto help = helpAsked(args))
        return help;
    QCommandLineParser parser;
    CommandLine line;
    if (!configured(parser).parse(QStringList{QStringLiteral("keldar-generate")} + args)) {
        usageError(line, parseProblem(parser), err);
        return std::nullopt;
    }
    line.names = parser.optionNames();
    for (const QString &name : line.names)
        line.values.append(parser.value(name));
    line.operands = parser.positionalArguments();
    line.help = parser.isSet(QStringLiteral("help"));
    line.version = parser.isSet(QStringLiteral("version"));
    if (line.help || line.version) {
        pickCommand(line.names, line);
        return line;
    }
    std::optional<QString> problem = pickCommand(line.names, line);
    if (!problem)
        problem = checkOptions(line);
    if (!problem)
        problem = checkOperands(line);
    if (problem) {
        usageError(line, *problem, err);
        return std::nullopt;
    }
    return line;
}

} // namespace keldar::generator

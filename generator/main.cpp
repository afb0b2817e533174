#include "generator/batch.h"
#include "generator/batchtext.h"
#include "generator/exportformats.h"
#include "generator/handshake.h"
#include "generator/inputfile.h"
#include "generator/instancefile.h"
#include "generator/lowerbound.h"
#include "generator/roster.h"
#include "generator/shards.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <optional>

using namespace keldar::generator;

namespace {

const char Usage[] = "Usage: keldar-generate [--format LIST] [FILE] [--jobs N]\n"
                     "       keldar-generate [--format LIST] --design FILE --out DIR [--jobs N]\n"
                     "                       [--shard I/N]\n"
                     "       keldar-generate --merge DIR...\n"
                     "       keldar-generate --measure FILE...\n"
                     "       keldar-generate [--format LIST] --convert FILE...\n"
                     "       keldar-generate --check-roster INSTANCE ROSTER [RULES]\n"
                     "\n"
                     "Generates nurse-rostering instances as an input-data file describes them.\n"
                     "Without FILE it reads Input_data_KELDAR.TXT in the working directory.\n"
                     "Without FILE, once the file is read, Input_data_KELDAR.TXT.read is left\n"
                     "beside it, holding the process id.\n"
                     "Instances go to instance_<k>.txt in the file's target folder, progress to\n"
                     "output.log there, with manifest.csv and batch.svg; existing files are\n"
                     "never overwritten.\n"
                     "\n"
                     "  --format LIST      also write the instances as MiniZinc data (dzn) and/or\n"
                     "                     JSON (json): LIST is txt, dzn, json or several with\n"
                     "                     commas; the text file is always written\n"
                     "  --measure FILE...  print the six measured indicators and the lower bound\n"
                     "                     of instance files\n"
                     "  --convert FILE...  write instance files as dzn and json (or the formats\n"
                     "                     --format names) beside them\n"
                     "  --check-roster INSTANCE ROSTER [RULES]\n"
                     "                     print a roster's cost and every broken rule;\n"
                     "                     exit status 0 only for a feasible roster\n"
                     "  --design FILE      make every cell of a design file into DIR, with\n"
                     "                     manifest.csv and design.svg\n"
                     "  --out DIR          the folder of a design's files\n"
                     "  --jobs N           generate on N threads (default: one per core)\n"
                     "  --shard I/N        make only cells I, I+N, I+2N, ... of the design\n"
                     "  --merge DIR...     join the shards' manifests into manifest.csv and\n"
                     "                     design.svg in the first DIR\n"
                     "  --help             show this help\n"
                     "  --version          show the version\n"
                     "\n"
                     "Exit status: 0 every file written; 1 some file skipped or failed, or the\n"
                     "batch stopped or was not started (full disk, unusable folder); 2 the\n"
                     "input-data file, design, shard manifests or an instance file was\n"
                     "refused, or the usage is wrong.\n";

// The formats --format names; nothing, with the complaint printed, when it
// names none.
std::optional<ExportFormats> formatsArgument(const QString &list, QTextStream &err)
{
    const auto formats = parseFormats(list);
    if (!formats)
        err << "keldar-generate: --format takes txt, dzn, json or several with commas, not \""
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

int measureFiles(const QStringList &paths, QTextStream &out, QTextStream &err)
{
    return forEachInstanceFile(paths, err, [&out](const QString &path, const Instance &instance) {
        out << QDir::toNativeSeparators(path) << measuredText(measure(instance)) << " lowerBound "
            << lowerBound(instance).text() << Qt::endl;
        return 0;
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        out << Usage;
        return 0;
    }
    if (args.contains(QLatin1String("--version"))) {
        out << "keldar-generate " KELDAR_VERSION << Qt::endl;
        return 0;
    }
    std::optional<ExportFormats> formats;
    if (args.size() > 1 && args.first() == QLatin1String("--format")) {
        formats = formatsArgument(args[1], err);
        if (!formats)
            return 2;
        args.remove(0, 2);
    }
    auto wrongUsage = [&] {
        err << Usage;
        return 2;
    };
    const QString command = args.value(0);
    const QStringList operands = args.mid(1);
    if (command == QLatin1String("--convert")) {
        const ExportFormats to = formats.value_or(DznFormat | JsonFormat);
        if (operands.isEmpty() || extraSuffixes(to).isEmpty())
            return wrongUsage();
        return convertFiles(operands, to, out, err);
    }
    if (!formats && command == QLatin1String("--check-roster"))
        return operands.size() < 2 || operands.size() > 3 ? wrongUsage()
                                                          : checkRosterFiles(operands, out, err);
    if (!formats && command == QLatin1String("--measure"))
        return operands.isEmpty() ? wrongUsage() : measureFiles(operands, out, err);
    if (command == QLatin1String("--merge"))
        return operands.isEmpty() ? wrongUsage() : mergeShards(operands, out, err);

    QString designPath;
    QString outDir;
    QString inputArgument;
    RunOptions options;
    options.progress = stderr;
    options.jobs = 0;
    options.formats = formats.value_or(TextFormat);
    DesignRun shard;
    bool sharded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        const bool valued = arg == QLatin1String("--design") || arg == QLatin1String("--out") ||
                            arg == QLatin1String("--jobs") || arg == QLatin1String("--shard") ||
                            arg == QLatin1String("--format");
        if (valued && i + 1 >= args.size()) {
            err << "keldar-generate: " << arg << " needs a value\n" << Usage;
            return 2;
        }
        if (arg == QLatin1String("--design")) {
            designPath = args.at(++i);
        } else if (arg == QLatin1String("--out")) {
            outDir = args.at(++i);
        } else if (arg == QLatin1String("--format")) {
            const auto listed = formatsArgument(args.at(++i), err);
            if (!listed)
                return 2;
            options.formats = *listed;
        } else if (arg == QLatin1String("--jobs")) {
            const auto jobs = positive(args.at(++i), 1024);
            if (!jobs) {
                err << "keldar-generate: --jobs " << args.at(i)
                    << ": a whole number from 1 to 1024 is needed" << Qt::endl;
                return 2;
            }
            options.jobs = *jobs;
        } else if (arg == QLatin1String("--shard")) {
            const QStringList parts = args.at(++i).split(u'/');
            const auto index = parts.size() == 2 ? positive(parts.at(0), 1'000'000) : std::nullopt;
            const auto count = parts.size() == 2 ? positive(parts.at(1), 1'000'000) : std::nullopt;
            if (!index || !count || *index > *count) {
                err << "keldar-generate: --shard " << args.at(i)
                    << ": I/N with 1 <= I <= N is needed" << Qt::endl;
                return 2;
            }
            shard.shard = *index;
            shard.shards = *count;
            sharded = true;
        } else if (arg.startsWith(u'-') || !inputArgument.isEmpty()) {
            return wrongUsage();
        } else {
            inputArgument = arg;
        }
    }

    if (!designPath.isEmpty() || !outDir.isEmpty() || sharded) {
        if (designPath.isEmpty() || outDir.isEmpty() || !inputArgument.isEmpty()) {
            err << "keldar-generate: --design FILE and --out DIR go together, without an "
                   "input-data file\n"
                << Usage;
            return 2;
        }
        QFile file(designPath);
        if (!file.open(QIODevice::ReadOnly)) {
            err << "keldar-generate: " << QDir::toNativeSeparators(designPath) << ": "
                << file.errorString() << Qt::endl;
            return 2;
        }
        const DesignRead read = readDesign(file.read(MaxDesignFileBytes + 1));
        if (!read.design) {
            err << "keldar-generate: " << QDir::toNativeSeparators(designPath) << ": " << read.error
                << "; nothing written" << Qt::endl;
            return 2;
        }
        if (shard.shards > read.design->cellCount()) {
            err << "keldar-generate: --shard " << shard.shard << '/' << shard.shards
                << ": the design has only " << read.design->cellCount() << " cells" << Qt::endl;
            return 2;
        }
        shard.designPath = designPath;
        const BatchReport report =
            runDesign(*read.design, outDir, shard, QDir::currentPath(), &err, options);
        return report.allWritten() ? 0 : 1;
    }

    const QString inputPath =
        inputArgument.isEmpty() ? QString::fromLatin1(InputFileName) : inputArgument;
    // Started by the app (no arguments) the mark is due, even for a missing
    // file; run by hand, none is left.
    const ReadResult read =
        loadInput(inputPath, inputArgument.isEmpty() ? ReadMark::Leave : ReadMark::Omit);
    if (!read.input) {
        // Started detached, the program has no console: the log is where the
        // user looks.
        logRefusal(inputPath, read, QDir::currentPath(), &err);
        return 2;
    }
    const BatchReport report = runBatch(*read.input, QDir::currentPath(), &err, options);
    return report.allWritten() ? 0 : 1;
}

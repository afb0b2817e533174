#include "generator/batch.h"
#include "generator/exportformats.h"
#include "generator/handshake.h"
#include "generator/instancefile.h"
#include "generator/lowerbound.h"
#include "generator/roster.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

using namespace keldar::generator;

namespace {

const char Usage[] = "Usage: keldar-generate [--format LIST] [FILE]\n"
                     "       keldar-generate --measure FILE...\n"
                     "       keldar-generate [--format LIST] --convert FILE...\n"
                     "       keldar-generate --check-roster INSTANCE ROSTER [RULES]\n"
                     "\n"
                     "Generates nurse-rostering instances as an input-data file describes them.\n"
                     "Without FILE it reads Input_data_KELDAR.TXT in the working directory.\n"
                     "Once the file is read, FILE.read is left beside it, holding the process id.\n"
                     "Instances go to instance_<k>.txt in the file's target folder, progress to\n"
                     "output.log there; existing instance files are never overwritten.\n"
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
                     "  --help             show this help\n"
                     "  --version          show the version\n"
                     "\n"
                     "Exit status: 0 every file written; 1 some file skipped or failed, or the\n"
                     "batch stopped or was not started (full disk, unusable folder); 2 the\n"
                     "input-data file or an instance file was refused, or the usage is wrong.\n";

int measureFiles(const QStringList &paths, QTextStream &out, QTextStream &err)
{
    int status = 0;
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            err << "keldar-generate: " << QDir::toNativeSeparators(path) << ": "
                << file.errorString() << Qt::endl;
            status = 2;
            continue;
        }
        const QByteArray text = file.read(MaxInstanceFileBytes + 1);
        if (text.size() > MaxInstanceFileBytes) {
            err << "keldar-generate: " << QDir::toNativeSeparators(path) << ": larger than "
                << MaxInstanceFileBytes << " bytes, no instance file" << Qt::endl;
            status = 2;
            continue;
        }
        const ParsedInstance parsed = parseInstance(text);
        if (!parsed.instance) {
            err << "keldar-generate: " << QDir::toNativeSeparators(path) << ": " << parsed.error
                << Qt::endl;
            status = 2;
            continue;
        }
        const Indicators measured = measure(*parsed.instance);
        out << QDir::toNativeSeparators(path);
        for (int k = 0; k < IndicatorCount; ++k)
            out << ' ' << IndicatorNames[k] << ' '
                << QString::number(measured[static_cast<std::size_t>(k)], 'f', 6);
        out << " lowerBound " << lowerBound(*parsed.instance).text() << Qt::endl;
    }
    return status;
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
        formats = parseFormats(args[1]);
        if (!formats) {
            err << "keldar-generate: --format takes txt, dzn, json or several with commas, not \""
                << args[1] << "\"" << Qt::endl;
            return 2;
        }
        args.remove(0, 2);
    }
    if (!args.isEmpty() && args.first() == QLatin1String("--convert")) {
        args.removeFirst();
        const ExportFormats to = formats.value_or(DznFormat | JsonFormat);
        if (args.isEmpty() || extraSuffixes(to).isEmpty()) {
            err << Usage;
            return 2;
        }
        return convertFiles(args, to, out, err);
    }
    if (!formats && !args.isEmpty() && args.first() == QLatin1String("--check-roster")) {
        args.removeFirst();
        if (args.size() < 2 || args.size() > 3) {
            err << Usage;
            return 2;
        }
        return checkRosterFiles(args, out, err);
    }
    if (!formats && !args.isEmpty() && args.first() == QLatin1String("--measure")) {
        args.removeFirst();
        if (args.isEmpty()) {
            err << Usage;
            return 2;
        }
        return measureFiles(args, out, err);
    }
    if (args.size() > 1 || (!args.isEmpty() && args.first().startsWith(u'-'))) {
        err << Usage;
        return 2;
    }

    const QString inputPath = args.isEmpty() ? QString::fromLatin1(InputFileName) : args.first();
    // Started by the app (no arguments) the mark is due even for a missing file.
    const ReadResult read =
        loadInput(inputPath, args.isEmpty() ? MarkMissing::Yes : MarkMissing::No);
    if (!read.input) {
        // Started detached, the program has no console: the log is where the
        // user looks.
        logRefusal(inputPath, read, QDir::currentPath(), &err);
        return 2;
    }
    const BatchReport report =
        runBatch(*read.input, QDir::currentPath(), &err, formats.value_or(TextFormat));
    return report.allWritten() ? 0 : 1;
}

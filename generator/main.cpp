#include "generator/batch.h"
#include "generator/handshake.h"
#include "generator/instancefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

using namespace keldar::generator;

namespace {

const char Usage[] = "Usage: keldar-generate [FILE]\n"
                     "       keldar-generate --measure FILE...\n"
                     "\n"
                     "Generates nurse-rostering instances as an input-data file describes them.\n"
                     "Without FILE it reads Input_data_KELDAR.TXT in the working directory.\n"
                     "Once the file is read, FILE.read is left beside it, holding the process id.\n"
                     "Instances go to instance_<k>.txt in the file's target folder, progress to\n"
                     "output.log there; existing instance files are never overwritten.\n"
                     "\n"
                     "  --measure FILE...  print the six measured indicators of instance files\n"
                     "  --help             show this help\n"
                     "  --version          show the version\n"
                     "\n"
                     "Exit status: 0 every file written, 1 some file skipped or failed,\n"
                     "2 the input-data file or an instance file was refused.\n";

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
        const ParsedInstance parsed = parseInstance(file.readAll());
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
        out << Qt::endl;
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
    if (!args.isEmpty() && args.first() == QLatin1String("--measure")) {
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
    const BatchReport report = runBatch(*read.input, QDir::currentPath(), &err);
    return report.allWritten() ? 0 : 1;
}

// Generation speed and accuracy for a few sizes, against the time it takes
// only to write the same bytes, and the time the lower bound takes.
#include "generator/generate.h"
#include "generator/instancefile.h"
#include "generator/lowerbound.h"
#include "generator/random.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

using namespace keldar::generator;

namespace {

struct Size {
    int nurses, days, shifts, files;
};

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main()
{
    const Size sizes[] = {{25, 7, 4, 1000}, {100, 28, 4, 100}, {500, 365, 5, 3}};
    const Indicators targets{0.5, 0.3, 0.7, 0.6, 0.4, 0.2};
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    std::printf("%-12s %7s %12s %14s %12s %10s %14s\n", "size", "files", "instances/s",
                "largest dev.", "write only", "ratio", "bound/instance");
    for (const Size &size : sizes) {
        BatchInput in;
        in.nurses = size.nurses;
        in.days = size.days;
        in.shifts = size.shifts;
        in.targets = targets;
        in.files = size.files;
        in.firstFile = 1;
        in.seed = 100;
        in.folder = dir.path();

        std::vector<QByteArray> texts;
        double worst = 0;
        qint64 boundNanoseconds = 0;
        QElapsedTimer clock;
        clock.start();
        for (int k = 1; k <= size.files; ++k) {
            Provenance provenance;
            provenance.fileNumber = k;
            provenance.fileSeed = fileSeed(in.seed, k);
            const Instance instance = generate(in, provenance.fileSeed);
            provenance.measured = measure(instance);
            worst = std::max(worst, largestDeviation(provenance.measured, targets));
            texts.push_back(instanceText(instance, in, provenance));
            if (!writeBytes(dir.filePath(QStringLiteral("g%1.txt").arg(k)), texts.back()))
                return 1;
            QElapsedTimer boundClock;
            boundClock.start();
            if (!lowerBound(instance).cost)
                return 1;
            boundNanoseconds += boundClock.nsecsElapsed();
        }
        const double generating =
            static_cast<double>(clock.nsecsElapsed() - boundNanoseconds) / 1e9;

        clock.restart();
        for (int k = 1; k <= size.files; ++k)
            if (!writeBytes(dir.filePath(QStringLiteral("w%1.txt").arg(k)),
                            texts[std::size_t(k - 1)]))
                return 1;
        const double writing = static_cast<double>(clock.nsecsElapsed()) / 1e9;

        const QByteArray label = QByteArray::number(size.nurses) + 'x' +
                                 QByteArray::number(size.days) + 'x' +
                                 QByteArray::number(size.shifts);
        std::printf("%-12s %7d %12.1f %14.6f %10.3f s %9.1fx %11.2f ms\n", label.constData(),
                    size.files, size.files / generating, worst, writing, generating / writing,
                    static_cast<double>(boundNanoseconds) / 1e6 / size.files);
    }
    return 0;
}

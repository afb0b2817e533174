// Generation speed and accuracy for a few sizes, against the time it takes
// only to write the same bytes, and the time the lower bound takes.
#include "generator/files/instancefile.h"
#include "generator/instance/generate.h"
#include "generator/instance/random.h"
#include "generator/solve/lowerbound.h"

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

// Speed, accuracy and the bound's share over three sizes; false when a file
// cannot be written or an instance has no bound.
bool benchSizes(const QTemporaryDir &dir, const Indicators &targets)
{
    const Size sizes[] = {{25, 7, 4, 1000}, {100, 28, 4, 100}, {500, 365, 5, 3}};
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
                return false;
            QElapsedTimer boundClock;
            boundClock.start();
            if (!lowerBound(instance).cost)
                return false;
            boundNanoseconds += boundClock.nsecsElapsed();
        }
        const double generating =
            static_cast<double>(clock.nsecsElapsed() - boundNanoseconds) / 1e9;

        clock.restart();
        for (int k = 1; k <= size.files; ++k)
            if (!writeBytes(dir.filePath(QStringLiteral("w%1.txt").arg(k)),
                            texts[std::size_t(k - 1)]))
                return false;
        const double writing = static_cast<double>(clock.nsecsElapsed()) / 1e9;

        const QByteArray label = QByteArray::number(size.nurses) + 'x' +
                                 QByteArray::number(size.days) + 'x' +
                                 QByteArray::number(size.shifts);
        std::printf("%-12s %7d %12.1f %14.6f %10.3f s %9.1fx %11.2f ms\n", label.constData(),
                    size.files, size.files / generating, worst, writing, generating / writing,
                    static_cast<double>(boundNanoseconds) / 1e6 / size.files);
    }

    return true;
}

void benchMixedTargets(const Indicators &targets)
{
    // Preference targets at 0, 1 and in between take the direct-table path;
    // it must cost no more than a few times ordinary targets on the same size.
    struct Mixed {
        int nurses, days, shifts;
        Indicators targets;
    };
    const Mixed mixed[] = {{5000, 28, 2, {0, 1, 0.5, 0.6, 0.4, 0.2}},
                           {5800, 28, 2, {0, 1, 0.5, 0.6, 0.4, 0.2}},
                           {3, 5792, 1, {0.5, 0, 1, 0.6, 0.4, 0.2}}};
    std::printf("\n%-12s %-16s %12s %12s %10s\n", "size", "targets", "s/instance", "ordinary",
                "ratio");
    for (const Mixed &m : mixed) {
        BatchInput in;
        in.nurses = m.nurses;
        in.days = m.days;
        in.shifts = m.shifts;
        auto seconds = [&in](const Indicators &goal) {
            in.targets = goal;
            QElapsedTimer clock;
            clock.start();
            const Instance instance = generate(in, fileSeed(100, 1));
            (void)measure(instance);
            return static_cast<double>(clock.nsecsElapsed()) / 1e9;
        };
        const double special = seconds(m.targets);
        const double ordinary = seconds(targets);
        const QByteArray label = QByteArray::number(m.nurses) + 'x' + QByteArray::number(m.days) +
                                 'x' + QByteArray::number(m.shifts);
        const QByteArray shown = QByteArray::number(m.targets[0]) + ' ' +
                                 QByteArray::number(m.targets[1]) + ' ' +
                                 QByteArray::number(m.targets[2]);
        std::printf("%-12s %-16s %12.3f %12.3f %9.2fx\n", label.constData(), shown.constData(),
                    special, ordinary, special / ordinary);
    }
}

} // namespace

int main()
{
    const Indicators targets{0.5, 0.3, 0.7, 0.6, 0.4, 0.2};
    QTemporaryDir dir;
    if (!dir.isValid() || !benchSizes(dir, targets))
        return 1;
    benchMixedTargets(targets);
    return 0;
}

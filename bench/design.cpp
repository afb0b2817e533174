// A whole design on 1 and on all threads, and what the grouped syncs cost
// beside writing the same bytes with one sync at the end; run by hand.
#include "generator/input/design.h"
#include "generator/files/instancefile.h"
#include "generator/instance/generate.h"
#include "generator/instance/random.h"
#include "generator/publish/publish.h"
#include "generator/run/batch.h"
#include "generator/run/manifest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

using namespace keldar::generator;

namespace {

const QByteArray Design729 = "nurses = 25\n"
                             "days = 7\n"
                             "shifts = 4\n"
                             "freeShift = yes\n"
                             "periodPreference = 0.25, 0.5, 0.75\n"
                             "dayPreference = 0.25, 0.5, 0.75\n"
                             "shiftPreference = 0.25, 0.5, 0.75\n"
                             "totalCoverage = 0.2, 0.35, 0.5\n"
                             "dayCoverage = 0.25, 0.5, 0.75\n"
                             "shiftCoverage = 0.25, 0.5, 0.75\n"
                             "instancesPerCell = 10\n";

double seconds(const QElapsedTimer &clock)
{
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

void designRun(const Design &design, int jobs)
{
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-XXXXXX"));
    RunOptions options;
    options.jobs = jobs;
    QElapsedTimer clock;
    clock.start();
    const BatchReport report = runDesign(design, dir.path(), {}, dir.path(), nullptr, options);
    const double took = seconds(clock);
    QFile file(QDir(dir.path()).filePath(QStringLiteral("manifest.csv")));
    file.open(QIODevice::ReadOnly);
    const auto rows = readManifest(file.readAll()).rows.value_or(QList<ManifestRow>());
    double worstMet = 0;
    double worst = 0;
    qint64 met = 0;
    for (const ManifestRow &row : rows) {
        worst = std::max(worst, row.largestDeviation());
        if (row.met()) {
            ++met;
            worstMet = std::max(worstMet, row.largestDeviation());
        }
    }
    std::printf("design %lld files, jobs %d: %.2f s, %.0f instances/s, %lld met (largest "
                "deviation %.4f), %lld nearest reachable (largest deviation %.4f)\n",
                static_cast<long long>(report.written), jobs, took,
                static_cast<double>(report.written) / took, static_cast<long long>(met), worstMet,
                static_cast<long long>(rows.size() - met), worst);
}

// The same 1,000 files three ways: the run as keldar-generate makes it
// (grouped syncs), only generating them, and only writing their bytes with
// one sync of the file system at the end.
void syncComparison(int jobs)
{
    BatchInput in;
    in.nurses = 25;
    in.days = 7;
    in.shifts = 4;
    in.targets = {0.5, 0.3, 0.7, 0.6, 0.4, 0.2};
    in.files = 1000;
    in.firstFile = 1;
    in.seed = 100;

    QElapsedTimer clock;
    clock.start();
    std::vector<QByteArray> texts;
    for (qint64 k = 1; k <= in.files; ++k) {
        Provenance provenance;
        provenance.fileNumber = k;
        provenance.fileSeed = fileSeed(in.seed, k);
        const Instance instance = generate(in, provenance.fileSeed);
        provenance.measured = measure(instance);
        texts.push_back(instanceText(instance, in, provenance));
    }
    const double generating = seconds(clock);

    QTemporaryDir plain(QDir::currentPath() + QStringLiteral("/bench-XXXXXX"));
    ::sync();
    clock.restart();
    for (std::size_t k = 0; k < texts.size(); ++k) {
        QFile file(QDir(plain.path()).filePath(QStringLiteral("instance_%1.txt").arg(k + 1)));
        if (!file.open(QIODevice::WriteOnly) || file.write(texts[k]) != texts[k].size())
            std::printf("cannot write %s\n", qPrintable(file.fileName()));
    }
    const int folder = ::open(QFile::encodeName(plain.path()).constData(), O_RDONLY);
    ::syncfs(folder);
    ::close(folder);
    const double writing = seconds(clock);

    // Publishing alone, the way the run does: groups of unnamed files, one
    // sync a group, then the names; and, for contrast, one sync per file.
    auto publishing = [&texts](bool grouped) {
        QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-XXXXXX"));
        ::sync();
        QElapsedTimer watch;
        watch.start();
        const std::size_t group = grouped ? 1024 : 1; // as the run groups them
        for (std::size_t from = 0; from < texts.size(); from += group) {
            std::vector<PendingFile> pending(std::min(group, texts.size() - from));
            std::vector<PendingFile *> pointers;
            for (std::size_t k = 0; k < pending.size(); ++k) {
                prepare(dir.path(), texts[from + k], pending[k]);
                pointers.push_back(&pending[k]);
            }
            syncFiles(pointers, grouped);
            for (std::size_t k = 0; k < pending.size(); ++k)
                giveName(pending[k], QStringLiteral("instance_%1.txt").arg(from + k + 1));
            syncFolder(dir.path());
        }
        return seconds(watch);
    };
    const double groupedPublishing = publishing(true);
    const double eachSynced = publishing(false);

    QTemporaryDir run(QDir::currentPath() + QStringLiteral("/bench-XXXXXX"));
    in.folder = run.path();
    RunOptions options;
    options.jobs = jobs;
    ::sync();
    clock.restart();
    runBatch(in, run.path(), nullptr, options);
    const double running = seconds(clock);
    std::printf("1000 x 25x7x4: writing with one sync %.3f s; publishing grouped %.3f s (%.2fx), "
                "a sync per file %.3f s (%.2fx); generating %.3f s; whole run on %d threads "
                "%.3f s (%.2fx generating + writing)\n",
                writing, groupedPublishing, groupedPublishing / writing, eachSynced,
                eachSynced / writing, generating, jobs, running, running / (generating + writing));
}

} // namespace

int main(int argc, char **argv)
{
    const bool designToo = argc < 2 || QByteArray(argv[1]) != "--sync-only";
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    for (int round = 0; round < 3; ++round)
        for (int jobs : {1, cores})
            syncComparison(jobs);
    if (designToo) {
        const Design design = *readDesign(Design729).design;
        for (int jobs : {1, cores})
            designRun(design, jobs);
    }
    return 0;
}

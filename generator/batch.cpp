#include "generator/batch.h"

#include "generator/generate.h"
#include "generator/handshake.h"
#include "generator/instancefile.h"
#include "generator/lowerbound.h"
#include "generator/outputlog.h"
#include "generator/publish.h"
#include "generator/random.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cmath>

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace keldar::generator {

namespace {

QString inputsLine(const BatchInput &in)
{
    QString text = QStringLiteral("inputs: nurses %1, days %2, shifts %3, free shift counted %4")
                       .arg(in.nurses)
                       .arg(in.days)
                       .arg(in.shifts)
                       .arg(in.freeCounted ? 1 : 0);
    for (int k = 0; k < IndicatorCount; ++k)
        text += QStringLiteral(", %1 %2")
                    .arg(QLatin1String(IndicatorNames[k]))
                    .arg(in.targets[static_cast<std::size_t>(k)], 0, 'g', 15);
    text += QStringLiteral(", files %1, first file %2, seed %3, folder %4")
                .arg(in.files)
                .arg(in.firstFile)
                .arg(in.seed)
                .arg(in.folder);
    return text;
}

QString measuredText(const Indicators &measured)
{
    QString text;
    for (int k = 0; k < IndicatorCount; ++k)
        text += QStringLiteral(" %1 %2")
                    .arg(QLatin1String(IndicatorNames[k]))
                    .arg(measured[static_cast<std::size_t>(k)], 0, 'f', 6);
    return text;
}

// Names each target the file misses by more than the tolerance; the value
// reached is the nearest the search found.
QString unreachedText(const Indicators &measured, const Indicators &targets)
{
    QString text;
    for (int k = 0; k < IndicatorCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        if (unreachable(measured[i], targets[i]))
            text += QStringLiteral("; unreachable: %1 target %2, nearest reached %3")
                        .arg(QLatin1String(IndicatorNames[k]))
                        .arg(targets[i], 0, 'g', 15)
                        .arg(measured[i], 0, 'f', 6);
    }
    return text;
}

// Errors after which no further file can be written to the disk.
bool diskFull(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EROFS;
}

struct DiskSpace {
    qint64 free = -1; // bytes free for this user; -1 when unknown
    qint64 block = 1; // every file takes whole blocks
};

DiskSpace diskSpace(const QString &folder)
{
    DiskSpace space;
    struct statvfs info = {};
    if (::statvfs(QFile::encodeName(folder).constData(), &info) == 0 && info.f_frsize > 0) {
        space.free = static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
        space.block = static_cast<qint64>(info.f_frsize);
    }
    return space;
}

// Whether anything, even a dangling link, holds the name.
bool nameTaken(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace

ReadResult loadInput(const QString &path, MarkMissing markMissing)
{
    QFile file(path);
    QByteArray bytes;
    const bool opened = file.open(QIODevice::ReadOnly);
    // One byte over the limit is enough to refuse the file.
    if (opened)
        bytes = file.read(MaxInputBytes + 1);
    const bool readFailed = !opened || file.error() != QFileDevice::NoError;
    const QString readError = file.errorString();
    file.close();

    if (opened || markMissing == MarkMissing::Yes || QFileInfo::exists(path)) {
        // A new mark in place of whatever stands at its name: a link there
        // goes, its target is never written.  The app may see the mark empty
        // for a moment; it waits for the id.
        const QString markPath = path + QLatin1String(ReadMarkSuffix);
        QFile::remove(markPath);
        QFile mark(markPath);
        if (mark.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            mark.write(readMarkText(QCoreApplication::applicationPid()));
            mark.close();
        }
    }

    if (readFailed) {
        ReadResult result;
        result.error =
            QStringLiteral("cannot read %1: %2").arg(QDir::toNativeSeparators(path), readError);
        return result;
    }
    return readInput(bytes);
}

void logRefusal(const QString &inputPath, const ReadResult &refusal, const QString &fallbackLogDir,
                QTextStream *errors)
{
    OutputLog log(refusal.folder, fallbackLogDir, errors);
    log.open(QStringLiteral("== input refused %1, keldar-generate %2")
                 .arg(QDateTime::currentDateTime().toString(Qt::ISODate),
                      QLatin1String(KELDAR_VERSION)));
    log.error(QStringLiteral("%1: %2; no file written")
                  .arg(QDir::toNativeSeparators(inputPath), refusal.error));
}

BatchReport runBatch(const BatchInput &input, const QString &fallbackLogDir, QTextStream *errors,
                     ExportFormats formats)
{
    const QStringList extraSuffixes = generator::extraSuffixes(formats);
    BatchReport report;
    QElapsedTimer batchClock;
    batchClock.start();

    // Tells this batch's lines from those of batches running beside it.
    const QDateTime started = QDateTime::currentDateTime();
    const QString batchId = QStringLiteral("%1-%2")
                                .arg(QCoreApplication::applicationPid())
                                .arg(started.toString(QStringLiteral("yyyyMMddThhmmss.zzz")));
    OutputLog log(input.folder, fallbackLogDir, errors);
    log.open(QStringLiteral("== batch %1 started %2, keldar-generate %3")
                 .arg(batchId, started.toString(Qt::ISODate), QLatin1String(KELDAR_VERSION)),
             batchId);
    log.line(inputsLine(input));

    QString stopped;
    if (!log.folderReady()) {
        log.error(QStringLiteral("cannot create the target folder %1 (%2); no file written")
                      .arg(QDir::toNativeSeparators(input.folder), log.folderProblem()));
        report.failed = input.files;
    } else {
        if (const int removed = removeStaleTemporaries(input.folder))
            log.line(QStringLiteral("note: removed %1 temporary files left by interrupted batches")
                         .arg(removed));
        const QDir folder(input.folder);
        auto nameOf = [](qint64 k) {
            return QStringLiteral("instance_%1.txt").arg(k);
        };
        auto extraName = [](qint64 k, const QString &suffix) {
            return QStringLiteral("instance_%1.%2").arg(k).arg(suffix);
        };
        qint64 missing = 0;
        for (qint64 k = input.firstFile; k < input.firstFile + input.files; ++k)
            missing += nameTaken(folder.filePath(nameOf(k))) ? 0 : 1;
        const DiskSpace space = diskSpace(input.folder);
        const double block = static_cast<double>(space.block);
        const double expected =
            static_cast<double>(missing) *
            (std::ceil(expectedFileBytes(input) / block) +
             static_cast<double>(extraSuffixes.size()) *
                 std::ceil(ExportBytesPerTextByte * expectedFileBytes(input) / block)) *
            block;
        log.line(QStringLiteral("size: about %1 bytes in %2 files to write")
                     .arg(expected, 0, 'f', 0)
                     .arg(missing));
        const qint64 free = space.free;
        if (free >= 0 && expected > static_cast<double>(free)) {
            stopped = QStringLiteral("the batch needs about %1 bytes, the disk of %2 has %3 bytes "
                                     "free")
                          .arg(expected, 0, 'f', 0)
                          .arg(QDir::toNativeSeparators(input.folder))
                          .arg(free);
            log.error(stopped + QStringLiteral("; no file written"));
            report.notStarted = input.files;
        }
        for (qint64 k = input.firstFile; stopped.isEmpty() && k < input.firstFile + input.files;
             ++k) {
            const QString name = nameOf(k);
            // An instance is written in all its formats or not at all, so the
            // files beside a text file always belong to it.
            QString taken = nameTaken(folder.filePath(name)) ? QStringLiteral(" ") : QString();
            for (const QString &suffix : extraSuffixes)
                if (taken.isEmpty() && nameTaken(folder.filePath(extraName(k, suffix))))
                    taken = QStringLiteral(" %1 ").arg(extraName(k, suffix));
            if (!taken.isEmpty()) {
                log.line(name + QStringLiteral(" skipped:%1already exists").arg(taken));
                ++report.skipped;
                continue;
            }
            QElapsedTimer clock;
            clock.start();
            Provenance provenance;
            provenance.fileNumber = k;
            provenance.fileSeed = fileSeed(input.seed, k);
            const Instance instance = generate(input, provenance.fileSeed);
            provenance.measured = measure(instance);
            const LowerBound bound = lowerBound(instance);
            QString failedName = name;
            PublishResult published =
                publish(input.folder, name, instanceText(instance, input, provenance));
            if (published.status == Published::Written) {
                const InstanceFacts facts{provenance.measured, bound.cost, name};
                for (const QString &suffix : extraSuffixes) {
                    published = publish(input.folder, extraName(k, suffix),
                                        exportText(suffix, instance, facts));
                    if (published.status != Published::Written) {
                        // The text file stands; the instance lacks a format.
                        failedName = extraName(k, suffix);
                        published.status = Published::Failed;
                        break;
                    }
                }
            }
            switch (published.status) {
            case Published::Written:
                ++report.written;
                log.line(QStringLiteral("%1 seed %2%3 lowerBound %4 largest deviation %5 time %6 "
                                        "ms%7")
                             .arg(name)
                             .arg(provenance.fileSeed)
                             .arg(measuredText(provenance.measured))
                             .arg(bound.text())
                             .arg(largestDeviation(provenance.measured, input.targets), 0, 'f', 6)
                             .arg(clock.elapsed())
                             .arg(unreachedText(provenance.measured, input.targets)));
                break;
            case Published::Exists:
                // Another batch took the name since the check above.
                ++report.skipped;
                log.line(name + QStringLiteral(" skipped: ") + published.reason());
                break;
            case Published::Failed:
                ++report.failed;
                log.error(QStringLiteral("%1 not written: %2").arg(failedName, published.reason()));
                // A full disk fails every file after: stop at the first.
                if (diskFull(published.error)) {
                    stopped = published.reason();
                    report.notStarted = input.firstFile + input.files - k - 1;
                }
                break;
            }
        }
        syncFolder(input.folder);
    }
    log.line(QStringLiteral("summary: %1 written, %2 skipped, %3 failed, %4 not started, %5 s%6")
                 .arg(report.written)
                 .arg(report.skipped)
                 .arg(report.failed)
                 .arg(report.notStarted)
                 .arg(static_cast<double>(batchClock.elapsed()) / 1000.0, 0, 'f', 3)
                 .arg(stopped.isEmpty() ? QString() : QStringLiteral("; stopped: ") + stopped));
    return report;
}

} // namespace keldar::generator

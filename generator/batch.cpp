#include "generator/batch.h"

#include "generator/generate.h"
#include "generator/handshake.h"
#include "generator/instancefile.h"
#include "generator/random.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <atomic>

#ifdef Q_OS_UNIX
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#endif

namespace keldar::generator {

namespace {

std::atomic<qint64> syncedCount{0};

// output.log: opened for appending, every line flushed at once so a long
// batch shows its progress.  It belongs in the target folder, created when
// missing; when the folder or its log cannot be used, the fallback folder's
// log stands in and says which folder was meant.
class Log
{
public:
    Log(const QString &folder, const QString &fallbackDir, QTextStream *errors) : errors_(errors)
    {
        folderReady_ = !folder.isEmpty() && QDir().mkpath(folder);
        if (folderReady_) {
            file_.setFileName(QDir(folder).absoluteFilePath(QStringLiteral("output.log")));
            opened_ = open();
            if (!opened_)
                standIn_ = QStringLiteral("output.log in the target folder %1 cannot be "
                                          "written (%2); logging here instead")
                               .arg(QDir::toNativeSeparators(folder), file_.errorString());
        } else if (!folder.isEmpty()) {
            standIn_ = QStringLiteral("the target folder %1 cannot be created; logging here "
                                      "instead")
                           .arg(QDir::toNativeSeparators(folder));
        }
        if (!opened_) {
            file_.setFileName(QDir(fallbackDir).absoluteFilePath(QStringLiteral("output.log")));
            opened_ = open();
        }
        if (!opened_ && errors_)
            *errors_ << "keldar-generate: cannot write " << QDir::toNativeSeparators(path())
                     << Qt::endl;
    }
    bool folderReady() const { return folderReady_; }
    QString path() const { return file_.fileName(); }

    // The section's opening lines: a heading, then why this log stands in for
    // the target folder's, when it does.
    void open(const QString &heading)
    {
        line(heading);
        if (!standIn_.isEmpty())
            line(QStringLiteral("note: ") + standIn_);
    }

    void line(const QString &text)
    {
        if (!opened_)
            return;
        file_.write(text.toUtf8() + '\n');
        file_.flush();
    }
    void error(const QString &text)
    {
        line(QStringLiteral("error: ") + text);
        if (errors_) {
            *errors_ << "keldar-generate: " << text << Qt::endl;
        }
    }

private:
    bool open() { return file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text); }

    QFile file_;
    QTextStream *errors_;
    bool opened_ = false;
    bool folderReady_ = false;
    QString standIn_;
};

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
        // The slack absorbs rounding of values a whole 0.01 from the target.
        if (std::fabs(measured[i] - targets[i]) > Tolerance + 1e-9)
            text += QStringLiteral("; unreachable: %1 target %2, nearest reached %3")
                        .arg(QLatin1String(IndicatorNames[k]))
                        .arg(targets[i], 0, 'g', 15)
                        .arg(measured[i], 0, 'f', 6);
    }
    return text;
}

enum class Outcome { Written, Skipped, Failed };

// Forces the bytes to disk before the rename publishes the file, so a power
// loss cannot leave an empty file under the final name.
bool syncToDisk(QFile &file)
{
#ifdef Q_OS_UNIX
    const bool synced = ::fsync(file.handle()) == 0;
#elif defined(Q_OS_WIN)
    const bool synced = ::_commit(file.handle()) == 0;
#else
    const bool synced = true;
#endif
    if (synced)
        ++syncedCount;
    return synced;
}

// Writes under a temporary name first and renames without replacing, so no
// half file and no overwritten instance can result.
Outcome writeNew(const QString &path, const QByteArray &bytes, QString &why)
{
    const QString temporary =
        QStringLiteral("%1.%2.tmp").arg(path).arg(QCoreApplication::applicationPid());
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        why = file.errorString();
        return Outcome::Failed;
    }
    if (file.write(bytes) != bytes.size() || !file.flush() || !syncToDisk(file)) {
        why = file.errorString();
        file.close();
        file.remove();
        return Outcome::Failed;
    }
    file.close();
    // QFile::rename refuses an existing target instead of replacing it.
    if (!file.rename(path)) {
        const bool appeared = QFileInfo::exists(path);
        why = appeared ? QStringLiteral("already exists") : file.errorString();
        QFile::remove(temporary);
        return appeared ? Outcome::Skipped : Outcome::Failed;
    }
    return Outcome::Written;
}

} // namespace

ReadResult loadInput(const QString &path, MarkMissing markMissing)
{
    QFile file(path);
    QByteArray bytes;
    const bool opened = file.open(QIODevice::ReadOnly);
    if (opened)
        bytes = file.readAll();
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
    Log log(refusal.folder, fallbackLogDir, errors);
    log.open(QStringLiteral("== input refused %1, keldar-generate %2")
                 .arg(QDateTime::currentDateTime().toString(Qt::ISODate),
                      QLatin1String(KELDAR_VERSION)));
    log.error(QStringLiteral("%1: %2; no file written")
                  .arg(QDir::toNativeSeparators(inputPath), refusal.error));
}

qint64 instanceFilesSynced()
{
    return syncedCount;
}

BatchReport runBatch(const BatchInput &input, const QString &fallbackLogDir, QTextStream *errors)
{
    BatchReport report;
    QElapsedTimer batchClock;
    batchClock.start();

    const QDir folder(input.folder);
    Log log(input.folder, fallbackLogDir, errors);
    const bool folderReady = log.folderReady();

    log.open(QStringLiteral("== batch started %1, keldar-generate %2")
                 .arg(QDateTime::currentDateTime().toString(Qt::ISODate),
                      QLatin1String(KELDAR_VERSION)));
    log.line(inputsLine(input));

    if (!folderReady) {
        log.error(QStringLiteral("cannot create the target folder %1; no file written")
                      .arg(QDir::toNativeSeparators(input.folder)));
        report.failed = input.files;
    } else {
        for (qint64 k = input.firstFile; k < input.firstFile + input.files; ++k) {
            const QString name = QStringLiteral("instance_%1.txt").arg(k);
            const QString path = folder.filePath(name);
            if (QFileInfo::exists(path)) {
                log.line(name + QStringLiteral(" skipped: already exists"));
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
            QString why;
            switch (writeNew(path, instanceText(instance, input, provenance), why)) {
            case Outcome::Written:
                ++report.written;
                log.line(QStringLiteral("%1 seed %2%3 largest deviation %4 time %5 ms%6")
                             .arg(name)
                             .arg(provenance.fileSeed)
                             .arg(measuredText(provenance.measured))
                             .arg(largestDeviation(provenance.measured, input.targets), 0, 'f', 6)
                             .arg(clock.elapsed())
                             .arg(unreachedText(provenance.measured, input.targets)));
                break;
            case Outcome::Skipped:
                ++report.skipped;
                log.line(name + QStringLiteral(" skipped: ") + why);
                break;
            case Outcome::Failed:
                ++report.failed;
                log.error(QStringLiteral("%1 not written: %2").arg(name, why));
                break;
            }
        }
    }
    log.line(QStringLiteral("summary: %1 written, %2 skipped, %3 failed, %4 s")
                 .arg(report.written)
                 .arg(report.skipped)
                 .arg(report.failed)
                 .arg(static_cast<double>(batchClock.elapsed()) / 1000.0, 0, 'f', 3));
    return report;
}

} // namespace keldar::generator

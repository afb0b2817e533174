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

namespace keldar::generator {

namespace {

// output.log: opened for appending, every line flushed at once so a long
// batch shows its progress.
class Log
{
public:
    Log(const QString &path, QTextStream *errors) : file_(path), errors_(errors)
    {
        opened_ = file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
    }
    bool isOpen() const { return opened_; }
    QString path() const { return file_.fileName(); }

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
    QFile file_;
    QTextStream *errors_;
    bool opened_ = false;
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
    if (file.write(bytes) != bytes.size() || !file.flush()) {
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

ReadResult loadInput(const QString &path)
{
    QFile file(path);
    QByteArray bytes;
    const bool opened = file.open(QIODevice::ReadOnly);
    if (opened)
        bytes = file.readAll();
    const bool readFailed = !opened || file.error() != QFileDevice::NoError;
    const QString readError = file.errorString();
    file.close();

    QFile mark(path + QLatin1String(ReadMarkSuffix));
    if (mark.open(QIODevice::WriteOnly | QIODevice::Truncate))
        mark.close();

    if (readFailed) {
        ReadResult result;
        result.error =
            QStringLiteral("cannot read %1: %2").arg(QDir::toNativeSeparators(path), readError);
        return result;
    }
    return readInput(bytes);
}

BatchReport runBatch(const BatchInput &input, const QString &fallbackLogDir, QTextStream *errors)
{
    BatchReport report;
    QElapsedTimer batchClock;
    batchClock.start();

    const QDir folder(input.folder);
    const bool folderReady = QDir().mkpath(input.folder);
    const QString logDir = folderReady ? folder.absolutePath() : fallbackLogDir;
    Log log(QDir(logDir).filePath(QStringLiteral("output.log")), errors);
    if (!log.isOpen() && errors)
        *errors << "keldar-generate: cannot write " << QDir::toNativeSeparators(log.path())
                << Qt::endl;

    log.line(QStringLiteral("== batch started %1, keldar-generate %2")
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

#include "generator/input/inputfile.h"

#include "generator/input/handshake.h"
#include "generator/publish/outputlog.h"
#include "generator/publish/userfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace keldar::generator {

ReadResult loadInput(const QString &path, ReadMark readMark)
{
    QString readError;
    const std::optional<QByteArray> bytes = readRegularFile(path, MaxInputBytes, readError);
    ReadResult result;
    if (!bytes)
        result.error = QStringLiteral("cannot read ") + QDir::toNativeSeparators(path) +
                       QStringLiteral(": ") + readError;
    else
        result = readInput(*bytes);
    // A refused file is marked now; an accepted one once the run knows how
    // many files it will write.
    if (readMark == ReadMark::Leave && !result.input)
        leaveReadMark(path, BatchVerdict{true, false, 0, result.error});
    return result;
}

void leaveReadMark(const QString &inputPath, const BatchVerdict &verdict)
{
    // Written whole under another name, then renamed over whatever stands
    // at the mark's name: the app never reads half a verdict, and a link
    // there goes without its target being written.
    const QString markPath = inputPath + QLatin1String(ReadMarkSuffix);
    const QString temporary =
        markPath + QStringLiteral(".%1").arg(QCoreApplication::applicationPid());
    QFile mark(temporary);
    QFile::remove(temporary);
    if (!mark.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return;
    const QByteArray text = readMarkText(QCoreApplication::applicationPid(), verdict);
    const bool written = mark.write(text) == text.size();
    mark.close();
    if (!written || ::rename(QFile::encodeName(temporary).constData(),
                             QFile::encodeName(markPath).constData()) != 0)
        QFile::remove(temporary);
}

void logRefusal(const QString &inputPath, const ReadResult &refusal, const QString &fallbackLogDir,
                QTextStream *errors)
{
    // Nothing is made for a refused file, not even its target folder.
    OutputLog log(refusal.folder, fallbackLogDir, errors, FolderUse::Existing);
    log.open(QStringLiteral("== input refused %1, keldar-generate %2")
                 .arg(QDateTime::currentDateTime().toString(Qt::ISODate),
                      QLatin1String(KELDAR_VERSION)));
    log.error(QStringLiteral("%1: %2; no file written")
                  .arg(QDir::toNativeSeparators(inputPath), refusal.error));
}

} // namespace keldar::generator

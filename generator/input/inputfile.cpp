#include "generator/input/inputfile.h"

#include "generator/input/handshake.h"
#include "generator/publish/outputlog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

namespace keldar::generator {

ReadResult loadInput(const QString &path, ReadMark readMark)
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

    if (readMark == ReadMark::Leave) {
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

} // namespace keldar::generator

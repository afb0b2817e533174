#include "generator/input/inputfile.h"

#include "generator/input/handshake.h"
#include "generator/publish/outputlog.h"
#include "generator/publish/userfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

namespace keldar::generator {

ReadResult loadInput(const QString &path, ReadMark readMark)
{
    QString readError;
    const std::optional<QByteArray> bytes = readRegularFile(path, MaxInputBytes, readError);

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

    if (!bytes) {
        ReadResult result;
        result.error =
            QStringLiteral("cannot read %1: %2").arg(QDir::toNativeSeparators(path), readError);
        return result;
    }
    return readInput(*bytes);
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

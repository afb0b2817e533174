#include "generator/bugreport.h"

#include "buildinfo/buildid.h"
#include "generator/input/handshake.h"
#include "generator/publish/publish.h"
#include "generator/publish/userfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

namespace keldar::generator {

namespace {

// Enough of a log for the batch in question, and of any file for a report.
constexpr qint64 MostBytes = 1 << 20;

QByteArray fileOrNote(const QString &path)
{
    if (!QFileInfo::exists(path))
        return "(none)\n";
    QString why;
    const std::optional<QByteArray> bytes = readRegularFile(path, MostBytes, why);
    return bytes ? *bytes : "(not read: " + why.toUtf8() + ")\n";
}

// From the last "== batch" heading on: the batch the report is about.
QByteArray lastSection(const QByteArray &log)
{
    const qsizetype at = log.lastIndexOf("\n== batch ");
    return at < 0 ? log : log.mid(at + 1);
}

QByteArray section(const QByteArray &title, const QByteArray &body)
{
    return "\n== " + title + " ==\n" + body + (body.endsWith('\n') ? "" : "\n");
}

} // namespace

int writeBugReport(const QString &folder, QTextStream &out, QTextStream &err)
{
    const QDir dir(folder);
    if (!QFileInfo(folder).isDir()) {
        err << "keldar-generate: " << QDir::toNativeSeparators(printable(folder))
            << ": no such folder; no report written" << Qt::endl;
        return 2;
    }
    const QString input = dir.filePath(QLatin1String(InputFileName));
    QByteArray report = "keldar-generate bug report\nversion: " KELDAR_VERSION "\nbuild: " +
                        QByteArray(keldar::buildId()) +
                        "\nsystem: " + QSysInfo::prettyProductName().toUtf8() + ", " +
                        QSysInfo::kernelType().toUtf8() + ' ' + QSysInfo::kernelVersion().toUtf8() +
                        ", " + QSysInfo::currentCpuArchitecture().toUtf8() + "\nQt: " + qVersion() +
                        "\nfolder: " + QFileInfo(dir.absolutePath()).fileName().toUtf8() + '\n';
    report += section(InputFileName, fileOrNote(input));
    report += section(QByteArray(InputFileName) + ReadMarkSuffix,
                      fileOrNote(input + QLatin1String(ReadMarkSuffix)));
    report += section("output.log, last section",
                      lastSection(fileOrNote(dir.filePath(QStringLiteral("output.log")))));
    QString why;
    const QString name =
        publishBeside(folder, QStringLiteral("keldar-bug-report.txt"), report, why);
    if (name.isEmpty()) {
        err << "keldar-generate: keldar-bug-report.txt not written in "
            << QDir::toNativeSeparators(folder) << ": " << why << Qt::endl;
        return 1;
    }
    out << QDir::toNativeSeparators(dir.filePath(name))
        << ": attach this file to the problem report" << Qt::endl;
    return 0;
}

} // namespace keldar::generator

#include "generator/run/solvefigure.h"

#include "generator/files/batchtext.h"
#include "generator/publish/publish.h"
#include "generator/run/manifest.h"

#include <QDir>

namespace keldar::generator {

namespace {

// The targets of every file the folder's manifests list.
QHash<QString, Indicators> targetsIn(const QString &folder)
{
    QHash<QString, Indicators> targets;
    for (const ManifestRow &row : readFolderManifests(folder).rows.value_or(QList<ManifestRow>()))
        targets.insert(fileName(row.fileNumber), row.targets);
    return targets;
}

} // namespace

void drawSolutionsFigure(const QString &folder, const QList<SolutionRow> &rows,
                         const QString &label, QTextStream &out, QTextStream &err)
{
    const QString name = QStringLiteral("solutions.svg");
    const QByteArray svg = solutionsSvg(rows, label, targetsIn(folder));
    QString why;
    bool already = false;
    const QString written = publishOnce(folder, name, svg, why, &already);
    if (written.isEmpty())
        err << "keldar-generate: " << name << " not written: " << why << Qt::endl;
    else if (!already)
        out << QDir::toNativeSeparators(QDir(folder).filePath(written)) << Qt::endl;
}

} // namespace keldar::generator

#include "generator/run/shards.h"

#include "generator/files/batchtext.h"
#include "generator/publish/publish.h"
#include "generator/run/manifest.h"
#include "generator/run/svgplot.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace keldar::generator {

int mergeShards(const QStringList &folders, QTextStream &out, QTextStream &errors)
{
    const QRegularExpression pattern(
        QStringLiteral("^manifest\\.shard-(\\d+)-of-(\\d+)(?:-\\d+)?\\.csv$"));
    QList<ManifestRow> rows;
    QMap<int, QStringList> shardFiles;
    int shards = 0;
    auto refuse = [&errors](const QString &why) {
        errors << "keldar-generate: " << why << "; nothing merged" << Qt::endl;
        return 2;
    };
    // A folder named twice is read once.
    QStringList distinct;
    for (const QString &folder : folders)
        if (!distinct.contains(QDir::cleanPath(QDir(folder).absolutePath())))
            distinct.append(QDir::cleanPath(QDir(folder).absolutePath()));
    for (const QString &folder : distinct) {
        const QStringList names = QDir(folder).entryList({QStringLiteral("manifest.shard-*.csv")},
                                                         QDir::Files, QDir::Name);
        for (const QString &name : names) {
            const QRegularExpressionMatch match = pattern.match(name);
            if (!match.hasMatch())
                continue;
            const QString path = QDir(folder).filePath(name);
            const int shard = match.captured(1).toInt();
            const int of = match.captured(2).toInt();
            if (shards != 0 && of != shards)
                return refuse(QStringLiteral("%1 belongs to a split into %2 shards, not %3")
                                  .arg(QDir::toNativeSeparators(path), QString::number(of),
                                       QString::number(shards)));
            shards = of;
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                return refuse(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
                                                           file.errorString()));
            const ManifestRead read = readManifest(file.readAll());
            if (!read.rows)
                return refuse(
                    QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), read.error));
            for (const ManifestRow &row : *read.rows)
                if (row.cell % of != shard % of)
                    return refuse(QStringLiteral("%1: cell %2 is not in shard %3 of %4")
                                      .arg(QDir::toNativeSeparators(path),
                                           QString::number(row.cell), QString::number(shard),
                                           QString::number(of)));
            rows += *read.rows;
            shardFiles[shard].append(path);
        }
    }
    if (shards == 0)
        return refuse(QStringLiteral("no shard manifest (manifest.shard-I-of-N.csv) in %1")
                          .arg(folders.join(QStringLiteral(", "))));
    for (int shard = 1; shard <= shards; ++shard)
        if (!shardFiles.contains(shard))
            return refuse(QStringLiteral("shard %1 of %2 has no manifest").arg(shard).arg(shards));
    // File order, as one unsplit run draws them.
    std::stable_sort(rows.begin(), rows.end(), [](const ManifestRow &a, const ManifestRow &b) {
        return a.fileNumber < b.fileNumber;
    });
    QSet<qint64> seen;
    for (const ManifestRow &row : rows) {
        if (seen.contains(row.fileNumber))
            return refuse(QStringLiteral("%1 is listed twice").arg(fileName(row.fileNumber)));
        seen.insert(row.fileNumber);
    }
    QString why;
    const QString manifest =
        publishBeside(folders.first(), manifestName(), manifestText(rows), why);
    if (manifest.isEmpty())
        return refuse(QStringLiteral("%1 not written: %2").arg(manifestName(), why));
    const QString figure = publishBeside(folders.first(), figureName(true), svgPlot(rows), why);
    if (figure.isEmpty())
        return refuse(QStringLiteral("%1 not written: %2").arg(figureName(true), why));
    syncFolder(folders.first());
    out << rows.size() << " files of " << shards << " shards joined into "
        << QDir::toNativeSeparators(QDir(folders.first()).filePath(manifest)) << " and "
        << QDir::toNativeSeparators(QDir(folders.first()).filePath(figure)) << Qt::endl;
    return 0;
}

} // namespace keldar::generator

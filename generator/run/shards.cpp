#include "generator/run/shards.h"

#include "generator/run/ownfiles.h"

#include "generator/files/batchtext.h"
#include "generator/files/instancefile.h"
#include "generator/publish/publish.h"
#include "generator/run/manifest.h"
#include "generator/run/svgplot.h"
#include "generator/solve/lowerbound.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <optional>

namespace keldar::generator {

namespace {

// One shard manifest as found: where, its stamp and its rows.
struct ShardManifest {
    QString path;
    QString folder;
    ShardStamp stamp;
    QList<ManifestRow> rows;
};

using Refusal = std::optional<QString>;

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString rerunAdvice(const ShardStamp &stamp)
{
    return QStringLiteral(
               "; rerun shard %1 (keldar-generate --design FILE --out DIR --shard %1/%2) "
               "to complete it, then merge again")
        .arg(stamp.shard)
        .arg(stamp.shards);
}

// Reads one shard manifest; it must carry the stamp its name promises.
Refusal readShard(const QString &folder, const QString &name, int shard, int of,
                  QList<ShardManifest> &found)
{
    ShardManifest manifest{QDir(folder).filePath(name), folder, {}, {}};
    QFile file(manifest.path);
    if (!file.open(QIODevice::ReadOnly))
        return shown(manifest.path) + QStringLiteral(": ") + file.errorString();
    const ManifestRead read = readManifest(file.readAll());
    if (!read.rows)
        return shown(manifest.path) + QStringLiteral(": ") + read.error;
    if (!read.stamp)
        return shown(manifest.path) +
               QStringLiteral(": no design identity in its rows (an empty or older manifest)");
    if (read.stamp->shard != shard || read.stamp->shards != of)
        return shown(manifest.path) + QStringLiteral(": its rows are of shard %1 of %2")
                                          .arg(read.stamp->shard)
                                          .arg(read.stamp->shards);
    manifest.stamp = *read.stamp;
    manifest.rows = *read.rows;
    found.append(manifest);
    return std::nullopt;
}

// Every shard manifest in the folders, a folder named twice read once.
Refusal findShards(const QStringList &folders, QList<ShardManifest> &found)
{
    const QRegularExpression pattern(
        QStringLiteral("^manifest\\.shard-(\\d+)-of-(\\d+)(?:-\\d+)?\\.csv$"));
    QStringList distinct;
    for (const QString &folder : folders)
        if (!distinct.contains(QDir::cleanPath(QDir(folder).absolutePath())))
            distinct.append(QDir::cleanPath(QDir(folder).absolutePath()));
    for (const QString &folder : distinct)
        for (const QString &name : QDir(folder).entryList({QStringLiteral("manifest.shard-*.csv")},
                                                          QDir::Files, QDir::Name)) {
            const QRegularExpressionMatch match = pattern.match(name);
            if (!match.hasMatch())
                continue;
            if (Refusal refusal = readShard(folder, name, match.captured(1).toInt(),
                                            match.captured(2).toInt(), found))
                return refusal;
        }
    if (found.isEmpty())
        return QStringLiteral("no shard manifest (manifest.shard-I-of-N.csv) in ") +
               folders.join(QStringLiteral(", "));
    for (const ShardManifest &manifest : found)
        if (!manifest.stamp.sameDesign(found.first().stamp))
            return shown(manifest.path) + QStringLiteral(" is of another design or split than ") +
                   shown(found.first().path);
    return std::nullopt;
}

// The row must be what the file beside the manifest says of itself: its
// cell's inputs in its header, its values measured again.
Refusal checkRow(const ShardManifest &manifest, const ManifestRow &row)
{
    const ShardStamp &stamp = manifest.stamp;
    const QString name = fileName(row.fileNumber);
    const qint64 cellFirst = stamp.firstFile + (row.cell - 1) * stamp.instancesPerCell;
    if (row.cell < 1 || row.cell > stamp.cells || (row.cell - stamp.shard) % stamp.shards != 0 ||
        row.fileNumber < cellFirst || row.fileNumber >= cellFirst + stamp.instancesPerCell)
        return shown(manifest.path) + QStringLiteral(": %1 is not a file of cell %2 in shard %3")
                                          .arg(name)
                                          .arg(row.cell)
                                          .arg(stamp.shard);
    const QString path = QDir(manifest.folder).filePath(name);
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return shown(manifest.path) +
               QStringLiteral(" lists %1, which is not in %2").arg(name, shown(manifest.folder));
    const QByteArray text = file.read(MaxInstanceFileBytes + 1);
    const auto origin = readOrigin(text);
    const ParsedInstance parsed = parseInstance(text);
    // A planted file's witness must keep its rules at the row's cost.
    const auto witnessCost = [&]() -> std::optional<std::int64_t> {
        if (!origin->input.slack)
            return std::nullopt;
        return witnessCostIn(manifest.folder, row.fileNumber, *parsed.instance,
                             origin->input.rules);
    };
    const bool agrees = origin && parsed.instance && origin->fileNumber == row.fileNumber &&
                        origin->input.firstFile == cellFirst &&
                        origin->input.files == stamp.instancesPerCell &&
                        manifestRow(origin->input, row.cell, row.fileNumber,
                                    measure(*parsed.instance), lowerBound(*parsed.instance).cost,
                                    witnessCost())
                                .line == row.line;
    if (!agrees)
        return shown(manifest.path) +
               QStringLiteral(": the row of %1 does not agree with the file").arg(name);
    return std::nullopt;
}

// The cell of the shard that lacks files, with how many it has; none when
// the manifest lists every file of its shard.
std::optional<std::pair<qint64, qint64>> shortCell(const ShardManifest &manifest)
{
    QMap<qint64, qint64> files;
    for (const ManifestRow &row : manifest.rows)
        ++files[row.cell];
    for (qint64 cell = manifest.stamp.shard; cell <= manifest.stamp.cells;
         cell += manifest.stamp.shards)
        if (files.value(cell) < manifest.stamp.instancesPerCell)
            return std::make_pair(cell, files.value(cell));
    return std::nullopt;
}

// For each shard, the one manifest that lists all its files.  A manifest
// of an interrupted run lists fewer and gives way to its rerun's.
Refusal chooseShards(const QList<ShardManifest> &found, QList<ShardManifest> &chosen)
{
    const ShardStamp &stamp = found.first().stamp;
    for (int shard = 1; shard <= stamp.shards; ++shard) {
        const ShardManifest *complete = nullptr;
        const ShardManifest *partial = nullptr;
        for (const ShardManifest &manifest : found) {
            if (manifest.stamp.shard != shard)
                continue;
            if (shortCell(manifest)) {
                partial = &manifest;
            } else if (!complete) {
                complete = &manifest;
            } else if (complete->folder != manifest.folder ||
                       manifestText(complete->rows) != manifestText(manifest.rows)) {
                return QStringLiteral("shard %1 of %2 is doubled: %3 and %4")
                    .arg(shard)
                    .arg(stamp.shards)
                    .arg(shown(complete->path), shown(manifest.path));
            }
        }
        if (!complete && !partial)
            return QStringLiteral("shard %1 of %2 has no manifest").arg(shard).arg(stamp.shards) +
                   rerunAdvice(ShardStamp{stamp.design, shard, stamp.shards, 0, 0, 0});
        if (!complete) {
            const auto [cell, files] = *shortCell(*partial);
            return shown(partial->path) +
                   QStringLiteral(": cell %1 has %2 of its %3 files")
                       .arg(cell)
                       .arg(files)
                       .arg(stamp.instancesPerCell) +
                   rerunAdvice(partial->stamp);
        }
        chosen.append(*complete);
    }
    return std::nullopt;
}

// The rows of the chosen manifests in file order, each proven against its
// file, no file twice.
Refusal joinRows(const QList<ShardManifest> &chosen, QList<ManifestRow> &rows)
{
    for (const ShardManifest &manifest : chosen)
        for (const ManifestRow &row : manifest.rows) {
            if (Refusal refusal = checkRow(manifest, row))
                return *refusal + rerunAdvice(manifest.stamp);
            rows.append(row);
        }
    // File order, as one unsplit run draws them.
    std::stable_sort(rows.begin(), rows.end(), [](const ManifestRow &a, const ManifestRow &b) {
        return a.fileNumber < b.fileNumber;
    });
    QSet<qint64> seen;
    for (const ManifestRow &row : rows) {
        if (seen.contains(row.fileNumber))
            return fileName(row.fileNumber) + QStringLiteral(" is listed twice");
        seen.insert(row.fileNumber);
    }
    return std::nullopt;
}

} // namespace

int mergeShards(const QStringList &folders, QTextStream &out, QTextStream &errors)
{
    auto refuse = [&errors](const QString &why) {
        errors << "keldar-generate: " << why << "; nothing merged" << Qt::endl;
        return 2;
    };
    QList<ShardManifest> found;
    QList<ShardManifest> chosen;
    QList<ManifestRow> rows;
    Refusal refusal = findShards(folders, found);
    if (!refusal)
        refusal = chooseShards(found, chosen);
    if (!refusal)
        refusal = joinRows(chosen, rows);
    if (refusal)
        return refuse(*refusal);

    QString why;
    const QString manifest = publishOnce(folders.first(), manifestName(), manifestText(rows), why);
    if (manifest.isEmpty())
        return refuse(manifestName() + QStringLiteral(" not written: ") + why);
    const QString figure = publishOnce(folders.first(), figureName(true), svgPlot(rows), why);
    if (figure.isEmpty())
        return refuse(figureName(true) + QStringLiteral(" not written: ") + why);
    syncFolder(folders.first());
    const int shards = found.first().stamp.shards;
    out << rows.size() << " files of " << shards << " shards joined into "
        << shown(QDir(folders.first()).filePath(manifest)) << " and "
        << shown(QDir(folders.first()).filePath(figure)) << Qt::endl;
    return 0;
}

} // namespace keldar::generator

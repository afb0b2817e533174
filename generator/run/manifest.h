#pragma once

#include "generator/input/indicators.h"
#include "generator/input/inputreader.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace keldar::generator {

// One instance file as manifest.csv lists it.
struct ManifestRow {
    qint64 fileNumber = 0;
    qint64 cell = 1;
    int nurses = 0;
    int days = 0;
    int shifts = 0;
    bool freeCounted = false;
    qint64 seed = 0; // the batch seed the file's own seed derives from
    Indicators targets{};
    Indicators measured{};
    // A planted design's rows: the cell's rules label and slack, and the
    // cost of the witness roster.  Empty rules: the row has no such columns.
    QString rules;
    std::optional<double> slack;
    std::optional<std::int64_t> witnessCost;
    QByteArray line; // as written, without its line end

    double largestDeviation() const;
    // Every measured value within the tolerance of its target.
    bool met() const;
};

// The column lowerBound is the file's rule-free optimum, empty when the
// coverage cannot be met.  A cell with rules adds rules, slack and
// witnessCost (the last two empty without a slack).
ManifestRow manifestRow(const BatchInput &input, qint64 cell, qint64 fileNumber,
                        const Indicators &measured, std::optional<std::int64_t> lowerBound,
                        std::optional<std::int64_t> witnessCost = {});

// The header line of manifest.csv, without its line end; `planted` adds the
// columns of a design with rules or slack.
QByteArray manifestHeader(bool planted = false);

// A CSV field, quoted as RFC 4180 asks when it holds a comma, quote or line end.
QByteArray csvField(QByteArrayView text);

// Splits one CSV record into fields, undoing RFC 4180 quoting; nothing when
// a quote is left open or stray.
std::optional<QList<QByteArray>> csvFields(QByteArrayView line);

// What a shard's manifest carries in five more columns, so that a merge can
// prove what it joins: the design's identity, the split, and where each
// cell's files lie.
struct ShardStamp {
    QByteArray design; // Design::identity()
    int shard = 1;
    int shards = 1;
    qint64 cells = 0;
    qint64 instancesPerCell = 0;
    qint64 firstFile = 1;

    QByteArray columns() const; // the five fields, after a comma each
    bool sameDesign(const ShardStamp &other) const;
};

struct ManifestRead {
    std::optional<QList<ManifestRow>> rows; // each line without the stamp
    std::optional<ShardStamp> stamp;
    QString error;
};

// Reads a manifest back (for joining shards): the header must be ours.
ManifestRead readManifest(const QByteArray &bytes);

// The rows of every manifest in the folder (manifest*.csv, shards' too), in
// the order of their names; the refusal names the first file not ours.
ManifestRead readFolderManifests(const QString &folder);

// The whole file: header, then the rows in file order, CR LF line ends; a
// shard's rows carry its stamp.
QByteArray manifestText(QList<ManifestRow> rows, const std::optional<ShardStamp> &stamp = {});

} // namespace keldar::generator

#pragma once

#include "generator/input/inputreader.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace keldar::generator {

// A factorial design: a list of levels for each input, every combination of
// levels a cell, instancesPerCell files in each cell.
struct Design {
    QList<int> nurses;
    QList<int> days;
    QList<int> shifts;
    QList<bool> freeShift;
    std::array<QList<double>, IndicatorCount> targets;
    // Rule sets as written (a shipped set's name or a rules file) and slack
    // levels; both optional, each a factor of the design when given.
    QStringList rules;
    QList<double> slack;
    qint64 instancesPerCell = 0;
    qint64 seed = 100;
    qint64 firstFile = 1;

    qint64 cellCount() const;
    qint64 fileCount() const { return cellCount() * instancesPerCell; }
    // The batch that makes cell `cell` (1-based) into `folder`: the cells in
    // key order, the last key varying fastest, their files numbered on from
    // firstFile.  `rulesLabels` names each rules level as the run reads it.
    BatchInput cell(qint64 cell, const QString &folder,
                    const QStringList &rulesLabels = {}) const;
    // The index into `rules` of the cell's level; 0 when the design has none.
    qsizetype rulesLevel(qint64 cell) const;
    // Whether the cells carry rules and slack at all.
    bool planted() const { return !rules.isEmpty() || !slack.isEmpty(); }
    // The design's identity: a hash of its levels and settings, the same
    // for every spelling of the same design.
    QByteArray identity() const;
};

struct DesignRead {
    std::optional<Design> design;
    int line = 0; // 1-based line of the refusal, 0 when no one line is at fault
    QString error;
};

// A design file is at most this large; it holds a few short lists.
inline constexpr qint64 MaxDesignFileBytes = 1 << 20;

// Reads a design file: "#" comments, blank lines, "key = value, value, ...".
// Refuses unknown, repeated and missing keys, empty lists, empty and
// repeated values, values out of range and designs beyond the batch limits,
// naming line and value.
DesignRead readDesign(const QByteArray &bytes);

// The 1-based cells shard `shard` of `shards` makes: shard, shard + shards, ...
QList<qint64> shardCells(qint64 cellCount, int shard, int shards);

} // namespace keldar::generator

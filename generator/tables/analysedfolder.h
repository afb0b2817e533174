#pragma once

#include "generator/run/manifest.h"
#include "generator/solving/solutions.h"
#include "generator/tables/isaoptions.h"
#include "generator/tables/scoretable.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// A folder as an instance-space analysis reads it: its instances, the
// solvers' and the scored algorithms' rows, and the algorithms' columns
// for one rule set.
namespace keldar::generator::analysis {

QString shown(const QString &path);

// A column's name from a label: anything but [A-Za-z0-9_] becomes '_'.
QByteArray safeName(const QString &name);

// What the folder holds.
struct Folder {
    QString path;
    QList<ManifestRow> instances;               // in file order
    QStringList files;                          // their file names
    QHash<QString, QList<SolutionRow>> ledgers; // by solver
    QList<ScoreRow> scores;
    QStringList labels; // rules of every row, sorted
};

// Reads the manifests, the solvers' ledgers and scores.csv; false, with the
// refusal, when one is not ours.
bool readFolder(Folder &folder, QString &why);

// The rule set asked, or the only one of the folder's rows; none, with the
// reason, when there is no such rule set or no single one.
std::optional<QString> chooseLabel(const Folder &folder, const QString &asked, QString &why);

// Every algorithm's column under the rule set: the solvers', then the
// scored ones'.
QList<Algorithm> algorithmsOf(const Folder &folder, const QString &label);

} // namespace keldar::generator::analysis

#pragma once

#include "generator/solve/rulesets.h"
#include "generator/tables/profile.h"
#include "generator/tables/scoretable.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTextStream>
#include <optional>
#include <vector>

namespace keldar::generator {

// The performance profile beside scores.csv.
inline constexpr char ProfileName[] = "scores.svg";

// --score DIR --algorithm NAME: checks NAME's rosters in DIR
// (instance_<k>.<rules>.<NAME>.roster) under the rules (RULES, or each
// instance's own), against the reference of solutions.csv, of
// solutions.gecode.csv and of the witnesses, and adds a row per instance
// to scores.csv; draws the performance profile of every algorithm scored
// there, the solvers' included.  Instances NAME already has rows for are
// passed over, with a note.  Returns 0, 1 when some roster is missing,
// refused or infeasible or a cost beats a proven bound, 2 when nothing
// could be scored.
int scoreFolder(const QString &folder, const QString &algorithm, const RulesChoice &rules,
                bool rulesGiven, QTextStream &out, QTextStream &err);

} // namespace keldar::generator

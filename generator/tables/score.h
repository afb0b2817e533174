#pragma once

#include "generator/solve/rulesets.h"

#include <QString>
#include <QTextStream>

namespace keldar::generator {

// The table of scores and its performance profile.
inline constexpr char ScoresName[] = "scores.csv";
inline constexpr char ProfileName[] = "scores.svg";

// --score DIR --algorithm NAME: checks NAME's rosters in DIR
// (instance_<k>.<rules>.<NAME>.roster) under the rules, against the
// reference of solutions.csv, and adds a row per instance to scores.csv;
// draws the performance profile of every algorithm scored there.  Returns
// 0, 1 when some roster is missing, refused or infeasible or a cost beats
// a proven bound, 2 when nothing could be scored.
int scoreFolder(const QString &folder, const QString &algorithm, const RulesChoice &rules,
                QTextStream &out, QTextStream &err);

} // namespace keldar::generator

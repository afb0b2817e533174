#pragma once

#include "generator/solve/rulesets.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTextStream>
#include <optional>
#include <vector>

namespace keldar::generator {

// The table of scores and its performance profile.
inline constexpr char ScoresName[] = "scores.csv";
inline constexpr char ProfileName[] = "scores.svg";
QByteArray scoresHeader();

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

// A performance profile: for each algorithm, the share of the instances
// whose gap to the reference is at most tau, at each tau.  A gap of none
// (no feasible roster) is never within.
struct Profile {
    QList<QString> algorithms;
    std::vector<double> taus;
    std::vector<std::vector<double>> shares; // [algorithm][tau]
};
Profile performanceProfile(const QList<QString> &algorithms,
                           const std::vector<std::vector<std::optional<double>>> &gaps,
                           const std::vector<double> &taus);

// The profile as an SVG figure.
QByteArray profileSvg(const Profile &profile, const QString &title);

} // namespace keldar::generator

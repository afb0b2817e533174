#pragma once

#include "generator/solve/rulesets.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace keldar::generator {

// The instance list mzn-bench reads.
inline constexpr char BenchListName[] = "instances.csv";
QByteArray benchListHeader();

// Lists the folder's dzn files in its instances.csv, with the model copied
// beside them, so the folder is a benchmark of its own.  Under rules a row
// names one data file, instance_1.week.dzn for instance_1.dzn under week,
// holding the instance and then the rules (mzn-bench passes a row's data
// file to MiniZinc as one name), and the rules file is copied beside it as
// week.dzn.  Rows already listed are not added again, nor is a file of
// another content ever replaced: a copy then takes the next free name.
// False, with the reason, when the list could not be completed; the names
// left out (a ':' or a line break in them) are added to `left`.
bool listForBenchmark(const QString &folder, const QStringList &dznNames, const RulesChoice &rules,
                      QString &why, QStringList &left);

} // namespace keldar::generator

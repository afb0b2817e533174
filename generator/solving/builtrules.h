#pragma once

#include "generator/solve/rulesets.h"

#include <QList>
#include <QStringList>
#include <optional>

namespace keldar::generator {

// Instances built under the same rules, and those rules.
struct RulesGroup {
    RulesChoice rules;
    QStringList paths;
};

// The instance files the paths name, grouped by the rules each was built
// under (its header's "# rules" line; none without one), in file order
// within a group.  A group's rules are the <label>.dzn its design run left
// beside the files, or else the shipped set of that name.  The refusal
// when the paths are, or when an instance's rules cannot be found or read.
std::optional<QString> groupByBuiltRules(const QStringList &paths, QList<RulesGroup> &groups);

} // namespace keldar::generator

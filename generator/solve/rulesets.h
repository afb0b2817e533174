#pragma once

#include "generator/solve/roster.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace keldar::generator {

// The rules a run solves under, and the label its rows and rosters carry.
struct RulesChoice {
    Rules rules;
    QString label = QStringLiteral("none"); // or the set's name, the file's without .dzn
    QString path;                           // the rules file read; empty for none
    QByteArray text;                        // its bytes, whole
};

// A rules file is read whole or not at all; rule sets are a few lines.
constexpr qint64 MaxRulesBytes = 1 << 20;

// The rules as one canonical MiniZinc text: the same rules, however written
// (comments, order, spacing, repeated successions), give the same bytes.
QByteArray normalisedRules(const Rules &rules);

// A short hash of the normalised rules, which tells rule sets apart by
// content rather than by label.
QString rulesDigest(const Rules &rules);

struct RulesChoiceRead {
    std::optional<RulesChoice> choice;
    QString error; // names the file and, for a malformed one, the line
};

// The rule sets that ship with the program.
QStringList shippedRuleSets();

// Where the shipped rule sets lie: share/keldar/rules beside the program's
// bin folder, in the build tree as once installed.
QString shippedRulesFolder();

// The reference model, share/keldar/roster.mzn beside the rule sets.
QString shippedModelPath();

// RULES as given: empty for none, a shipped set's name, or a rules file (a
// path with a "/" or ending in ".dzn").  A file's label is its name without
// .dzn; one that a spreadsheet would take for a formula (=, +, -, @) or that
// holds a comma, quote or control character is refused, as is "none".
RulesChoiceRead chooseRules(const QString &argument);

} // namespace keldar::generator

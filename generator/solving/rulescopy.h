#pragma once

#include "generator/solve/rulesets.h"

#include <QString>
#include <optional>

namespace keldar::generator {

// A folder's rows under a label were solved under the rules in <label>.dzn
// beside them, which the first run under that label leaves there: rows are
// tied to the rules' content, not to a name.
struct FolderRules {
    std::optional<Rules> rules; // none when there is no copy, or it is refused
    QString path;
    QString error; // why the copy is refused
};

FolderRules rulesCopyIn(const QString &folder, const QString &label);

// Ties the run's rules to the folder before anything is solved: leaves the
// copy when there is none, and refuses rules other than the copy's under
// its label, or rows under a label whose rules were never recorded (a
// shipped set's rows are taken for that set's).  The refusal, naming both
// files, or nothing; `unwritable` tells a folder that cannot take the copy.
std::optional<QString> pinRules(const QString &folder, const RulesChoice &choice,
                                bool rowsUnderLabel, bool &unwritable);

} // namespace keldar::generator

#pragma once

#include "generator/files/instancefile.h"
#include "generator/input/inputreader.h"
#include "generator/instance/instance.h"
#include "generator/publish/publish.h"
#include "generator/solve/lowerbound.h"
#include "generator/solve/roster.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace keldar::generator {

// One instance as a run makes it: the same inputs and file number always
// give the same bytes, so a file can be told for the run's own by making it
// again.
struct MadeInstance {
    Instance instance;
    Provenance provenance;
    LowerBound bound;
    QByteArray text;
    // A cell with a slack: the roster the instance was built around, which
    // keeps the cell's rules and meets the coverage, and its cost.
    QByteArray witnessText;
    std::optional<std::int64_t> witnessCost;
    QString fault; // set when the planted roster breaks a rule: nothing may be published
};

// `rules` are the cell's, needed when the input has a slack.
MadeInstance makeInstance(const BatchInput &input, qint64 fileNumber, const Rules &rules = {});

// instance_<k>.<rules>.witness, the suffix beside an instance's text file.
QString witnessSuffix(const QString &rulesLabel);

// The cost of the witness beside instance `fileNumber` in `folder`, checked
// against the instance under the rules of `rulesLabel` (the <label>.dzn
// there, or none); nothing when it is missing or breaks a rule.
std::optional<std::int64_t> witnessCostIn(const QString &folder, qint64 fileNumber,
                                          const Instance &instance, const QString &rulesLabel);

} // namespace keldar::generator

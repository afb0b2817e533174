#pragma once

#include "generator/files/exportformats.h"
#include "generator/solve/rulesets.h"

#include <QStringList>
#include <QTextStream>

// Commands over instance files that already exist.
namespace keldar::generator {

// --measure: prints each file's six measured indicators and its lower bound.
// Returns the exit status (0, or 2 when some file is refused).
int measureFiles(const QStringList &paths, QTextStream &out, QTextStream &err);

// --convert: writes the given formats beside each text instance file, never
// replacing a file, the SSB files under the rules; each folder that gets dzn
// files lists them in its instances.csv.  Returns the exit status (0 all
// written, 1 some skipped or failed, 2 some instance refused).
int convertFiles(const QStringList &paths, ExportFormats formats, QTextStream &out,
                 QTextStream &err, const RulesChoice &rules = {});

} // namespace keldar::generator

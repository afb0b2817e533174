#pragma once

#include "generator/files/instancefile.h"
#include "generator/input/inputreader.h"
#include "generator/instance/instance.h"
#include "generator/publish/publish.h"
#include "generator/solve/lowerbound.h"

#include <QByteArray>
#include <QString>

namespace keldar::generator {

// One instance as a run makes it: the same inputs and file number always
// give the same bytes, so a file can be told for the run's own by making it
// again.
struct MadeInstance {
    Instance instance;
    Provenance provenance;
    LowerBound bound;
    QByteArray text;
};

MadeInstance makeInstance(const BatchInput &input, qint64 fileNumber);

} // namespace keldar::generator

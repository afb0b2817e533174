#include "generator/run/ownfiles.h"

#include "generator/instance/generate.h"
#include "generator/instance/random.h"

namespace keldar::generator {

MadeInstance makeInstance(const BatchInput &input, qint64 fileNumber)
{
    MadeInstance made;
    made.provenance.fileNumber = fileNumber;
    made.provenance.fileSeed = fileSeed(input.seed, fileNumber);
    made.instance = generate(input, made.provenance.fileSeed);
    made.provenance.measured = measure(made.instance);
    made.bound = lowerBound(made.instance);
    made.text = instanceText(made.instance, input, made.provenance);
    return made;
}

} // namespace keldar::generator

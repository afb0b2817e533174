#include "generator/run/ownfiles.h"

#include "generator/instance/generate.h"
#include "generator/instance/random.h"

#include <QFile>
#include <QFileInfo>

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

bool holdsExactly(const QString &path, const QByteArray &bytes)
{
    // A link is never taken for the run's file, whatever it points to; the
    // size is compared first, so a large stranger is not read.
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile() || info.size() != bytes.size())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(bytes.size() + 1) == bytes;
}

} // namespace keldar::generator

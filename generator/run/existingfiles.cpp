#include "generator/run/existingfiles.h"

#include "generator/files/batchtext.h"
#include "generator/files/instancefile.h"
#include "generator/publish/publish.h"
#include "generator/solve/lowerbound.h"

#include <QDir>
#include <QFileInfo>

namespace keldar::generator {

int measureFiles(const QStringList &paths, QTextStream &out, QTextStream &err)
{
    return forEachInstanceFile(paths, err, [&out](const QString &path, const Instance &instance) {
        out << QDir::toNativeSeparators(path) << measuredText(measure(instance)) << " lowerBound "
            << lowerBound(instance).text() << Qt::endl;
        return 0;
    });
}

int convertFiles(const QStringList &paths, ExportFormats formats, QTextStream &out,
                 QTextStream &err)
{
    const QStringList suffixes = extraSuffixes(formats);
    return forEachInstanceFile(paths, err, [&](const QString &path, const Instance &instance) {
        int status = 0;
        const QFileInfo info(path);
        InstanceFacts facts;
        facts.measured = measure(instance);
        facts.lowerBound = lowerBound(instance).cost;
        facts.source = info.fileName();
        for (const QString &suffix : suffixes) {
            const QString name = info.completeBaseName() + u'.' + suffix;
            const QString target = QDir::toNativeSeparators(info.dir().filePath(name));
            const PublishResult published =
                publish(info.absolutePath(), name, exportText(suffix, instance, facts));
            switch (published.status) {
            case Published::Written:
                out << target << Qt::endl;
                break;
            case Published::Exists:
                err << "keldar-generate: " << target << " skipped: " << published.reason()
                    << Qt::endl;
                status = 1;
                break;
            case Published::Failed:
                err << "keldar-generate: " << target << " not written: " << published.reason()
                    << Qt::endl;
                status = 1;
                break;
            }
        }
        return status;
    });
}

} // namespace keldar::generator

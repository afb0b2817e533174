#include "generator/tables/existingfiles.h"

#include "generator/files/batchtext.h"
#include "generator/files/instancefile.h"
#include "generator/publish/publish.h"
#include "generator/solve/lowerbound.h"
#include "generator/solve/ssbformat.h"
#include "generator/tables/benchlist.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>

#include <algorithm>

namespace keldar::generator {

int measureFiles(const QStringList &paths, QTextStream &out, QTextStream &err)
{
    return forEachInstanceFile(paths, err, [&out](const QString &path, const Instance &instance) {
        out << QDir::toNativeSeparators(path) << measuredText(measure(instance)) << " lowerBound "
            << lowerBound(instance).text() << Qt::endl;
        return 0;
    });
}

namespace {

// Each folder's new dzn files go into its mzn-bench list.
int listForBenchmarks(const QMap<QString, QStringList> &dznByFolder, const RulesChoice &rules,
                      QTextStream &out, QTextStream &err)
{
    int status = 0;
    for (auto folder = dznByFolder.begin(); folder != dznByFolder.end(); ++folder) {
        const QString list = QDir::toNativeSeparators(QDir(folder.key()).filePath(BenchListName));
        QString why;
        QStringList left;
        if (!listForBenchmark(folder.key(), folder.value(), rules, why, left)) {
            err << "keldar-generate: " << list << " not written: " << why << Qt::endl;
            status = 1;
            continue;
        }
        out << list << Qt::endl;
        for (const QString &name : left)
            err << "keldar-generate: " << name << " left out of " << list
                << ": mzn-bench cannot take a ':' or a line break in a name" << Qt::endl;
    }
    return status;
}

} // namespace

int convertFiles(const QStringList &paths, ExportFormats formats, QTextStream &out,
                 QTextStream &err, const RulesChoice &rules)
{
    const QStringList suffixes = extraSuffixes(formats, rules.label);
    QMap<QString, QStringList> dznByFolder;
    const int converted =
        forEachInstanceFile(paths, err, [&](const QString &path, const Instance &instance) {
            int status = 0;
            const QFileInfo info(path);
            InstanceFacts facts;
            facts.measured = measure(instance);
            facts.lowerBound = lowerBound(instance).cost;
            facts.source = info.fileName();
            for (const QString &suffix : suffixes) {
                const QString name = info.completeBaseName() + u'.' + suffix;
                const QString target = QDir::toNativeSeparators(info.dir().filePath(name));
                const QByteArray bytes = exportFile(suffix, instance, facts, rules);
                // A file as this run writes it is the run's own: a rerun under
                // other rules lists the same dzn again.
                const bool own = holdsExactly(info.dir().filePath(name), bytes);
                const PublishResult published = own ? PublishResult{Published::Written, 0}
                                                    : publish(info.absolutePath(), name, bytes);
                switch (published.status) {
                case Published::Written:
                    out << target << (own ? " is already there as this run writes it" : "")
                        << Qt::endl;
                    if (suffix == QLatin1String("dzn"))
                        dznByFolder[info.absolutePath()].append(name);
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
    return std::max(converted, listForBenchmarks(dznByFolder, rules, out, err));
}

} // namespace keldar::generator

#include "generator/solving/builtrules.h"

#include "generator/files/instancefile.h"
#include "generator/solving/instanceset.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace keldar::generator {

namespace {

// The label in the instance's header; empty when it names none.
QString builtUnder(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const auto origin = readOrigin(file.read(64 * 1024));
    return origin ? origin->input.rules : QString();
}

// The rules of a label in a folder: the copy there, or the shipped set.
RulesChoiceRead rulesOf(const QString &folder, const QString &label)
{
    if (label.isEmpty() || label == QLatin1String("none"))
        return chooseRules(QString());
    const QString copy = QDir(folder).filePath(label + QStringLiteral(".dzn"));
    if (QFileInfo::exists(copy))
        return chooseRules(copy);
    if (shippedRuleSets().contains(label))
        return chooseRules(label);
    RulesChoiceRead missing;
    missing.error = QStringLiteral("the instances of %1 were built under rules %2, and %3 is not "
                                   "there; name the rules with --rules")
                        .arg(QDir::toNativeSeparators(folder), label,
                             QDir::toNativeSeparators(copy));
    return missing;
}

} // namespace

std::optional<QString> groupByBuiltRules(const QStringList &paths, QList<RulesGroup> &groups)
{
    QList<InstanceTask> tasks;
    if (const auto refusal = collectInstances(paths, tasks))
        return refusal;
    QList<QString> keys; // folder and label of each group
    for (const InstanceTask &task : tasks) {
        const QString path = QDir(task.folder).filePath(task.name);
        const QString label = builtUnder(path);
        const QString key = task.folder + u'\n' + label;
        qsizetype at = keys.indexOf(key);
        if (at < 0) {
            const RulesChoiceRead read = rulesOf(task.folder, label);
            if (!read.choice)
                return read.error;
            at = keys.size();
            keys.append(key);
            groups.append(RulesGroup{*read.choice, {}});
        }
        groups[at].paths.append(path);
    }
    return std::nullopt;
}

} // namespace keldar::generator

#include "generator/solving/instanceset.h"

#include "generator/publish/userfile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <map>

namespace keldar::generator {

std::optional<QString> instancesIn(const QString &folder, QStringList &names)
{
    static const QRegularExpression instanceName(QStringLiteral("^instance_(\\d{1,18})\\.txt$"));
    std::map<qint64, QString> numbered;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::System, QDir::Name)) {
        const QRegularExpressionMatch match = instanceName.match(name);
        if (!match.hasMatch())
            continue;
        const auto [at, added] = numbered.emplace(match.captured(1).toLongLong(), name);
        if (!added)
            return QDir::toNativeSeparators(QDir(folder).filePath(at->second)) +
                   QStringLiteral(" and ") + name +
                   QStringLiteral(" stand for one instance number; remove or rename one");
    }
    if (numbered.empty())
        return QDir::toNativeSeparators(folder) +
               QStringLiteral(": no instance file (instance_<k>.txt) in this folder");
    for (const auto &entry : numbered)
        names.append(entry.second);
    return std::nullopt;
}

std::optional<QString> collectInstances(const QStringList &paths, QList<InstanceTask> &tasks)
{
    QSet<QString> seen;
    auto add = [&](const QString &folder, const QString &name) {
        const QString key = folder + u'/' + name;
        if (!seen.contains(key)) {
            seen.insert(key);
            tasks.append({folder, name});
        }
    };
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isFile()) {
            add(info.absolutePath(), info.fileName());
            continue;
        }
        if (!info.isDir())
            return QDir::toNativeSeparators(printable(path)) +
                   QStringLiteral(": no instance file or folder of that name");
        QStringList names;
        if (const auto refusal = instancesIn(info.absoluteFilePath(), names))
            return refusal;
        for (const QString &name : names)
            add(info.absoluteFilePath(), name);
    }
    return std::nullopt;
}

} // namespace keldar::generator

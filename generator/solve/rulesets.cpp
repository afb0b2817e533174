#include "generator/solve/rulesets.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace keldar::generator {

QStringList shippedRuleSets()
{
    return {QStringLiteral("week"), QStringLiteral("fourweeks"), QStringLiteral("rotation")};
}

QString shippedRulesFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QLatin1String("/" KELDAR_DATA_FROM_BINDIR "/rules"));
}

QString shippedModelPath()
{
    return QDir::cleanPath(shippedRulesFolder() + QStringLiteral("/../roster.mzn"));
}

RulesChoiceRead chooseRules(const QString &argument)
{
    RulesChoiceRead read;
    if (argument.isEmpty()) {
        read.choice = RulesChoice{Rules{}, QStringLiteral("none"), QString()};
        return read;
    }
    const bool file = argument.contains(u'/') || argument.endsWith(QLatin1String(".dzn"));
    if (!file && !shippedRuleSets().contains(argument)) {
        read.error = QStringLiteral("--rules ") + argument +
                     QStringLiteral(": no such rule set (") +
                     shippedRuleSets().join(QStringLiteral(", ")) +
                     QStringLiteral(") and no rules file (a path with / or ending in .dzn)");
        return read;
    }
    const QString path = file ? argument : shippedRulesFolder() + u'/' + argument + ".dzn";
    const QString shown = QDir::toNativeSeparators(path);
    QFile in(path);
    // A FIFO or a device would block the read, or never end it.
    if (!QFileInfo(path).isFile() || !in.open(QIODevice::ReadOnly)) {
        read.error = shown + QStringLiteral(": ") +
                     (!QFileInfo::exists(path)    ? QStringLiteral("no such file")
                      : !QFileInfo(path).isFile() ? QStringLiteral("not a regular file")
                                                  : in.errorString());
        return read;
    }
    const ParsedRules parsed = parseRules(in.read(1 << 20));
    if (!parsed.rules) {
        read.error = shown + QStringLiteral(": ") + parsed.error;
        return read;
    }
    QString label = file ? QFileInfo(path).fileName() : argument;
    if (label.endsWith(QLatin1String(".dzn")))
        label.chop(4);
    read.choice = RulesChoice{*parsed.rules, label, path};
    return read;
}

} // namespace keldar::generator

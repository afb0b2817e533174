#include "generator/solve/rulesets.h"

#include "generator/publish/userfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <set>

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

QByteArray normalisedRules(const Rules &rules)
{
    QByteArray text;
    auto item = [&text](const char *name, const std::optional<int> &value) {
        if (value)
            text += QByteArray(name) + " = " + QByteArray::number(*value) + ";\n";
    };
    item("minWorkingShifts", rules.minWorkingShifts);
    item("maxWorkingShifts", rules.maxWorkingShifts);
    item("maxConsecutiveWorkingDays", rules.maxConsecutiveWorkingDays);
    item("minConsecutiveFreeDays", rules.minConsecutiveFreeDays);
    if (!rules.forbiddenSuccessions.empty()) {
        const std::set<int> pairs(rules.forbiddenSuccessions.begin(),
                                  rules.forbiddenSuccessions.end());
        QByteArrayList numbers;
        for (int pair : pairs)
            numbers << QByteArray::number(pair);
        text += "forbiddenSuccessions = {" + numbers.join(", ") + "};\n";
    }
    return text;
}

QString rulesDigest(const Rules &rules)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(normalisedRules(rules), QCryptographicHash::Sha256)
            .toHex()
            .left(16));
}

namespace {

// Why a file's label cannot stand in a table, or nothing.
std::optional<QString> badLabel(const QString &label)
{
    if (label.isEmpty() || label == QLatin1String("none"))
        return QStringLiteral("\"%1\" is no name for rules of a file; rename the file").arg(label);
    if (QStringLiteral("=+-@").contains(label.front()) || hasControlCharacter(label) ||
        label.contains(u',') || label.contains(u'"'))
        return QStringLiteral("the label \"%1\" would not stand safely in a CSV cell; rename the "
                              "file (letters, digits, _ and . are safe)")
            .arg(printable(label));
    return std::nullopt;
}

} // namespace

RulesChoiceRead chooseRules(const QString &argument)
{
    RulesChoiceRead read;
    if (argument.isEmpty()) {
        read.choice = RulesChoice{Rules{}, QStringLiteral("none"), QString(), QByteArray()};
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
    QString label = file ? QFileInfo(path).fileName() : argument;
    if (label.endsWith(QLatin1String(".dzn")))
        label.chop(4);
    if (const auto bad = file ? badLabel(label) : std::nullopt) {
        read.error = shown + QStringLiteral(": ") + *bad;
        return read;
    }
    // A FIFO or a device would block the read, or never end it; a rule cut
    // off would be silently dropped.
    QString why;
    const std::optional<QByteArray> text = readRegularFile(path, MaxRulesBytes, why);
    if (!text) {
        read.error = shown + QStringLiteral(": ") +
                     (QFileInfo::exists(path) ? why : QStringLiteral("no such file"));
        return read;
    }
    const ParsedRules parsed = parseRules(*text);
    if (!parsed.rules) {
        read.error = shown + QStringLiteral(": ") + parsed.error;
        return read;
    }
    read.choice = RulesChoice{*parsed.rules, label, path, *text};
    return read;
}

} // namespace keldar::generator

#include "generator/solving/rulescopy.h"

#include "generator/publish/publish.h"
#include "generator/publish/userfile.h"

#include <QDir>
#include <QFileInfo>

namespace keldar::generator {

FolderRules rulesCopyIn(const QString &folder, const QString &label)
{
    FolderRules copy;
    copy.path = QDir(folder).filePath(label + QStringLiteral(".dzn"));
    if (!QFileInfo(copy.path).exists() && !QFileInfo(copy.path).isSymLink())
        return copy;
    QString why;
    const std::optional<QByteArray> text = readRegularFile(copy.path, MaxRulesBytes, why);
    const ParsedRules parsed = text ? parseRules(*text) : ParsedRules{std::nullopt, why};
    copy.rules = parsed.rules;
    if (!copy.rules)
        copy.error = QDir::toNativeSeparators(copy.path) + QStringLiteral(": ") + parsed.error;
    return copy;
}

std::optional<QString> pinRules(const QString &folder, const RulesChoice &choice,
                                bool rowsUnderLabel, bool &unwritable)
{
    unwritable = false;
    if (choice.path.isEmpty())
        return std::nullopt; // no rules: nothing to tell apart
    const FolderRules copy = rulesCopyIn(folder, choice.label);
    const QString given = QDir::toNativeSeparators(choice.path);
    const QString kept = QDir::toNativeSeparators(copy.path);
    if (!copy.error.isEmpty())
        return copy.error + QStringLiteral(" (the rules of the rows under ") + choice.label + u')';
    if (copy.rules)
        return rulesDigest(*copy.rules) == rulesDigest(choice.rules)
                   ? std::nullopt
                   : std::optional<QString>(
                         given + QStringLiteral(" holds other rules than ") + kept +
                         QStringLiteral(", under which this folder was solved as \"") +
                         choice.label +
                         QStringLiteral("\"; give the rules file another name, or solve into "
                                        "another folder"));
    if (rowsUnderLabel) {
        const RulesChoiceRead shipped = shippedRuleSets().contains(choice.label)
                                            ? chooseRules(choice.label)
                                            : RulesChoiceRead{};
        if (!shipped.choice || rulesDigest(shipped.choice->rules) != rulesDigest(choice.rules))
            return QStringLiteral("the rows under \"") + choice.label + QStringLiteral("\" in ") +
                   QDir::toNativeSeparators(folder) +
                   QStringLiteral(" do not record their rules; put the rules they were solved "
                                  "under there as ") +
                   choice.label + QStringLiteral(".dzn, or give these rules another name");
    }
    QString why;
    if (publishOnce(folder, choice.label + QStringLiteral(".dzn"), choice.text, why).isEmpty()) {
        unwritable = true;
        return QDir::toNativeSeparators(folder) + QStringLiteral(": cannot write here (") + why +
               QStringLiteral(")");
    }
    return std::nullopt;
}

} // namespace keldar::generator

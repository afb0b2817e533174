#include "generator/run/ownfiles.h"

#include "generator/files/batchtext.h"
#include "generator/instance/generate.h"
#include "generator/instance/random.h"
#include "generator/publish/userfile.h"
#include "generator/solve/planting.h"
#include "generator/solve/rulesets.h"

#include <QDir>

namespace keldar::generator {

namespace {

// The planted roster as --check-roster reads it, after a line that says
// what it is.
QByteArray witnessText(const PlantedInstance &planted, const BatchInput &input, qint64 fileNumber,
                       std::int64_t cost)
{
    const Instance &in = planted.instance;
    return "% keldar-generate " KELDAR_VERSION ": " + fileName(fileNumber).toUtf8() +
           " under rules " + input.rules.toUtf8() +
           ", the roster it was built around (slack " + QByteArray::number(planted.slack, 'f', 6) +
           "), cost " + QByteArray::number(qint64(cost)) + "\n" +
           rosterLines(planted.roster, in.nurses, in.days);
}

} // namespace

QString witnessSuffix(const QString &rulesLabel)
{
    return rulesLabel + QStringLiteral(".witness");
}

MadeInstance makeInstance(const BatchInput &input, qint64 fileNumber, const Rules &rules)
{
    MadeInstance made;
    made.provenance.fileNumber = fileNumber;
    made.provenance.fileSeed = fileSeed(input.seed, fileNumber);
    if (input.slack) {
        const PlantedInstance planted =
            generatePlanted(input, made.provenance.fileSeed, rules, *input.slack);
        made.instance = planted.instance;
        // A witness is published only once checked: it is a claim.
        const RosterCheck check = checkRoster(planted.instance, planted.roster, rules);
        if (check.feasible()) {
            made.witnessCost = check.cost;
            made.witnessText = witnessText(planted, input, fileNumber, check.cost);
        } else {
            made.fault = QStringLiteral("the roster it was built around breaks the rules (") +
                         check.violations.front().text +
                         QStringLiteral("); a fault of keldar-generate, please report it");
        }
    } else {
        made.instance = generate(input, made.provenance.fileSeed);
    }
    made.provenance.measured = measure(made.instance);
    made.bound = lowerBound(made.instance);
    made.text = instanceText(made.instance, input, made.provenance);
    return made;
}

std::optional<std::int64_t> witnessCostIn(const QString &folder, qint64 fileNumber,
                                          const Instance &instance, const QString &rulesLabel)
{
    const QDir dir(folder);
    QString why;
    Rules rules;
    if (rulesLabel != QLatin1String("none")) {
        const auto text =
            readRegularFile(dir.filePath(rulesLabel + QStringLiteral(".dzn")), MaxRulesBytes, why);
        const ParsedRules parsed = text ? parseRules(*text) : ParsedRules{};
        if (!parsed.rules)
            return std::nullopt;
        rules = *parsed.rules;
    }
    const auto text = readRegularFile(
        dir.filePath(extraName(fileNumber, witnessSuffix(rulesLabel))), MaxInstanceFileBytes, why);
    const ParsedRoster roster = text ? parseRoster(*text, instance) : ParsedRoster{{}, why};
    if (!roster.error.isEmpty())
        return std::nullopt;
    const RosterCheck check = checkRoster(instance, roster.roster, rules);
    if (!check.feasible())
        return std::nullopt;
    return check.cost;
}

} // namespace keldar::generator

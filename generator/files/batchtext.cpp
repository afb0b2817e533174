#include "generator/files/batchtext.h"

#include "generator/files/instancefile.h"

namespace keldar::generator {

QString fileName(qint64 fileNumber)
{
    return QStringLiteral("instance_%1.txt").arg(fileNumber);
}

QString extraName(qint64 fileNumber, const QString &suffix)
{
    return QStringLiteral("instance_%1.%2").arg(fileNumber).arg(suffix);
}

QString manifestName(int shard, int shards)
{
    return shards > 1 ? QStringLiteral("manifest.shard-%1-of-%2.csv").arg(shard).arg(shards)
                      : QStringLiteral("manifest.csv");
}

QString figureName(bool design, int shard, int shards)
{
    const QString base = design ? QStringLiteral("design") : QStringLiteral("batch");
    return shards > 1 ? QStringLiteral("%1.shard-%2-of-%3.svg").arg(base).arg(shard).arg(shards)
                      : base + QStringLiteral(".svg");
}

QString inputsLine(const BatchInput &in)
{
    QString text = QStringLiteral("inputs: nurses %1, days %2, shifts %3, free shift counted %4")
                       .arg(in.nurses)
                       .arg(in.days)
                       .arg(in.shifts)
                       .arg(in.freeCounted ? 1 : 0);
    for (int k = 0; k < IndicatorCount; ++k)
        text += QStringLiteral(", %1 %2")
                    .arg(QLatin1String(IndicatorNames[k]))
                    .arg(in.targets[static_cast<std::size_t>(k)], 0, 'g', 15);
    if (!in.rules.isEmpty())
        text += QStringLiteral(", rules ") + in.rules;
    if (in.slack)
        text += QStringLiteral(", slack %1").arg(*in.slack, 0, 'g', 15);
    text += QStringLiteral(", files %1, first file %2, seed %3, folder %4")
                .arg(in.files)
                .arg(in.firstFile)
                .arg(in.seed)
                .arg(in.folder);
    return text;
}

QString measuredText(const Indicators &measured)
{
    QString text;
    for (int k = 0; k < IndicatorCount; ++k)
        text += QStringLiteral(" %1 %2")
                    .arg(QLatin1String(IndicatorNames[k]))
                    .arg(measured[static_cast<std::size_t>(k)], 0, 'f', 6);
    return text;
}

QString unreachedText(const Indicators &measured, const Indicators &targets)
{
    QString text;
    for (int k = 0; k < IndicatorCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        if (unreachable(measured[i], targets[i]))
            text += QStringLiteral("; unreachable: %1 target %2, nearest reached %3")
                        .arg(QLatin1String(IndicatorNames[k]))
                        .arg(targets[i], 0, 'g', 15)
                        .arg(measured[i], 0, 'f', 6);
    }
    return text;
}

} // namespace keldar::generator

#include "generator/solving/solvefigure.h"

#include "generator/files/batchtext.h"
#include "generator/publish/publish.h"
#include "generator/run/manifest.h"
#include "generator/run/svgplot.h"
#include "generator/solve/mipsolve.h"

#include <QMap>

#include <algorithm>
#include <array>

#include <QDir>

namespace keldar::generator {

namespace {

const char *statusOf(int s)
{
    return statusName(SolveOutcome::Status(s));
}

// Figure geometry, as the design figure's.
constexpr double PanelWidth = 380;
constexpr double PanelHeight = 250;
constexpr double PlotLeft = 50;
constexpr double PlotTop = 50;
constexpr double PlotWidth = 310;
constexpr double PlotHeight = 150;
constexpr double TitleHeight = 60;
const char *const Colours[] = {"#4e9a06", "#8ae234", "#cc0000", "#babdb6"};

QByteArray num(double value)
{
    return svgNumber(value);
}

struct Level {
    int counts[4] = {};
    QList<double> gaps;
    int total() const { return counts[0] + counts[1] + counts[2] + counts[3]; }
    QByteArray medianGap()
    {
        if (gaps.isEmpty())
            return "gap \xE2\x80\x93";
        std::sort(gaps.begin(), gaps.end());
        const qsizetype n = gaps.size();
        const double median = n % 2 ? gaps.at(n / 2) : (gaps.at(n / 2 - 1) + gaps.at(n / 2)) / 2;
        return "gap " + QByteArray::number(median * 100, 'f', 1) + "%";
    }
};

int statusIndex(const QString &status)
{
    for (int s = 0; s < 4; ++s)
        if (status == QLatin1String(statusOf(s)))
            return s;
    return 3;
}

QByteArray panel(int k, const QMap<double, Level> &levels)
{
    const double left = (k % 3) * PanelWidth + PlotLeft;
    const double top = TitleHeight + (k / 3) * PanelHeight + PlotTop;
    QByteArray svg = "<g class=\"panel\" id=\"" + QByteArray(IndicatorNames[k]) +
                     "\">\n<text x=\"" + num(left + PlotWidth / 2) + "\" y=\"" + num(top - 28) +
                     "\" text-anchor=\"middle\" font-size=\"13\" font-weight=\"bold\">" +
                     IndicatorNames[k] + "</text>\n";
    const double slot = PlotWidth / double(std::max<qsizetype>(1, levels.size()));
    const double barWidth = std::min(48.0, slot * 0.6);
    int index = 0;
    for (auto it = levels.begin(); it != levels.end(); ++it, ++index) {
        Level level = it.value();
        const double x = left + slot * (index + 0.5) - barWidth / 2;
        double y = top + PlotHeight;
        for (int s = 0; s < 4; ++s) {
            const double height = PlotHeight * level.counts[s] / std::max(1, level.total());
            y -= height;
            if (height > 0)
                svg += "<rect class=\"" + QByteArray(statusOf(s)) + "\" x=\"" + num(x) + "\" y=\"" +
                       num(y) + "\" width=\"" + num(barWidth) + "\" height=\"" + num(height) +
                       "\" fill=\"" + Colours[s] + "\"/>\n";
        }
        svg += "<text x=\"" + num(x + barWidth / 2) + "\" y=\"" + num(top - 6) +
               "\" text-anchor=\"middle\" font-size=\"10\">" + level.medianGap() + "</text>\n";
        svg += "<text x=\"" + num(x + barWidth / 2) + "\" y=\"" + num(top + PlotHeight + 14) +
               "\" text-anchor=\"middle\" font-size=\"10\">" +
               QByteArray::number(it.key(), 'g', 6) + "</text>\n";
    }
    svg += "<rect x=\"" + num(left) + "\" y=\"" + num(top) + "\" width=\"" + num(PlotWidth) +
           "\" height=\"" + num(PlotHeight) + "\" fill=\"none\" stroke=\"#2e3436\"/>\n<text x=\"" +
           num(left + PlotWidth / 2) + "\" y=\"" + num(top + PlotHeight + 30) +
           "\" text-anchor=\"middle\" font-size=\"11\">target</text>\n</g>\n";
    return svg;
}

} // namespace

QByteArray solutionsSvg(const QList<SolutionRow> &rows, const QString &rules,
                        const QHash<QString, Indicators> &targetsByFile)
{
    int counts[4] = {};
    std::array<QMap<double, Level>, IndicatorCount> levels;
    for (const SolutionRow &row : rows) {
        if (row.rules != rules)
            continue;
        const int s = statusIndex(row.status);
        ++counts[s];
        const auto targets = targetsByFile.constFind(row.file);
        if (targets == targetsByFile.constEnd())
            continue;
        for (int k = 0; k < IndicatorCount; ++k) {
            Level &level = levels[std::size_t(k)][(*targets)[std::size_t(k)]];
            ++level.counts[s];
            if (const auto gap = row.gap())
                level.gaps.append(*gap);
        }
    }
    const double width = 3 * PanelWidth;
    const double height = TitleHeight + 2 * PanelHeight;
    QByteArray svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
                     num(width) + "\" height=\"" + num(height) + "\" viewBox=\"0 0 " + num(width) +
                     ' ' + num(height) +
                     "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" "
                     "font-size=\"12\">\n<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    svg += "<text x=\"" + num(width / 2) +
           "\" y=\"24\" text-anchor=\"middle\" font-size=\"15\" class=\"title\">rules " +
           svgEscaped(rules.toUtf8()) + ": " +
           QByteArray::number(counts[0] + counts[1] + counts[2] + counts[3]) + " instances, " +
           QByteArray::number(counts[0]) + " optimal, " + QByteArray::number(counts[1]) +
           " feasible, " + QByteArray::number(counts[2]) + " infeasible, " +
           QByteArray::number(counts[3]) +
           " unknown</text>\n<g font-size=\"11\" class=\"legend\">\n";
    for (int s = 0; s < 4; ++s)
        svg += "<rect x=\"" + num(width / 2 - 230 + s * 120) +
               "\" y=\"36\" width=\"12\" "
               "height=\"10\" fill=\"" +
               Colours[s] + "\"/><text x=\"" + num(width / 2 - 214 + s * 120) + "\" y=\"45\">" +
               statusOf(s) + "</text>\n";
    svg += "</g>\n";
    for (int k = 0; k < IndicatorCount; ++k)
        svg += panel(k, levels[std::size_t(k)]);
    return svg + "</svg>\n";
}

namespace {

// The targets of every file the folder's manifests list.
QHash<QString, Indicators> targetsIn(const QString &folder)
{
    QHash<QString, Indicators> targets;
    for (const ManifestRow &row : readFolderManifests(folder).rows.value_or(QList<ManifestRow>()))
        targets.insert(fileName(row.fileNumber), row.targets);
    return targets;
}

} // namespace

void drawSolutionsFigure(const QString &folder, const QList<SolutionRow> &rows,
                         const QString &label, QTextStream &out, QTextStream &err)
{
    const QString name = QStringLiteral("solutions.svg");
    const QByteArray svg = solutionsSvg(rows, label, targetsIn(folder));
    QString why;
    bool already = false;
    const QString written = publishOnce(folder, name, svg, why, &already);
    if (written.isEmpty())
        err << "keldar-generate: " << name << " not written: " << why << Qt::endl;
    else if (!already)
        out << QDir::toNativeSeparators(QDir(folder).filePath(written)) << Qt::endl;
}

} // namespace keldar::generator

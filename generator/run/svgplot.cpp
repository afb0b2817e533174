#include "generator/run/svgplot.h"

#include <QSet>
#include <algorithm>
#include <cmath>

namespace keldar::generator {

namespace {

// Figure geometry in user units; the viewBox lets viewers scale it.
constexpr double PlotWidth = 300;
constexpr double PlotHeight = 200;
constexpr double LeftMargin = 62;
constexpr double RightMargin = 18;
constexpr double TopMargin = 46;
constexpr double BottomMargin = 44;
constexpr double TitleHeight = 56;
constexpr int PanelColumns = 3;
constexpr double PanelWidth = LeftMargin + PlotWidth + RightMargin;
constexpr double PanelHeight = TopMargin + PlotHeight + BottomMargin;

QByteArray num(double value)
{
    return svgNumber(value);
}

QByteArray escaped(const QByteArray &text)
{
    return svgEscaped(text);
}

// The smallest of a few round half-ranges that holds every deviation, never
// narrower than twice the band so the band stays readable.
double yRange(double worst)
{
    for (double range : {0.02, 0.05, 0.1, 0.2, 0.5})
        if (worst <= range * 0.95)
            return range;
    return 1.0;
}

QByteArray tickLabel(double value)
{
    if (std::fabs(value) < 1e-12)
        return "0";
    QByteArray text = QByteArray::number(value, 'f', 3);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    if (text.startsWith('-'))
        text.replace(0, 1, "\xE2\x88\x92"); // a real minus sign
    return text;
}

// A spread of marks around their target column so that the files of one
// level do not all fall on one vertical line; fixed per file number.
double jitter(qint64 fileNumber)
{
    const double golden = 0.6180339887498949;
    const double fraction = std::fmod(double(fileNumber % 1'000'003) * golden, 1.0);
    return fraction - 0.5;
}

} // namespace

QByteArray svgNumber(double value)
{
    // One decimal is finer than any screen or print needs.
    const double rounded = std::round(value * 10) / 10;
    return QByteArray::number(rounded == 0 ? 0.0 : rounded, 'f', 1).replace(".0", "");
}

QByteArray svgEscaped(const QByteArray &text)
{
    QByteArray out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

PlotCounts plotCounts(const QList<ManifestRow> &rows)
{
    PlotCounts counts;
    QSet<qint64> cells;
    for (const ManifestRow &row : rows) {
        ++counts.files;
        cells.insert(row.cell);
        ++(row.met() ? counts.met : counts.nearest);
    }
    counts.cells = cells.size();
    return counts;
}

namespace {

// The title line with the counts and the legend: what the band and the two
// kinds of mark mean.
QByteArray titleAndLegend(const PlotCounts &counts, double width, double height)
{
    QByteArray svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
                     num(width) + "\" height=\"" + num(height) + "\" viewBox=\"0 0 " + num(width) +
                     ' ' + num(height) +
                     "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" "
                     "font-size=\"12\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    svg += "<text x=\"" + num(width / 2) +
           "\" y=\"26\" text-anchor=\"middle\" font-size=\"15\" class=\"title\">" +
           QByteArray::number(counts.files) + (counts.files == 1 ? " file, " : " files, ") +
           QByteArray::number(counts.cells) + (counts.cells == 1 ? " cell, " : " cells, ") +
           QByteArray::number(counts.met) +
           " met (every value within \xC2\xB1"
           "0.01 of its target), " +
           QByteArray::number(counts.nearest) + " nearest reachable</text>\n";
    const double legend = width / 2 - 250;
    svg +=
        "<g font-size=\"11\" fill=\"#2e3436\" class=\"legend\">\n<rect x=\"" + num(legend) +
        "\" y=\"38\" width=\"18\" height=\"9\" fill=\"#d5ecc2\"/>\n<text x=\"" + num(legend + 24) +
        "\" y=\"46.5\">within \xC2\xB1"
        "0.01 of the target</text>\n<circle cx=\"" +
        num(legend + 190) +
        "\" cy=\"42.5\" r=\"2.2\" fill=\"#204a87\" fill-opacity=\"0.6\"/>\n<text x=\"" +
        num(legend + 198) + "\" y=\"46.5\">one file, met</text>\n<path d=\"M" + num(legend + 302) +
        " 40l5 5m0-5l-5 5\" stroke=\"#cc0000\" stroke-width=\"1.3\"/>\n<text x=\"" +
        num(legend + 314) + "\" y=\"46.5\">one file, nearest reachable value</text>\n</g>\n";
    return svg;
}

// One indicator's panel: targets across, measured - target up.
class Panel
{
public:
    Panel(const QList<ManifestRow> &rows, int k) : rows_(rows), k_(k), i_(std::size_t(k))
    {
        QList<double> levels;
        double worst = 0;
        for (const ManifestRow &row : rows) {
            levels.append(row.targets[i_]);
            worst = std::max(worst, std::fabs(row.measured[i_] - row.targets[i_]));
        }
        std::sort(levels.begin(), levels.end());
        levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
        double gap = 1;
        for (qsizetype n = 1; n < levels.size(); ++n)
            gap = std::min(gap, levels.at(n) - levels.at(n - 1));
        spread_ = std::min(0.04, 0.6 * gap);
        range_ = yRange(worst);
        left_ = (k % PanelColumns) * PanelWidth + LeftMargin;
        top_ = TitleHeight + (k / PanelColumns) * PanelHeight + TopMargin;
    }

    QByteArray svg() const
    {
        return "<g class=\"panel\" id=\"" + QByteArray(IndicatorNames[k_]) + "\">\n" + heading() +
               background() + marks() + frame() + "</g>\n";
    }

private:
    double x(double target) const { return left_ + target * PlotWidth; }
    double y(double deviation) const
    {
        return top_ + (range_ - deviation) / (2 * range_) * PlotHeight;
    }

    QByteArray heading() const
    {
        return "<text x=\"" + num(left_ + PlotWidth / 2) + "\" y=\"" + num(top_ - 22) +
               "\" text-anchor=\"middle\" font-size=\"13\" font-weight=\"bold\">" +
               IndicatorNames[k_] + "</text>\n" + "<text x=\"" + num(left_ + PlotWidth / 2) +
               "\" y=\"" + num(top_ - 8) +
               "\" text-anchor=\"middle\" font-size=\"11\" fill=\"#555753\">" +
               escaped(IndicatorCaptions[k_]) + "</text>\n";
    }

    // The tolerance band, then the grid and the zero line over it.
    QByteArray background() const
    {
        QByteArray svg = "<rect x=\"" + num(left_) + "\" y=\"" + num(y(Tolerance)) + "\" width=\"" +
                         num(PlotWidth) + "\" height=\"" + num(y(-Tolerance) - y(Tolerance)) +
                         "\" fill=\"#d5ecc2\" class=\"band\"/>\n";
        svg += "<g stroke=\"#d3d7cf\" stroke-width=\"0.6\">\n";
        for (int t = 0; t <= 5; ++t)
            svg += "<line x1=\"" + num(x(t / 5.0)) + "\" y1=\"" + num(top_) + "\" x2=\"" +
                   num(x(t / 5.0)) + "\" y2=\"" + num(top_ + PlotHeight) + "\"/>\n";
        for (int t = -2; t <= 2; ++t)
            svg += "<line x1=\"" + num(left_) + "\" y1=\"" + num(y(range_ * t / 2)) + "\" x2=\"" +
                   num(left_ + PlotWidth) + "\" y2=\"" + num(y(range_ * t / 2)) + "\"/>\n";
        svg += "</g>\n<line x1=\"" + num(left_) + "\" y1=\"" + num(y(0)) + "\" x2=\"" +
               num(left_ + PlotWidth) + "\" y2=\"" + num(y(0)) +
               "\" stroke=\"#888a85\" stroke-width=\"0.8\"/>\n";
        return svg;
    }

    QByteArray marks() const
    {
        QByteArray met;
        QByteArray missed;
        for (const ManifestRow &row : rows_) {
            const double deviation = row.measured[i_] - row.targets[i_];
            const double cx = x(row.targets[i_] + spread_ * jitter(row.fileNumber));
            const double cy = y(std::clamp(deviation, -range_, range_));
            if (std::fabs(deviation) <= Tolerance + 1e-9)
                met += "<circle cx=\"" + num(cx) + "\" cy=\"" + num(cy) + "\" r=\"1.8\"/>\n";
            else
                missed +=
                    "<path d=\"M" + num(cx - 2.5) + ' ' + num(cy - 2.5) + "l5 5m0-5l-5 5\"/>\n";
        }
        return "<g class=\"marks met\" fill=\"#204a87\" fill-opacity=\"0.4\">\n" + met + "</g>\n" +
               "<g class=\"marks miss\" stroke=\"#cc0000\" stroke-width=\"1.3\" fill=\"none\">\n" +
               missed + "</g>\n";
    }

    // Frame, ticks and labels last, above the marks.
    QByteArray frame() const
    {
        QByteArray svg = "<rect x=\"" + num(left_) + "\" y=\"" + num(top_) + "\" width=\"" +
                         num(PlotWidth) + "\" height=\"" + num(PlotHeight) +
                         "\" fill=\"none\" stroke=\"#2e3436\" stroke-width=\"1\"/>\n";
        svg += "<g font-size=\"10\" fill=\"#2e3436\">\n";
        for (int t = 0; t <= 5; ++t)
            svg += "<text x=\"" + num(x(t / 5.0)) + "\" y=\"" + num(top_ + PlotHeight + 14) +
                   "\" text-anchor=\"middle\">" + tickLabel(t / 5.0) + "</text>\n";
        for (int t = -2; t <= 2; ++t)
            svg += "<text x=\"" + num(left_ - 5) + "\" y=\"" + num(y(range_ * t / 2) + 3.5) +
                   "\" text-anchor=\"end\">" + tickLabel(range_ * t / 2) + "</text>\n";
        svg += "</g>\n<text x=\"" + num(left_ + PlotWidth / 2) + "\" y=\"" +
               num(top_ + PlotHeight + 32) +
               "\" text-anchor=\"middle\" font-size=\"11\">target</text>\n";
        svg += "<text transform=\"translate(" + num(left_ - 44) + ' ' + num(top_ + PlotHeight / 2) +
               ") rotate(-90)\" text-anchor=\"middle\" font-size=\"11\">measured \xE2\x88\x92 "
               "target</text>\n";
        return svg;
    }

    const QList<ManifestRow> &rows_;
    int k_;
    std::size_t i_;
    double spread_ = 0;
    double range_ = 1;
    double left_ = 0;
    double top_ = 0;
};

} // namespace

QByteArray svgPlot(const QList<ManifestRow> &rows)
{
    const double width = PanelColumns * PanelWidth;
    const double height =
        TitleHeight + ((IndicatorCount + PanelColumns - 1) / PanelColumns) * PanelHeight;
    QByteArray svg;
    svg.reserve(2048 + rows.size() * IndicatorCount * 48);
    svg += titleAndLegend(plotCounts(rows), width, height);
    for (int k = 0; k < IndicatorCount; ++k)
        svg += Panel(rows, k).svg();
    svg += "</svg>\n";
    return svg;
}

} // namespace keldar::generator

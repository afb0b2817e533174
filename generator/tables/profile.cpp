#include "generator/tables/profile.h"

#include <algorithm>

namespace keldar::generator {

Profile performanceProfile(const QList<QString> &algorithms,
                           const std::vector<std::vector<std::optional<double>>> &gaps,
                           const std::vector<double> &taus)
{
    Profile profile{algorithms, taus, {}};
    for (const auto &ofAlgorithm : gaps) {
        profile.shares.emplace_back();
        for (const double tau : taus) {
            const auto within = std::count_if(
                ofAlgorithm.begin(), ofAlgorithm.end(),
                [tau](const std::optional<double> &gap) { return gap && *gap <= tau + 1e-12; });
            profile.shares.back().push_back(
                ofAlgorithm.empty() ? 0 : double(within) / double(ofAlgorithm.size()));
        }
    }
    return profile;
}

QByteArray profileSvg(const Profile &profile, const QString &title)
{
    const double left = 60, top = 40, width = 480, height = 260;
    const double largest = profile.taus.empty() ? 1 : std::max(profile.taus.back(), 1e-9);
    static const char *const Colours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd",
                                          "#ff7f0e", "#8c564b", "#e377c2", "#17becf"};
    auto x = [&](double tau) {
        return left + width * tau / largest;
    };
    auto y = [&](double share) {
        return top + height * (1 - share);
    };
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"720\" height=\"360\" "
                     "font-family=\"sans-serif\" font-size=\"12\">\n"
                     "<rect width=\"720\" height=\"360\" fill=\"white\"/>\n";
    svg += "<text x=\"60\" y=\"24\" font-size=\"14\">Performance profile: share of " +
           title.toHtmlEscaped().toUtf8() + " within gap \xcf\x84 of the reference</text>\n";
    svg += "<path d=\"M60 40V300H540\" fill=\"none\" stroke=\"black\"/>\n";
    for (int i = 0; i <= 4; ++i) {
        const QByteArray share = QByteArray::number(i * 0.25, 'f', 2);
        const QByteArray tau = QByteArray::number(largest * i / 4, 'g', 3);
        svg += "<text x=\"52\" y=\"" + QByteArray::number(y(i * 0.25) + 4) +
               "\" text-anchor=\"end\">" + share + "</text>\n";
        svg += "<text x=\"" + QByteArray::number(x(largest * i / 4)) +
               "\" y=\"318\" text-anchor=\"middle\">" + tau + "</text>\n";
    }
    svg += "<text x=\"300\" y=\"340\" text-anchor=\"middle\">gap \xcf\x84 = (cost \xe2\x88\x92 "
           "reference) / reference</text>\n";
    for (qsizetype a = 0; a < profile.algorithms.size(); ++a) {
        const char *colour = Colours[a % 8];
        QByteArray path;
        const auto &shares = profile.shares.at(std::size_t(a));
        for (std::size_t t = 0; t < profile.taus.size(); ++t) {
            path += (t == 0 ? "M" : "H") + QByteArray::number(x(profile.taus[t]), 'f', 1);
            path += (t == 0 ? " " : "V") + QByteArray::number(y(shares[t]), 'f', 1);
        }
        svg += "<path d=\"" + path + "\" fill=\"none\" stroke=\"" + colour +
               "\" stroke-width=\"2\"/>\n";
        const QByteArray at = QByteArray::number(top + 14 + 18 * double(a));
        svg += "<rect x=\"560\" y=\"" + QByteArray::number(top + 4 + 18 * double(a)) +
               "\" width=\"12\" height=\"12\" fill=\"" + colour + "\"/>\n";
        svg += "<text x=\"578\" y=\"" + at + "\">" +
               profile.algorithms.at(a).toHtmlEscaped().toUtf8() + "</text>\n";
    }
    return svg + "</svg>\n";
}

} // namespace keldar::generator

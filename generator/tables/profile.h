#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <vector>

namespace keldar::generator {

// A performance profile: for each algorithm, the share of the instances
// whose gap to the reference is at most tau, at each tau.  A gap of none
// (no feasible roster) is never within.
struct Profile {
    QList<QString> algorithms;
    std::vector<double> taus;
    std::vector<std::vector<double>> shares; // [algorithm][tau]
};
Profile performanceProfile(const QList<QString> &algorithms,
                           const std::vector<std::vector<std::optional<double>>> &gaps,
                           const std::vector<double> &taus);

// The profile as an SVG figure.
QByteArray profileSvg(const Profile &profile, const QString &title);

} // namespace keldar::generator

#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// The algorithms of an instance-space analysis, their measures and
// penalties, and the settings file the toolkits read.
namespace keldar::generator {

// An exact solver without a proven verdict, or with no row, counts ten
// times its time limit (PAR10).
constexpr double TimePenaltyFactor = 10;
// A heuristic without a feasible roster, or with no row: a gap of 10.  Costs
// are 1 to 4 a nurse-day, so no roster costs more than four times another
// and a feasible roster's gap is at most 3.
constexpr double GapPenalty = 10;
// A roster within 5 % of the best known one counts as good.
constexpr double GoodGap = 0.05;

// One algorithm's column: a value for each instance that has a row.
struct Algorithm {
    Algorithm(const QString &called, const QByteArray &named, bool seconds)
        : name(called), column(named), exact(seconds)
    {}
    QString name;
    QByteArray column;
    bool exact = false; // seconds (cbc, gecode), else a gap
    QHash<QString, double> value;
    qint64 unproven = 0;     // rows without proof, or without a feasible roster
    qint64 absent = 0;       // instances without a row
    double limit = 0;        // exact: the time limit the penalty is ten times of
    QString limitFrom;       // where it was read
    QList<QByteArray> cells; // as written, one an instance

    double penalty() const { return exact ? TimePenaltyFactor * limit : GapPenalty; }
};

// options.json for MATILDA's buildIS and pyInstanceSpace: every field both
// read, none that either refuses (pyInstanceSpace refuses fields it does
// not know).  Lower is better; a value is good when at most epsilon:
// seconds within the time limit (a proven verdict), or a gap within 5 %.
// Seconds and gaps share no threshold, so a file with both analyses the
// gaps (selvars.algos) and says so.
QByteArray optionsJson(const QList<Algorithm> &algorithms, QString &note);

} // namespace keldar::generator

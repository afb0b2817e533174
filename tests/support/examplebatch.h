#pragma once

#include "params/parameterset.h"

#include <QByteArray>
#include <QString>

namespace keldar::test {

// The parameters of the worked example: 20 nurses, 28 days, 4 shifts with
// the free shift, every indicator 0.5, seed 100 (no batch values yet).
inline ParameterSet exampleBatch()
{
    ParameterSet p;
    p.nurses = 20;
    p.days = 28;
    p.shifts = 4;
    p.freeShiftInculuded = true;
    p.periodPreference = p.dayPreference = p.shiftPreference = 0.5;
    p.totalCoverage = p.dayCoverage = p.shiftCoverage = 0.5;
    p.seed = DefaultSeed;
    return p;
}

// The input-data file of the example's batch of ten files from file 1, for
// `folder`, each indicator written as `indicator`.
inline QByteArray exampleFile(const QString &folder, const QByteArray &indicator = " 0.5 \r\n")
{
    return QByteArray(" 20 \r\n 28 \r\n 4 \r\n 1 \r\n") + indicator.repeated(6) +
           " 10 \r\n 1 \r\n 100 \r\n" + folder.toUtf8() + "\r\n";
}

} // namespace keldar::test

#pragma once

#include <QtGlobal>

namespace keldar {

// The parameters of one batch.  A plain record: whoever writes a member has
// already read and checked it; nothing here converts or validates.
// The member names are the program's vocabulary and are kept as they are,
// including the spelling of freeShiftInculuded.
struct ParameterSet {
    double totalCoverage = 0;
    double dayCoverage = 0;
    double shiftCoverage = 0;
    double periodPreference = 0;
    double dayPreference = 0;
    double shiftPreference = 0;
    double nurses = 0;
    double days = 0;
    double shifts = 0;
    qint16 seed = 0;
    qint16 startsolution = 0;
    bool freeShiftInculuded = false;
    double numberOfFilesGenerated = 0;
    bool mnuNewClicked = false;
};

// The seed every fresh main window starts with.
inline constexpr qint16 DefaultSeed = 100;

} // namespace keldar

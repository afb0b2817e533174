#pragma once

#include <array>

namespace keldar::generator {

// The six indicators in input-data line order (lines 5 to 10).
enum Indicator {
    PeriodPreference,
    DayPreference,
    ShiftPreference,
    TotalCoverage,
    DayCoverage,
    ShiftCoverage,
};
inline constexpr int IndicatorCount = 6;

using Indicators = std::array<double, IndicatorCount>;

// The member names and the captions the main window shows beside them.
inline constexpr const char *IndicatorNames[IndicatorCount] = {
    "periodPreference", "dayPreference", "shiftPreference",
    "totalCoverage",    "dayCoverage",   "shiftCoverage",
};
inline constexpr const char *IndicatorCaptions[IndicatorCount] = {
    "Day Preference Distribution",   "Shift Preference Distribution",
    "Nurse Preference Distribution", "Total Coverage Constrainedness",
    "Day Coverage Distribution",     "Shift Coverage Distribution",
};

// What the tools promise for instances of at least 10 x 7 x 2 working shifts.
inline constexpr double Tolerance = 0.01;

} // namespace keldar::generator

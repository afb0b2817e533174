#pragma once

#include "generator/input/indicators.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace keldar::generator {

// Size limits: an instance holds at most this many preference values, so a
// typing slip cannot ask for gigabytes.  The batch and numbering limits keep
// file numbers and seeds exact in a double and in 64 bits.
inline constexpr qint64 MaxPreferenceValues = 50'000'000;
inline constexpr qint64 MaxFiles = 1'000'000;
inline constexpr qint64 MaxFileNumber = 1'000'000'000'000'000;    // 1E+15
inline constexpr qint64 MaxSeedMagnitude = 9'007'199'254'740'992; // 2^53
// The fourteen lines need well under 1 KiB besides the folder, and a folder
// path is at most the system's limit.
inline constexpr qsizetype MaxFolderBytes = 4095;
inline constexpr qsizetype MaxInputBytes = 8192;

// One batch as the input-data file describes it.
struct BatchInput {
    int nurses = 0;
    int days = 0;
    int shifts = 0;           // as the user counted them (line 3)
    bool freeCounted = false; // line 4
    Indicators targets{};
    qint64 files = 0;
    qint64 firstFile = 0;
    qint64 seed = 0;
    QString folder;
    // A design's cell may carry rules and a slack: its instances are built
    // around a roster that keeps those rules.  The rules' label ("none" for
    // none), empty in a batch and in designs without either key.
    QString rules;
    std::optional<double> slack;

    // Working shifts: the free shift is one of the user's shifts or added.
    int workingShifts() const { return freeCounted ? shifts - 1 : shifts; }
    int shiftTypes() const { return workingShifts() + 1; }
};

struct ReadResult {
    std::optional<BatchInput> input;
    int line = 0; // 1-based line of the refusal, 0 when the whole file is at fault
    QString error;
    // On a refusal, the target folder when line 14 is there and not blank, so
    // the refusal can be logged where the user looks for the batch's log.
    QString folder;
};

// Reads the fourteen lines strictly: what the app writes is accepted (blanks
// around numbers, "0.5", "1E-05", CR LF or LF); anything else is refused with
// a message naming the line and its value.
ReadResult readInput(const QByteArray &bytes);

// Reads the one number a line may hold: optional blanks, sign, digits with an
// optional "." fraction, optional exponent.  Nothing for anything else.
std::optional<double> readNumber(QByteArrayView text);

} // namespace keldar::generator

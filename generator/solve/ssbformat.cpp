#include "generator/solve/ssbformat.h"

#include "generator/files/instancefile.h"

#include <algorithm>
#include <cmath>

namespace keldar::generator {

namespace {

QByteArray num(std::int64_t value)
{
    return QByteArray::number(static_cast<qint64>(value));
}

QByteArray shiftId(int w)
{
    return 'S' + num(w);
}

// A, B, ..., Z, AA, AB, ...: the employee IDs of the benchmark's own
// instances, which readers map to rows by their letters.
QByteArray nurseId(int n)
{
    QByteArray id;
    for (int k = n + 1; k > 0; k = (k - 1) / 26)
        id.prepend(char('A' + (k - 1) % 26));
    return id;
}

// Readers find sections by their tags anywhere in the text and end them at
// the first blank line: a comment may hold neither.
QByteArray commentSafe(const QString &text)
{
    QByteArray out = text.toUtf8();
    for (char &c : out)
        if (static_cast<unsigned char>(c) < 0x20)
            c = '?';
    return out.replace("SECTION_", "section_");
}

// A section: its tag, the column header as a comment, its lines, and the
// blank line that ends it.
void section(QByteArray &out, const char *tag, const char *columns, const QByteArray &lines)
{
    out += QByteArray(tag) + "\n# " + columns + '\n' + lines + '\n';
}

QByteArray shiftLines(const Instance &in, const Rules &rules)
{
    QByteArray lines;
    for (int a = 0; a < in.workingShifts; ++a) {
        lines += shiftId(a) + ',' + num(SsbShiftMinutes) + ',';
        QByteArray after;
        for (int b = 0; b < in.workingShifts; ++b)
            for (const int code : rules.forbiddenSuccessions)
                if (a < 100 && b < 100 && code == a * 100 + b) {
                    after += (after.isEmpty() ? "" : "|") + shiftId(b);
                    break;
                }
        lines += after + '\n';
    }
    return lines;
}

// Every nurse under the same rules; what the rules leave out never binds.
QByteArray staffLines(const Instance &in, const Rules &rules)
{
    const int days = in.days;
    QByteArray limits;
    for (int w = 0; w < in.workingShifts; ++w)
        limits += (w > 0 ? "|" : "") + shiftId(w) + '=' + num(days);
    const std::int64_t most = rules.maxWorkingShifts.value_or(days);
    const std::int64_t least = rules.minWorkingShifts.value_or(0);
    const QByteArray rest =
        ',' + limits + ',' + num(most * SsbShiftMinutes) + ',' + num(least * SsbShiftMinutes) +
        ',' + num(rules.maxConsecutiveWorkingDays.value_or(days)) + ",1," +
        num(std::max(1, rules.minConsecutiveFreeDays.value_or(1))) + ',' + num(days) + '\n';
    QByteArray lines;
    for (int n = 0; n < in.nurses; ++n)
        lines += nurseId(n) + rest;
    return lines;
}

// Taking working shift t, a nurse pays the on-requests of her day but t's
// and the off-request of t; taking the free shift, all the on-requests.
// For her penalty to be her cost plus one constant a day, the free shift's
// less t's must be t's on-request less its off-request: so each working
// shift cheaper than the free shift needs an on-request of the difference,
// and each dearer one an off-request of it (none at a tie).  The constant is
// the on-requests' weights less the free shift's cost.  A nurse-day thus has
// one on-request at most unless two or more of its working shifts are
// cheaper than its free shift, where no exact encoding with weights of zero
// or more has fewer.
void requestLines(const Instance &in, QByteArray &on, QByteArray &off)
{
    const int free = in.workingShifts;
    for (int n = 0; n < in.nurses; ++n)
        for (int d = 0; d < in.days; ++d)
            for (int w = 0; w < in.workingShifts; ++w) {
                const int difference = in.cost(n, d, w) - in.cost(n, d, free);
                if (difference != 0)
                    (difference > 0 ? off : on) += nurseId(n) + ',' + num(d) + ',' + shiftId(w) +
                                                   ',' + num(std::abs(difference)) + '\n';
            }
}

// Every nurse has a row, most with no day: readers look each one up.
QByteArray daysOffLines(const Instance &in)
{
    QByteArray lines;
    for (int n = 0; n < in.nurses; ++n)
        lines += nurseId(n) + '\n';
    return lines;
}

// Short by one nurse costs more than any roster can save: the cost of
// rosters spans at most 3 N D.
QByteArray coverLines(const Instance &in)
{
    const QByteArray weights =
        ',' + num(std::int64_t(MaxCost - MinCost) * in.nurses * in.days + 1) + ",0\n";
    QByteArray lines;
    for (int d = 0; d < in.days; ++d)
        for (int w = 0; w < in.workingShifts; ++w)
            lines += num(d) + ',' + shiftId(w) + ',' + num(in.cover(d, w)) + weights;
    return lines;
}

} // namespace

std::int64_t ssbOffset(const Instance &in)
{
    std::int64_t offset = 0;
    for (int n = 0; n < in.nurses; ++n)
        for (int d = 0; d < in.days; ++d) {
            const int free = in.cost(n, d, in.workingShifts);
            offset -= free;
            for (int w = 0; w < in.workingShifts; ++w)
                offset += std::max(0, free - in.cost(n, d, w));
        }
    return offset;
}

QByteArray instanceSsb(const Instance &in, const RulesChoice &rules, const InstanceFacts &facts)
{
    QByteArray out = "# keldar-generate " KELDAR_VERSION;
    if (!facts.source.isEmpty())
        out += ", from " + commentSafe(facts.source);
    out += ", under rules " + commentSafe(rules.label) + '\n';
    if (in.days % 7 != 0)
        out += "# " + num(in.days) + " days, not whole weeks: readers that count weekends in " +
               "whole weeks may fail on it.\n";
    out += "# offset " + num(ssbOffset(in)) + '\n';
    out += "# A roster meeting the coverage has penalty = its cost + offset.\n";
    // Exactly two comment lines before the day count: readers skip two.
    section(out, "SECTION_HORIZON", "All instances start on a Monday",
            "# The horizon length in days:\n" + num(in.days) + '\n');
    section(out, "SECTION_SHIFTS",
            "ShiftID, Length in mins, Shifts which cannot follow this shift | separated",
            shiftLines(in, rules.rules));
    section(out, "SECTION_STAFF",
            "ID, MaxShifts, MaxTotalMinutes, MinTotalMinutes, MaxConsecutiveShifts, "
            "MinConsecutiveShifts, MinConsecutiveDaysOff, MaxWeekends",
            staffLines(in, rules.rules));
    section(out, "SECTION_DAYS_OFF", "EmployeeID, DayIndexes (start at zero)", daysOffLines(in));
    QByteArray on;
    QByteArray off;
    requestLines(in, on, off);
    section(out, "SECTION_SHIFT_ON_REQUESTS", "EmployeeID, Day, ShiftID, Weight", on);
    section(out, "SECTION_SHIFT_OFF_REQUESTS", "EmployeeID, Day, ShiftID, Weight", off);
    section(out, "SECTION_COVER", "Day, ShiftID, Requirement, Weight for under, Weight for over",
            coverLines(in));
    out.chop(1); // no blank line after the last section
    return out;
}

QByteArray exportFile(const QString &suffix, const Instance &instance, const InstanceFacts &facts,
                      const RulesChoice &rules)
{
    return isSsbSuffix(suffix) ? instanceSsb(instance, rules, facts)
                               : exportText(suffix, instance, facts);
}

double expectedExportBytes(const QString &suffix, const BatchInput &input)
{
    if (!isSsbSuffix(suffix))
        return ExportBytesPerTextByte * expectedFileBytes(input);
    const auto digits = [](double value) {
        return std::floor(std::log10(std::max(value, 1.0))) + 1;
    };
    const double nurses = input.nurses;
    const double days = input.days;
    const double working = input.workingShifts();
    const double idBytes = digits(nurses) + digits(days) + digits(working) + 3;
    // Header and comments; shifts with their successors; staff rows and
    // days-off rows (IDs in letters are no longer than in digits); a request
    // for every working cell; cover rows.
    return 1024 + working * (working + 1) * (digits(working) + 2) +
           nurses * (40 + 4 * digits(days) + working * (digits(working) + digits(days) + 3)) +
           nurses * (digits(nurses) + 1) + nurses * days * working * (idBytes + 5) +
           days * working * (idBytes + digits(3 * nurses * days) + 6);
}

} // namespace keldar::generator

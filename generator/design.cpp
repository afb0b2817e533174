#include "generator/design.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace keldar::generator {

namespace {

// The keys in cell order; the last three are single values, not levels.
enum Key {
    Nurses,
    Days,
    Shifts,
    FreeShift,
    FirstIndicator,
    InstancesPerCell = FirstIndicator + IndicatorCount,
    Seed,
    FirstFile,
    KeyCount
};

QLatin1String keyName(int key)
{
    static const char *const Names[] = {"nurses", "days", "shifts", "freeShift"};
    static const char *const Singles[] = {"instancesPerCell", "seed", "firstFile"};
    if (key < FirstIndicator)
        return QLatin1String(Names[key]);
    if (key < InstancesPerCell)
        return QLatin1String(IndicatorNames[key - FirstIndicator]);
    return QLatin1String(Singles[key - InstancesPerCell]);
}

QString quoted(QByteArrayView text)
{
    QString shown = QString::fromUtf8(text);
    if (shown.size() > 40)
        shown = shown.left(40) + QStringLiteral("...");
    return u'"' + shown + u'"';
}

DesignRead refuse(int line, const QString &what)
{
    DesignRead result;
    result.line = line;
    result.error = line > 0 ? QStringLiteral("line %1: %2").arg(line).arg(what) : what;
    return result;
}

// Whole numbers are written with digits alone, an optional minus in front.
std::optional<qint64> readWhole(QByteArrayView text)
{
    qint64 value = 0;
    const char *end = text.data() + text.size();
    if (text.isEmpty() || text.size() > 19 || text.front() == '+')
        return std::nullopt;
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

struct Line {
    int number = 0;
    QList<QByteArrayView> values;
};

} // namespace

qint64 Design::cellCount() const
{
    qint64 cells = qint64(nurses.size()) * days.size() * shifts.size() * freeShift.size();
    for (const QList<double> &levels : targets)
        cells *= levels.size();
    return cells;
}

BatchInput Design::cell(qint64 cell, const QString &folder) const
{
    qint64 rest = cell - 1;
    // Mixed-radix digits of the cell index, the last key the lowest digit.
    auto level = [&rest](qsizetype levels) {
        const auto digit = static_cast<qsizetype>(rest % levels);
        rest /= levels;
        return digit;
    };
    BatchInput in;
    for (int k = IndicatorCount - 1; k >= 0; --k) {
        const QList<double> &levels = targets[std::size_t(k)];
        in.targets[std::size_t(k)] = levels.at(level(levels.size()));
    }
    in.freeCounted = freeShift.at(level(freeShift.size()));
    in.shifts = shifts.at(level(shifts.size()));
    in.days = days.at(level(days.size()));
    in.nurses = nurses.at(level(nurses.size()));
    in.files = instancesPerCell;
    in.firstFile = firstFile + (cell - 1) * instancesPerCell;
    in.seed = seed;
    in.folder = folder;
    return in;
}

DesignRead readDesign(const QByteArray &bytes)
{
    if (bytes.size() > MaxDesignFileBytes)
        return refuse(0, QStringLiteral("the design file has %1 bytes; at most %2 are read")
                             .arg(bytes.size())
                             .arg(MaxDesignFileBytes));
    Line lines[KeyCount];
    qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    for (int number = 1; start < bytes.size(); ++number) {
        qsizetype stop = bytes.indexOf('\n', start);
        if (stop < 0)
            stop = bytes.size();
        QByteArrayView text(bytes.constData() + start, stop - start);
        start = stop + 1;
        const qsizetype comment = text.indexOf('#');
        if (comment >= 0)
            text = text.first(comment);
        text = text.trimmed();
        if (text.isEmpty())
            continue;
        const qsizetype equals = text.indexOf('=');
        if (equals < 0)
            return refuse(number, quoted(text) + QStringLiteral(" is not key = value, ..."));
        const QByteArrayView name = text.first(equals).trimmed();
        const QLatin1String nameText(name.data(), name.size());
        int key = 0;
        while (key < KeyCount && nameText != keyName(key))
            ++key;
        if (key == KeyCount)
            return refuse(number, QStringLiteral("unknown key ") + quoted(name));
        Line &line = lines[key];
        if (line.number > 0)
            return refuse(number,
                          quoted(name) +
                              QStringLiteral(" repeated (first on line %1)").arg(line.number));
        line.number = number;
        const QByteArrayView list = text.sliced(equals + 1).trimmed();
        if (list.isEmpty())
            return refuse(number, quoted(name) + QStringLiteral(" has no value"));
        qsizetype from = 0;
        while (from <= list.size()) {
            qsizetype comma = list.indexOf(',', from);
            if (comma < 0)
                comma = list.size();
            const QByteArrayView value = list.sliced(from, comma - from).trimmed();
            if (value.isEmpty())
                return refuse(number, quoted(name) + QStringLiteral(" has an empty value in ") +
                                          quoted(list));
            line.values.append(value);
            from = comma + 1;
        }
        if (key >= InstancesPerCell && line.values.size() > 1)
            return refuse(number,
                          quoted(name) + QStringLiteral(" takes one value, not ") + quoted(list));
    }
    for (int key = 0; key <= InstancesPerCell; ++key)
        if (lines[key].number == 0)
            return refuse(0, QStringLiteral("the design has no \"%1\" line; every key but seed "
                                            "and firstFile is required")
                                 .arg(keyName(key)));

    auto bad = [&lines](int key, QByteArrayView value, const QString &why) {
        return refuse(lines[key].number,
                      QStringLiteral("%1 %2 %3").arg(keyName(key), quoted(value), why));
    };
    // A whole number from `low` to `high`; the refusal when it is not.
    auto whole = [&](int key, QByteArrayView value, qint64 low, qint64 high,
                     qint64 &out) -> std::optional<DesignRead> {
        const auto number = readWhole(value);
        if (!number || (low == 1 && *number < 1))
            return bad(key, value,
                       low == 1 ? QStringLiteral("is not a whole number of at least 1")
                                : QStringLiteral("is not a whole number"));
        if (*number < low || *number > high)
            return bad(key, value,
                       low == 1 ? QStringLiteral("is larger than %1").arg(high)
                                : QStringLiteral("is beyond +/-%1").arg(high));
        out = *number;
        return std::nullopt;
    };

    Design design;
    QList<int> *sizes[] = {&design.nurses, &design.days, &design.shifts};
    for (int key : {Nurses, Days, Shifts})
        for (QByteArrayView value : lines[key].values) {
            qint64 number = 0;
            if (auto refusal = whole(key, value, 1, MaxPreferenceValues, number))
                return *refusal;
            sizes[key]->append(static_cast<int>(number));
        }
    for (QByteArrayView value : lines[FreeShift].values) {
        if (value.compare("yes", Qt::CaseInsensitive) == 0)
            design.freeShift.append(true);
        else if (value.compare("no", Qt::CaseInsensitive) == 0)
            design.freeShift.append(false);
        else
            return bad(FreeShift, value, QStringLiteral("is neither yes nor no"));
    }
    if (design.freeShift.contains(true) && design.shifts.contains(1))
        return bad(Shifts, "1",
                   QStringLiteral("with the free shift counted among them (freeShift yes) "
                                  "leaves no working shift"));
    for (int k = 0; k < IndicatorCount; ++k)
        for (QByteArrayView value : lines[FirstIndicator + k].values) {
            const auto number = readNumber(value);
            if (!number)
                return bad(FirstIndicator + k, value, QStringLiteral("is not a number"));
            if (!(*number >= 0 && *number <= 1))
                return bad(FirstIndicator + k, value, QStringLiteral("is outside 0 to 1"));
            design.targets[std::size_t(k)].append(*number);
        }
    if (auto refusal = whole(InstancesPerCell, lines[InstancesPerCell].values.at(0), 1, MaxFiles,
                             design.instancesPerCell))
        return *refusal;
    if (lines[Seed].number > 0)
        if (auto refusal = whole(Seed, lines[Seed].values.at(0), -MaxSeedMagnitude,
                                 MaxSeedMagnitude, design.seed))
            return *refusal;
    if (lines[FirstFile].number > 0)
        if (auto refusal =
                whole(FirstFile, lines[FirstFile].values.at(0), 1, MaxFileNumber, design.firstFile))
            return *refusal;

    // The largest instance of the design: most nurses, days and shift types.
    const double largest = double(*std::max_element(design.nurses.begin(), design.nurses.end())) *
                           *std::max_element(design.days.begin(), design.days.end()) *
                           (*std::max_element(design.shifts.begin(), design.shifts.end()) +
                            (design.freeShift.contains(false) ? 1 : 0));
    if (largest > double(MaxPreferenceValues))
        return refuse(lines[Nurses].number,
                      QStringLiteral("nurses, days and shifts: the largest instance has %1 "
                                     "preference values; at most %2 are supported")
                          .arg(largest, 0, 'g', 16)
                          .arg(MaxPreferenceValues));
    double files = double(design.instancesPerCell);
    for (int key = 0; key < InstancesPerCell; ++key)
        files *= double(lines[key].values.size());
    if (files > double(MaxFiles))
        return refuse(lines[InstancesPerCell].number,
                      QStringLiteral("instancesPerCell %1 makes %2 files in all; at most %3 are "
                                     "supported")
                          .arg(design.instancesPerCell)
                          .arg(files, 0, 'g', 16)
                          .arg(MaxFiles));
    if (double(design.firstFile) + files - 1 > double(MaxFileNumber))
        return refuse(lines[FirstFile].number,
                      QStringLiteral("firstFile %1 numbers the last of %2 files beyond %3")
                          .arg(design.firstFile)
                          .arg(files, 0, 'g', 16)
                          .arg(MaxFileNumber));
    DesignRead result;
    result.design = design;
    return result;
}

QList<qint64> shardCells(qint64 cellCount, int shard, int shards)
{
    QList<qint64> cells;
    for (qint64 cell = shard; cell <= cellCount; cell += shards)
        cells.append(cell);
    return cells;
}

} // namespace keldar::generator

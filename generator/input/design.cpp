#include "generator/input/design.h"

#include "generator/publish/userfile.h"

#include <QCryptographicHash>

#include <algorithm>
#include <array>
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
    RulesKey = FirstIndicator + IndicatorCount, // optional, as is the slack
    SlackKey,
    InstancesPerCell,
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
    if (key < RulesKey)
        return QLatin1String(IndicatorNames[key - FirstIndicator]);
    if (key < InstancesPerCell)
        return QLatin1String(key == RulesKey ? "rules" : "slack");
    return QLatin1String(Singles[key - InstancesPerCell]);
}

QString quoted(QByteArrayView text)
{
    QString shown = QString::fromUtf8(text);
    if (shown.size() > 40)
        shown = shown.left(40) + QStringLiteral("...");
    return u'"' + printable(shown) + u'"';
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
    return cells * std::max<qsizetype>(1, rules.size()) * std::max<qsizetype>(1, slack.size());
}

qsizetype Design::rulesLevel(qint64 cell) const
{
    return rules.isEmpty() ? 0 : (cell - 1) / std::max<qsizetype>(1, slack.size()) % rules.size();
}

BatchInput Design::cell(qint64 cell, const QString &folder, const QStringList &rulesLabels) const
{
    qint64 rest = cell - 1;
    // Mixed-radix digits of the cell index, the last key the lowest digit.
    auto level = [&rest](qsizetype levels) {
        const auto digit = static_cast<qsizetype>(rest % levels);
        rest /= levels;
        return digit;
    };
    BatchInput in;
    if (!slack.isEmpty())
        in.slack = slack.at(level(slack.size()));
    if (!rules.isEmpty()) {
        const qsizetype at = level(rules.size());
        in.rules = rulesLabels.value(at, rules.at(at));
    } else if (planted()) {
        in.rules = QStringLiteral("none");
    }
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

namespace {

using Lines = std::array<Line, KeyCount>;
using Refusal = std::optional<DesignRead>;

// Takes one line "key = value, value, ..." into its key's place.
Refusal readLine(QByteArrayView text, int number, Lines &lines)
{
    const qsizetype comment = text.indexOf('#');
    if (comment >= 0)
        text = text.first(comment);
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
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
    Line &line = lines[std::size_t(key)];
    if (line.number > 0)
        return refuse(number, quoted(name) +
                                  QStringLiteral(" repeated (first on line %1)").arg(line.number));
    line.number = number;
    const QByteArrayView list = text.sliced(equals + 1).trimmed();
    if (list.isEmpty())
        return refuse(number, quoted(name) + QStringLiteral(" has no value"));
    for (qsizetype from = 0; from <= list.size();) {
        qsizetype comma = list.indexOf(',', from);
        if (comma < 0)
            comma = list.size();
        const QByteArrayView value = list.sliced(from, comma - from).trimmed();
        if (value.isEmpty())
            return refuse(number,
                          quoted(name) + QStringLiteral(" has an empty value in ") + quoted(list));
        line.values.append(value);
        from = comma + 1;
    }
    if (key >= InstancesPerCell && line.values.size() > 1)
        return refuse(number,
                      quoted(name) + QStringLiteral(" takes one value, not ") + quoted(list));
    return std::nullopt;
}

// Splits the file into its keys' lines; every key but seed and firstFile
// must be there.
Refusal readLines(const QByteArray &bytes, Lines &lines)
{
    qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    for (int number = 1; start < bytes.size(); ++number) {
        qsizetype stop = bytes.indexOf('\n', start);
        if (stop < 0)
            stop = bytes.size();
        const QByteArrayView text(bytes.constData() + start, stop - start);
        start = stop + 1;
        if (Refusal refusal = readLine(text, number, lines))
            return refusal;
    }
    for (int key = 0; key <= InstancesPerCell; ++key)
        if (lines[std::size_t(key)].number == 0 && key != RulesKey && key != SlackKey)
            return refuse(0, QStringLiteral("the design has no \"%1\" line; every key but seed "
                                            "and firstFile is required")
                                 .arg(keyName(key)));
    return std::nullopt;
}

// Reads the values of the lines into a design, key by key.
class ValueReader
{
public:
    explicit ValueReader(const Lines &lines) : lines_(lines) {}

    Refusal bad(int key, QByteArrayView value, const QString &why) const
    {
        return refuse(line(key).number,
                      QStringLiteral("%1 %2 %3").arg(keyName(key), quoted(value), why));
    }
    const Line &line(int key) const { return lines_[std::size_t(key)]; }

    // A level given twice would make every cell with it twice.
    Refusal repeated(int key, QByteArrayView value) const
    {
        return bad(key, value, QStringLiteral("is repeated"));
    }

    // A whole number from `low` to `high`.
    Refusal whole(int key, QByteArrayView value, qint64 low, qint64 high, qint64 &out) const
    {
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
    }

    Refusal sizes(Design &design) const
    {
        QList<int> *sizes[] = {&design.nurses, &design.days, &design.shifts};
        for (int key : {Nurses, Days, Shifts})
            for (QByteArrayView value : line(key).values) {
                qint64 number = 0;
                if (Refusal refusal = whole(key, value, 1, MaxPreferenceValues, number))
                    return refusal;
                if (sizes[key]->contains(static_cast<int>(number)))
                    return repeated(key, value);
                sizes[key]->append(static_cast<int>(number));
            }
        return std::nullopt;
    }

    Refusal freeShift(Design &design) const
    {
        for (QByteArrayView value : line(FreeShift).values) {
            const bool yes = value.compare("yes", Qt::CaseInsensitive) == 0;
            if (!yes && value.compare("no", Qt::CaseInsensitive) != 0)
                return bad(FreeShift, value, QStringLiteral("is neither yes nor no"));
            if (design.freeShift.contains(yes))
                return repeated(FreeShift, value);
            design.freeShift.append(yes);
        }
        if (design.freeShift.contains(true) && design.shifts.contains(1))
            return bad(Shifts, "1",
                       QStringLiteral("with the free shift counted among them (freeShift yes) "
                                      "leaves no working shift"));
        return std::nullopt;
    }

    Refusal targets(Design &design) const
    {
        for (int k = 0; k < IndicatorCount; ++k)
            for (QByteArrayView value : line(FirstIndicator + k).values) {
                const auto number = readNumber(value);
                if (!number)
                    return bad(FirstIndicator + k, value, QStringLiteral("is not a number"));
                if (!(*number >= 0 && *number <= 1))
                    return bad(FirstIndicator + k, value, QStringLiteral("is outside 0 to 1"));
                if (design.targets[std::size_t(k)].contains(*number))
                    return repeated(FirstIndicator + k, value);
                design.targets[std::size_t(k)].append(*number);
            }
        return std::nullopt;
    }

    // Rule sets by name or file, and slack levels from 0 up to, not
    // including, 1: at 1 nothing would be required.
    Refusal planted(Design &design) const
    {
        for (QByteArrayView value : line(RulesKey).values) {
            const QString text = QString::fromUtf8(value);
            if (design.rules.contains(text))
                return repeated(RulesKey, value);
            design.rules.append(text);
        }
        for (QByteArrayView value : line(SlackKey).values) {
            const auto number = readNumber(value);
            if (!number)
                return bad(SlackKey, value, QStringLiteral("is not a number"));
            if (!(*number >= 0 && *number < 1))
                return bad(SlackKey, value, QStringLiteral("is not from 0 up to 1 (1 excluded)"));
            if (design.slack.contains(*number))
                return repeated(SlackKey, value);
            design.slack.append(*number);
        }
        return std::nullopt;
    }

    // instancesPerCell, and seed and firstFile when given.
    Refusal singles(Design &design) const
    {
        const struct {
            Key key;
            qint64 low, high;
            qint64 &out;
        } Singles[] = {{InstancesPerCell, 1, MaxFiles, design.instancesPerCell},
                       {Seed, -MaxSeedMagnitude, MaxSeedMagnitude, design.seed},
                       {FirstFile, 1, MaxFileNumber, design.firstFile}};
        for (const auto &single : Singles)
            if (line(single.key).number > 0)
                if (Refusal refusal = whole(single.key, line(single.key).values.at(0), single.low,
                                            single.high, single.out))
                    return refusal;
        return std::nullopt;
    }

private:
    const Lines &lines_;
};

// The design as a whole: its largest instance, its files and their numbers
// within the limits.
Refusal checkTotals(const Lines &lines, const Design &design)
{
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
        files *= double(std::max<qsizetype>(1, lines[std::size_t(key)].values.size()));
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
    return std::nullopt;
}

} // namespace

QByteArray Design::identity() const
{
    QByteArray text;
    auto list = [&text](const char *key, const auto &values) {
        text += key;
        for (const auto &value : values)
            text += ' ' + QByteArray::number(value);
        text += '\n';
    };
    list("nurses", nurses);
    list("days", days);
    list("shifts", shifts);
    list("freeShift", freeShift);
    for (int k = 0; k < IndicatorCount; ++k) {
        text += IndicatorNames[k];
        for (double value : targets[std::size_t(k)])
            text += ' ' + QByteArray::number(value, 'g', 17);
        text += '\n';
    }
    // Designs without rules or slack keep the identity they always had.
    if (!rules.isEmpty())
        text += "rules " + rules.join(u' ').toUtf8() + '\n';
    if (!slack.isEmpty()) {
        text += "slack";
        for (double value : slack)
            text += ' ' + QByteArray::number(value, 'g', 17);
        text += '\n';
    }
    list("instancesPerCell", QList<qint64>{instancesPerCell});
    list("seed", QList<qint64>{seed});
    list("firstFile", QList<qint64>{firstFile});
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex().left(16);
}

DesignRead readDesign(const QByteArray &bytes)
{
    if (bytes.size() > MaxDesignFileBytes)
        return refuse(0, QStringLiteral("the design file has %1 bytes; at most %2 are read")
                             .arg(bytes.size())
                             .arg(MaxDesignFileBytes));
    Lines lines;
    if (Refusal refusal = readLines(bytes, lines))
        return *refusal;
    const ValueReader values(lines);
    Design design;
    for (auto step : {&ValueReader::sizes, &ValueReader::freeShift, &ValueReader::targets,
                      &ValueReader::planted, &ValueReader::singles})
        if (Refusal refusal = (values.*step)(design))
            return *refusal;
    if (Refusal refusal = checkTotals(lines, design))
        return *refusal;
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

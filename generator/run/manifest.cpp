#include "generator/run/manifest.h"

#include "generator/files/batchtext.h"
#include "generator/files/instancefile.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>

namespace keldar::generator {

namespace {

// How fileName() spells an instance file, for reading the number back.
const char FilePrefix[] = "instance_";
const char FileSuffix[] = ".txt";
constexpr int Columns = 7 + 2 * IndicatorCount + 2;
constexpr int PlantedColumns = 3;
const char PlantedHeader[] = ",rules,slack,witnessCost";
constexpr int StampColumns = 5;
const char StampHeader[] = ",design,shard,cells,instancesPerCell,firstFile";

QByteArray target(double value)
{
    return QByteArray::number(value, 'g', 15);
}

} // namespace

double ManifestRow::largestDeviation() const
{
    return keldar::generator::largestDeviation(measured, targets);
}

bool ManifestRow::met() const
{
    // The slack absorbs rounding of values a whole 0.01 from the target.
    return largestDeviation() <= Tolerance + 1e-9;
}

ManifestRow manifestRow(const BatchInput &input, qint64 cell, qint64 fileNumber,
                        const Indicators &measured, std::optional<std::int64_t> lowerBound,
                        std::optional<std::int64_t> witnessCost)
{
    ManifestRow row;
    row.fileNumber = fileNumber;
    row.cell = cell;
    row.nurses = input.nurses;
    row.days = input.days;
    row.shifts = input.shifts;
    row.freeCounted = input.freeCounted;
    row.seed = input.seed;
    row.targets = input.targets;
    QByteArray line = csvField(fileName(fileNumber).toLatin1());
    for (qint64 value : {cell, qint64(input.nurses), qint64(input.days), qint64(input.shifts),
                         qint64(input.freeCounted ? 1 : 0), input.seed})
        line += ',' + QByteArray::number(value);
    for (double value : input.targets)
        line += ',' + target(value);
    // The rows keep what the file says, so a manifest read back judges alike.
    for (std::size_t k = 0; k < measured.size(); ++k) {
        const QByteArray text = QByteArray::number(measured[k], 'f', 6);
        line += ',' + text;
        row.measured[k] = text.toDouble();
    }
    line += ',' + QByteArray::number(keldar::generator::largestDeviation(measured, input.targets),
                                     'f', 6);
    line += ',';
    if (lowerBound)
        line += QByteArray::number(*lowerBound);
    if (!input.rules.isEmpty()) {
        row.rules = input.rules;
        row.slack = input.slack;
        row.witnessCost = witnessCost;
        line += ',' + csvField(input.rules.toUtf8()) + ',' +
                (input.slack ? target(*input.slack) : QByteArray()) + ',' +
                (witnessCost ? QByteArray::number(qint64(*witnessCost)) : QByteArray());
    }
    row.line = line;
    return row;
}

QByteArray manifestHeader(bool planted)
{
    QByteArray header = "file,cell,nurses,days,shifts,freeShift,seed";
    for (const char *name : IndicatorNames)
        header += QByteArray(",target_") + name;
    for (const char *name : IndicatorNames)
        header += QByteArray(",") + name;
    return header + ",largestDeviation,lowerBound" + (planted ? PlantedHeader : "");
}

// Splits one CSV record into fields, undoing RFC 4180 quoting; nothing when
// a quote is left open or stray.
std::optional<QList<QByteArray>> csvFields(QByteArrayView line)
{
    QList<QByteArray> fields;
    QByteArray field;
    qsizetype i = 0;
    while (true) {
        if (i < line.size() && line.at(i) == '"') {
            ++i;
            while (true) {
                if (i >= line.size())
                    return std::nullopt;
                if (line.at(i) == '"') {
                    if (i + 1 < line.size() && line.at(i + 1) == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line.at(i++);
            }
            if (i < line.size() && line.at(i) != ',')
                return std::nullopt;
        } else {
            while (i < line.size() && line.at(i) != ',') {
                if (line.at(i) == '"')
                    return std::nullopt;
                field += line.at(i++);
            }
        }
        fields.append(field);
        field.clear();
        if (i >= line.size())
            return fields;
        ++i; // the comma
    }
}

QByteArray csvField(QByteArrayView text)
{
    if (!text.contains(',') && !text.contains('"') && !text.contains('\n') && !text.contains('\r'))
        return text.toByteArray();
    QByteArray quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

QByteArray ShardStamp::columns() const
{
    return ',' + design + ',' + QByteArray::number(shard) + '/' + QByteArray::number(shards) + ',' +
           QByteArray::number(cells) + ',' + QByteArray::number(instancesPerCell) + ',' +
           QByteArray::number(firstFile);
}

bool ShardStamp::sameDesign(const ShardStamp &other) const
{
    return design == other.design && shards == other.shards && cells == other.cells &&
           instancesPerCell == other.instancesPerCell && firstFile == other.firstFile;
}

namespace {

// The stamp from a row's last five fields; none when one is malformed.
std::optional<ShardStamp> readStamp(const QList<QByteArray> &fields)
{
    const qsizetype at = fields.size() - StampColumns;
    ShardStamp stamp;
    stamp.design = fields.at(at);
    const QList<QByteArray> split = fields.at(at + 1).split('/');
    bool good = split.size() == 2 && !stamp.design.isEmpty();
    auto whole = [&good](const QByteArray &text) {
        bool fine = false;
        const qint64 value = text.toLongLong(&fine);
        good = good && fine && value >= 1;
        return value;
    };
    if (good) {
        stamp.shard = int(whole(split.at(0)));
        stamp.shards = int(whole(split.at(1)));
    }
    stamp.cells = whole(fields.at(at + 2));
    stamp.instancesPerCell = whole(fields.at(at + 3));
    stamp.firstFile = whole(fields.at(at + 4));
    if (!good)
        return std::nullopt;
    return stamp;
}

// A row's values: its file's number, the inputs, targets and measured
// values, and a planted design's rules, slack and witness cost.  The
// refusal when one is not what it must be.
std::optional<QString> readRowValues(const QList<QByteArray> &fields, bool planted,
                                     ManifestRow &row)
{
    const QByteArray &name = fields.at(0);
    bool ok = name.startsWith(FilePrefix) && name.endsWith(FileSuffix);
    if (ok)
        row.fileNumber = name.sliced(qstrlen(FilePrefix),
                                     name.size() - qstrlen(FilePrefix) - qstrlen(FileSuffix))
                             .toLongLong(&ok);
    if (!ok)
        return QStringLiteral("\"%1\" is no instance file name").arg(QString::fromUtf8(name));
    bool good = true;
    auto whole = [&](int column) {
        bool fine = false;
        const qint64 value = fields.at(column).toLongLong(&fine);
        good = good && fine;
        return value;
    };
    auto real = [&](int column) {
        const auto value = readNumber(fields.at(column));
        good = good && value.has_value();
        return value.value_or(0);
    };
    row.cell = whole(1);
    row.nurses = int(whole(2));
    row.days = int(whole(3));
    row.shifts = int(whole(4));
    row.freeCounted = whole(5) == 1;
    row.seed = whole(6);
    for (int k = 0; k < IndicatorCount; ++k) {
        row.targets[std::size_t(k)] = real(7 + k);
        row.measured[std::size_t(k)] = real(7 + IndicatorCount + k);
    }
    if (planted) {
        row.rules = QString::fromUtf8(fields.at(Columns));
        if (!fields.at(Columns + 1).isEmpty())
            row.slack = real(Columns + 1);
        if (!fields.at(Columns + 2).isEmpty())
            row.witnessCost = whole(Columns + 2);
        good = good && !row.rules.isEmpty();
    }
    if (!good)
        return QStringLiteral("a value is not a number");
    return std::nullopt;
}

} // namespace

ManifestRead readManifest(const QByteArray &bytes)
{
    ManifestRead result;
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray &line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const QByteArray header = lines.isEmpty() ? QByteArray() : lines.first();
    const bool planted = header.startsWith(manifestHeader(true));
    const bool stamped = header == manifestHeader(planted) + StampHeader;
    if (lines.isEmpty() || (header != manifestHeader(planted) && !stamped)) {
        result.error = QStringLiteral("line 1 is not the manifest header");
        return result;
    }
    const int columns = Columns + (planted ? PlantedColumns : 0) + (stamped ? StampColumns : 0);
    QList<ManifestRow> rows;
    for (qsizetype n = 1; n < lines.size(); ++n) {
        const auto fields = csvFields(lines.at(n));
        auto refuse = [&](const QString &why) {
            result.error = QStringLiteral("line %1: %2").arg(n + 1).arg(why);
            return result;
        };
        if (!fields || fields->size() != columns)
            return refuse(QStringLiteral("not %1 fields").arg(columns));
        QByteArray line = lines.at(n);
        if (stamped) {
            const auto stamp = readStamp(*fields);
            if (!stamp)
                return refuse(QStringLiteral("the shard columns are malformed"));
            if (result.stamp &&
                (!result.stamp->sameDesign(*stamp) || result.stamp->shard != stamp->shard))
                return refuse(QStringLiteral("the row is of another design or shard than line 2"));
            result.stamp = stamp;
            line.chop(stamp->columns().size());
        }
        ManifestRow row;
        if (const auto why = readRowValues(*fields, planted, row))
            return refuse(*why);
        row.line = line;
        rows.append(row);
    }
    result.rows = rows;
    return result;
}

ManifestRead readFolderManifests(const QString &folder)
{
    const QDir dir(folder);
    ManifestRead all{QList<ManifestRow>(), std::nullopt, QString()};
    for (const QString &name :
         dir.entryList({QStringLiteral("manifest*.csv")}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        const ManifestRead read =
            file.open(QIODevice::ReadOnly)
                ? readManifest(file.read(256 << 20))
                : ManifestRead{std::nullopt, std::nullopt, file.errorString()};
        if (!read.rows)
            return ManifestRead{std::nullopt, std::nullopt,
                                QDir::toNativeSeparators(dir.filePath(name)) +
                                    QStringLiteral(": ") + read.error};
        *all.rows += *read.rows;
    }
    return all;
}

QByteArray manifestText(QList<ManifestRow> rows, const std::optional<ShardStamp> &stamp)
{
    std::stable_sort(rows.begin(), rows.end(), [](const ManifestRow &a, const ManifestRow &b) {
        return a.fileNumber < b.fileNumber;
    });
    const QByteArray columns = stamp ? stamp->columns() : QByteArray();
    const bool planted = !rows.isEmpty() && !rows.first().rules.isEmpty();
    QByteArray text = manifestHeader(planted) + (stamp ? StampHeader : "") + "\r\n";
    for (const ManifestRow &row : rows)
        text += row.line + columns + "\r\n";
    return text;
}

} // namespace keldar::generator

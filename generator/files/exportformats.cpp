#include "generator/files/exportformats.h"

#include "generator/files/instancefile.h"
#include "generator/publish/userfile.h"

namespace keldar::generator {

namespace {

const struct {
    ExportFormat format;
    const char *suffix;
} Formats[] = {{TextFormat, "txt"}, {DznFormat, "dzn"}, {JsonFormat, "json"}, {SsbFormat, "ssb"}};

const char SsbSuffix[] = ".ssb.txt";

void appendCost(QByteArray &out, int cost)
{
    out += static_cast<char>('0' + cost);
}

QByteArray header(const char *commentMark, const InstanceFacts &facts)
{
    QByteArray out = QByteArray(commentMark) + " keldar-generate " KELDAR_VERSION;
    // A file name is the user's: a line end in it would end the comment.
    if (!facts.source.isEmpty())
        out += ", from " + printable(facts.source).toUtf8();
    out += '\n';
    return out;
}

QByteArray boundText(const InstanceFacts &facts, const char *none)
{
    return facts.lowerBound ? QByteArray::number(static_cast<qint64>(*facts.lowerBound))
                            : QByteArray(none);
}

} // namespace

std::optional<ExportFormats> parseFormats(const QString &list)
{
    ExportFormats formats = 0;
    for (const QString &name : list.split(u',')) {
        ExportFormats one = 0;
        for (const auto &f : Formats)
            if (name.trimmed() == QLatin1String(f.suffix))
                one = f.format;
        if (one == 0)
            return std::nullopt;
        formats |= one;
    }
    return formats;
}

QStringList extraSuffixes(ExportFormats formats, const QString &rulesLabel)
{
    QStringList suffixes;
    for (const auto &f : Formats)
        if (f.format == SsbFormat && (formats & f.format) != 0)
            suffixes << rulesLabel + QLatin1String(SsbSuffix);
        else if (f.format != TextFormat && (formats & f.format) != 0)
            suffixes << QLatin1String(f.suffix);
    return suffixes;
}

bool isSsbSuffix(const QString &suffix)
{
    return suffix.endsWith(QLatin1String(SsbSuffix));
}

QByteArray instanceDzn(const Instance &in, const InstanceFacts &facts)
{
    QByteArray out = header("%", facts);
    out += "% measured:";
    for (int k = 0; k < IndicatorCount; ++k)
        out += QByteArray(" ") + IndicatorNames[k] + ' ' +
               QByteArray::number(facts.measured[static_cast<std::size_t>(k)], 'f', 6);
    out += "\n% lowerBound " + boundText(facts, "none") + "\n";
    out += "nurses = " + QByteArray::number(in.nurses) + ";\n";
    out += "days = " + QByteArray::number(in.days) + ";\n";
    out += "workingShifts = " + QByteArray::number(in.workingShifts) + ";\n";
    out += QByteArray("freeShiftCounted = ") + (in.freeCounted ? "true" : "false") + ";\n";
    out += "coverage = [|";
    for (int d = 0; d < in.days; ++d) {
        out += d == 0 ? " " : "\n            | ";
        for (int w = 0; w < in.workingShifts; ++w)
            out += (w > 0 ? ", " : "") + QByteArray::number(in.cover(d, w));
    }
    out += " |];\n";
    out += "cost = array3d(1.." + QByteArray::number(in.nurses) + ", 1.." +
           QByteArray::number(in.days) + ", 1.." + QByteArray::number(in.shiftTypes()) + ", [\n";
    const auto rowLength =
        static_cast<std::size_t>(in.days) * static_cast<std::size_t>(in.shiftTypes());
    out.reserve(out.size() + static_cast<qsizetype>(in.costs.size() * 3 + 64));
    const std::uint8_t *cost = in.costs.data();
    for (int n = 0; n < in.nurses; ++n) {
        out += ' ';
        for (std::size_t i = 0; i < rowLength; ++i) {
            out += ' ';
            appendCost(out, *cost++);
            out += ',';
        }
        out += '\n';
    }
    out += "]);\n";
    return out;
}

QByteArray instanceJson(const Instance &in, const InstanceFacts &facts)
{
    QByteArray out = "{\n";
    out += "  \"nurses\": " + QByteArray::number(in.nurses) + ",\n";
    out += "  \"days\": " + QByteArray::number(in.days) + ",\n";
    out += "  \"workingShifts\": " + QByteArray::number(in.workingShifts) + ",\n";
    out += QByteArray("  \"freeShiftCounted\": ") + (in.freeCounted ? "true" : "false") + ",\n";
    out += "  \"coverage\": [";
    for (int d = 0; d < in.days; ++d) {
        out += d == 0 ? "[" : ", [";
        for (int w = 0; w < in.workingShifts; ++w)
            out += (w > 0 ? ", " : "") + QByteArray::number(in.cover(d, w));
        out += ']';
    }
    out += "],\n  \"cost\": [\n";
    out.reserve(out.size() + static_cast<qsizetype>(in.costs.size() * 3 + 1024));
    const std::uint8_t *cost = in.costs.data();
    for (int n = 0; n < in.nurses; ++n) {
        out += "    [";
        for (int d = 0; d < in.days; ++d) {
            out += d == 0 ? "[" : ", [";
            for (int t = 0; t < in.shiftTypes(); ++t) {
                if (t > 0)
                    out += ", ";
                appendCost(out, *cost++);
            }
            out += ']';
        }
        out += n + 1 < in.nurses ? "],\n" : "]\n";
    }
    out += "  ],\n  \"indicators\": {";
    for (int k = 0; k < IndicatorCount; ++k)
        out += QByteArray(k > 0 ? ", \"" : "\"") + IndicatorNames[k] +
               "\": " + QByteArray::number(facts.measured[static_cast<std::size_t>(k)], 'f', 6);
    out += "},\n  \"lowerBound\": " + boundText(facts, "null") + ",\n";
    out += "  \"generator\": \"keldar-generate " KELDAR_VERSION "\"";
    if (!facts.source.isEmpty()) {
        // File names are the user's: escape what JSON strings may not hold.
        QByteArray name;
        for (const char c : facts.source.toUtf8()) {
            if (c == '"' || c == '\\')
                name += '\\';
            if (static_cast<unsigned char>(c) < 0x20)
                name +=
                    "\\u00" +
                    QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
            else
                name += c;
        }
        out += ",\n  \"source\": \"" + name + "\"";
    }
    out += "\n}\n";
    return out;
}

QByteArray exportText(const QString &suffix, const Instance &instance, const InstanceFacts &facts)
{
    return suffix == QLatin1String("json") ? instanceJson(instance, facts)
                                           : instanceDzn(instance, facts);
}

} // namespace keldar::generator

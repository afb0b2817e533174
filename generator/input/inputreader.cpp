#include "generator/input/inputreader.h"

#include "generator/publish/userfile.h"

#include <QList>
#include <QStringDecoder>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace keldar::generator {

namespace {

bool validUtf8(QByteArrayView text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(text);
    return !decoder.hasError();
}

// The folder line as text; empty when it holds nothing but blanks, or
// bytes that name no folder faithfully.
QString folderText(QByteArrayView line)
{
    if (!validUtf8(line) || line.contains('\0') || line.size() > MaxFolderBytes)
        return QString();
    const QString folder = QString::fromUtf8(line);
    return folder.trimmed().isEmpty() || hasControlCharacter(folder) ? QString() : folder;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

const char *const LineNames[] = {
    "number of nurses",
    "number of days",
    "number of shifts",
    "free shift counted",
    "period preference",
    "day preference",
    "shift preference",
    "total coverage",
    "day coverage",
    "shift coverage",
    "number of files",
    "first file number",
    "seed",
    "target folder",
};

ReadResult refuse(int line, const QString &what)
{
    ReadResult result;
    result.line = line;
    result.error = line > 0 ? QStringLiteral("line %1 (%2): %3")
                                  .arg(line)
                                  .arg(QLatin1String(LineNames[line - 1]), what)
                            : what;
    return result;
}

QString quoted(QByteArrayView text)
{
    QString shown = QString::fromUtf8(text);
    if (shown.size() > 40)
        shown = shown.left(40) + QStringLiteral("...");
    return u'"' + printable(shown) + u'"';
}

// The exact decimal value of a number's text when that value is a whole
// number of at most 18 digits, written plainly ("-12", "0"); nothing when the
// text holds a fraction or more digits.  A double rounds beyond 2^53, so its
// value alone cannot tell "9007199254740993" from "9007199254740992".
std::optional<std::string> exactWhole(QByteArrayView text)
{
    const QByteArrayView t = text.trimmed();
    qsizetype i = 0;
    const bool negative = i < t.size() && t.at(i) == '-';
    if (i < t.size() && (t.at(i) == '+' || t.at(i) == '-'))
        ++i;
    std::string digits;
    long long exponent = 0;
    while (i < t.size() && isDigit(t.at(i)))
        digits += t.at(i++);
    if (i < t.size() && t.at(i) == '.') {
        ++i;
        while (i < t.size() && isDigit(t.at(i))) {
            digits += t.at(i++);
            --exponent;
        }
    }
    if (i < t.size() && (t.at(i) == 'E' || t.at(i) == 'e')) {
        ++i;
        const bool down = i < t.size() && t.at(i) == '-';
        if (i < t.size() && (t.at(i) == '+' || t.at(i) == '-'))
            ++i;
        long long e = 0;
        while (i < t.size() && isDigit(t.at(i)))
            e = std::min(e * 10 + (t.at(i++) - '0'), 1'000'000'000LL);
        exponent += down ? -e : e;
    }
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    while (!digits.empty() && digits.back() == '0' && exponent < 0) {
        digits.pop_back();
        ++exponent;
    }
    if (digits.empty())
        return std::string("0");
    if (exponent < 0 || static_cast<long long>(digits.size()) + exponent > 18)
        return std::nullopt;
    digits.append(static_cast<std::size_t>(exponent), '0');
    return negative ? '-' + digits : digits;
}

// Whether a whole double is exactly the value its text spells.
bool heldExactly(QByteArrayView text, double value)
{
    const auto exact = exactWhole(text);
    return exact && *exact == std::to_string(static_cast<long long>(value));
}

} // namespace

std::optional<double> readNumber(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;

    // Check the grammar first: from_chars alone would accept "inf", "nan"
    // and hexadecimal, and stop silently before trailing junk.
    qsizetype i = begin;
    if (i < end && (text.at(i) == '+' || text.at(i) == '-'))
        ++i;
    qsizetype digits = 0;
    while (i < end && isDigit(text.at(i)))
        ++i, ++digits;
    if (i < end && text.at(i) == '.') {
        ++i;
        while (i < end && isDigit(text.at(i)))
            ++i, ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    if (i < end && (text.at(i) == 'E' || text.at(i) == 'e')) {
        ++i;
        if (i < end && (text.at(i) == '+' || text.at(i) == '-'))
            ++i;
        qsizetype expDigits = 0;
        while (i < end && isDigit(text.at(i)))
            ++i, ++expDigits;
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != end)
        return std::nullopt;

    std::string plain(text.data() + begin, static_cast<std::size_t>(end - begin));
    if (plain.front() == '+')
        plain.erase(0, 1);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Underflow reads as 0; overflow is no usable number.
        const auto mantissaEnd = plain.find_first_of("eE");
        const std::string exponent =
            mantissaEnd == std::string::npos ? std::string() : plain.substr(mantissaEnd + 1);
        if (!exponent.empty() && exponent.front() == '-')
            return plain.front() == '-' ? -0.0 : 0.0;
        return std::nullopt;
    }
    if (ec != std::errc() || ptr != plain.data() + plain.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

namespace {

QList<QByteArrayView> splitLines(const QByteArray &bytes)
{
    QList<QByteArrayView> lines;
    // An editor may save the file with a UTF-8 byte order mark.
    qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < bytes.size()) {
        qsizetype stop = bytes.indexOf('\n', start);
        if (stop < 0)
            stop = bytes.size();
        QByteArrayView line(bytes.constData() + start, stop - start);
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(line);
        start = stop + 1;
    }
    return lines;
}

using Refusal = std::optional<ReadResult>;

// The thirteen number lines, read before any is judged.
class NumberLines
{
public:
    explicit NumberLines(const QList<QByteArrayView> &lines) : lines_(lines) {}

    Refusal read()
    {
        for (int k = 0; k < 13; ++k) {
            const auto value = readNumber(lines_.at(k));
            if (!value)
                return refuse(k + 1, quoted(lines_.at(k)) + QStringLiteral(" is not a number"));
            numbers_[k] = *value;
        }
        return std::nullopt;
    }

    double at(int line) const { return numbers_[line - 1]; }
    QString shown(int line) const { return quoted(lines_.at(line - 1)); }
    QByteArrayView text(int line) const { return lines_.at(line - 1); }

    // A count: a whole number from 1 to `limit`, written exactly.
    Refusal count(int line, double limit) const
    {
        const double v = at(line);
        if (std::floor(v) != v || v < 1)
            return refuse(line,
                          shown(line) + QStringLiteral(" is not a whole number of at least 1"));
        if (v > limit)
            return refuse(line, shown(line) +
                                    QStringLiteral(" is larger than %1").arg(limit, 0, 'g', 16));
        if (!heldExactly(text(line), v))
            return refuse(line, shown(line) + QStringLiteral(" is not exactly a whole number"));
        return std::nullopt;
    }

private:
    const QList<QByteArrayView> &lines_;
    double numbers_[13] = {};
};

// Lines 1-4: nurses, days, shifts and whether the free shift is among them.
Refusal readSize(const NumberLines &numbers, BatchInput &input)
{
    const double sizeLimit = static_cast<double>(MaxPreferenceValues);
    for (int line : {1, 2, 3})
        if (Refusal refusal = numbers.count(line, sizeLimit))
            return refusal;
    input.nurses = static_cast<int>(numbers.at(1));
    input.days = static_cast<int>(numbers.at(2));
    input.shifts = static_cast<int>(numbers.at(3));
    if (numbers.at(4) != 0 && numbers.at(4) != 1)
        return refuse(4, numbers.shown(4) + QStringLiteral(" is neither 0 nor 1"));
    input.freeCounted = numbers.at(4) == 1;
    if (input.freeCounted && input.shifts < 2)
        return refuse(3, numbers.shown(3) +
                             QStringLiteral(" shifts with the free shift counted among them "
                                            "leaves no working shift"));
    return std::nullopt;
}

// Lines 5-10, the six indicators; then the instance's size as a whole.
Refusal readTargets(const NumberLines &numbers, BatchInput &input)
{
    for (int k = 0; k < IndicatorCount; ++k) {
        const double v = numbers.at(5 + k);
        if (!(v >= 0 && v <= 1))
            return refuse(5 + k, numbers.shown(5 + k) + QStringLiteral(" is outside 0 to 1"));
        input.targets[static_cast<std::size_t>(k)] = v;
    }
    const double cells = numbers.at(1) * numbers.at(2) * input.shiftTypes();
    if (cells > static_cast<double>(MaxPreferenceValues))
        return refuse(0, QStringLiteral("lines 1-3 (nurses, days, shifts): %1 nurses x %2 days "
                                        "x %3 shift types make %4 preference values; at most "
                                        "%5 are supported")
                             .arg(input.nurses)
                             .arg(input.days)
                             .arg(input.shiftTypes())
                             .arg(cells, 0, 'g', 16)
                             .arg(MaxPreferenceValues));
    return std::nullopt;
}

// Lines 11-13: how many files, the first file's number and the seed.
Refusal readNumbering(const NumberLines &numbers, BatchInput &input)
{
    if (Refusal refusal = numbers.count(11, static_cast<double>(MaxFiles)))
        return refusal;
    if (Refusal refusal = numbers.count(12, static_cast<double>(MaxFileNumber)))
        return refusal;
    input.files = static_cast<qint64>(numbers.at(11));
    input.firstFile = static_cast<qint64>(numbers.at(12));
    if (input.firstFile + input.files - 1 > MaxFileNumber)
        return refuse(12,
                      numbers.shown(12) + QStringLiteral(" numbers the last of %1 files beyond %2")
                                              .arg(input.files)
                                              .arg(MaxFileNumber));
    const double seed = numbers.at(13);
    if (std::floor(seed) != seed)
        return refuse(13, numbers.shown(13) + QStringLiteral(" is not a whole number"));
    if (std::fabs(seed) > static_cast<double>(MaxSeedMagnitude))
        return refuse(13, numbers.shown(13) + QStringLiteral(" is beyond +/-2^53"));
    if (!heldExactly(numbers.text(13), seed))
        return refuse(13, numbers.shown(13) + QStringLiteral(" is not exactly a whole number"));
    input.seed = static_cast<qint64>(seed);
    return std::nullopt;
}

// Line 14, the target folder.  A changed name would make another folder;
// the path goes into system calls, which end it at a NUL and refuse it
// beyond their limit.
Refusal readFolder(QByteArrayView folderLine, BatchInput &input)
{
    if (folderLine.contains('\0'))
        return refuse(14, QStringLiteral("the folder line holds a NUL character"));
    if (!validUtf8(folderLine))
        return refuse(14, QStringLiteral("the folder line is not valid UTF-8"));
    if (folderLine.size() > MaxFolderBytes)
        return refuse(14, QStringLiteral("the folder line is longer than %1 bytes, the "
                                         "system's limit for a path")
                              .arg(MaxFolderBytes));
    // Judged after decoding: a byte order mark decodes to nothing, so a line
    // of a mark and blanks is as empty as a line of blanks.
    const QString folder = QString::fromUtf8(folderLine);
    if (folder.trimmed().isEmpty())
        return refuse(14, QStringLiteral("the folder line is empty"));
    // A line end or a tab in a folder's name would break the instance
    // file's header, and nobody means one.
    if (hasControlCharacter(folder))
        return refuse(14, QStringLiteral("the folder line holds a control character: ") +
                              quoted(folderLine));
    input.folder = folder;
    return std::nullopt;
}

// Lines after the fourteenth must be blank: anything there was meant for
// a line of its own, and would otherwise pass unread.
Refusal readRest(const QList<QByteArrayView> &lines)
{
    for (qsizetype k = 14; k < lines.size(); ++k)
        if (!lines.at(k).trimmed().isEmpty()) {
            ReadResult result;
            result.line = int(k + 1);
            result.error = QStringLiteral("line %1 (after the target folder): %2 is beyond the "
                                          "fourteen lines")
                               .arg(QString::number(k + 1), quoted(lines.at(k)));
            return result;
        }
    return std::nullopt;
}

ReadResult readLines(const QList<QByteArrayView> &lines)
{
    if (lines.size() < 14)
        return refuse(
            0, QStringLiteral("the input-data file has %1 lines, 14 are needed").arg(lines.size()));
    NumberLines numbers(lines);
    BatchInput input;
    Refusal refusal = numbers.read();
    if (!refusal)
        refusal = readSize(numbers, input);
    if (!refusal)
        refusal = readTargets(numbers, input);
    if (!refusal)
        refusal = readNumbering(numbers, input);
    if (!refusal)
        refusal = readFolder(lines.at(13), input);
    if (!refusal)
        refusal = readRest(lines);
    if (refusal)
        return *refusal;
    ReadResult result;
    result.input = input;
    return result;
}

} // namespace

ReadResult readInput(const QByteArray &bytes)
{
    if (bytes.size() > MaxInputBytes)
        return refuse(0, QStringLiteral("the input-data file is larger than %1 bytes; it holds "
                                        "fourteen short lines")
                             .arg(MaxInputBytes));
    const QList<QByteArrayView> lines = splitLines(bytes);
    ReadResult result = readLines(lines);
    if (!result.input && lines.size() >= 14)
        result.folder = folderText(lines.at(13));
    return result;
}

} // namespace keldar::generator

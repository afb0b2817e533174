#include "generator/files/instancefile.h"

#include "generator/publish/userfile.h"

#include <QDir>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace keldar::generator {

namespace {

void appendNumber(QByteArray &out, std::int64_t value)
{
    char buffer[24];
    int length = 0;
    const bool negative = value < 0;
    auto magnitude =
        static_cast<std::uint64_t>(negative ? -(value + 1) : value) + (negative ? 1 : 0);
    do {
        buffer[length++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        out.append('-');
    while (length > 0)
        out.append(buffer[--length]);
}

QByteArray number(double value)
{
    return QByteArray::number(value, 'g', 15);
}

// Reads whole numbers off a line; anything else stops it.
class Cursor
{
public:
    Cursor(const char *begin, const char *end) : p_(begin), end_(end) {}
    bool next(std::int64_t &value)
    {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t'))
            ++p_;
        if (p_ == end_)
            return false;
        bool negative = false;
        if (*p_ == '-') {
            negative = true;
            ++p_;
        }
        const char *digits = p_;
        std::int64_t v = 0;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9' && p_ - digits < 12)
            v = v * 10 + (*p_++ - '0');
        if (p_ == digits || (p_ < end_ && *p_ != ' ' && *p_ != '\t'))
            return bad_ = true, false;
        value = negative ? -v : v;
        return true;
    }
    bool bad() const { return bad_; }
    bool atEnd()
    {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t'))
            ++p_;
        return p_ == end_;
    }

private:
    const char *p_;
    const char *end_;
    bool bad_ = false;
};

} // namespace

double largestDeviation(const Indicators &measured, const Indicators &targets)
{
    double worst = 0;
    for (int k = 0; k < IndicatorCount; ++k)
        worst = std::max(worst, std::fabs(measured[static_cast<std::size_t>(k)] -
                                          targets[static_cast<std::size_t>(k)]));
    return worst;
}

bool unreachable(double measured, double target)
{
    // The slack absorbs rounding of values a whole 0.01 from the target.
    return std::fabs(measured - target) > Tolerance + 1e-9;
}

double expectedFileBytes(const BatchInput &input)
{
    const double nurses = input.nurses;
    const double days = input.days;
    const double working = input.workingShifts();
    const double digits = std::floor(std::log10(nurses)) + 1;
    // Header lines are short; coverage values have at most the digits of N;
    // costs are one digit and a separator.
    return 1024 + days * working * (digits + 1) + nurses * days * (working + 1) * 2;
}

QByteArray instanceText(const Instance &in, const BatchInput &input, const Provenance &provenance)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(in.costs.size() * 2 + in.coverage.size() * 4 + 2048));
    out += "# keldar-generate " KELDAR_VERSION "\n";
    out += "# batch seed " + QByteArray::number(input.seed) + ", file " +
           QByteArray::number(provenance.fileNumber) + ", file seed " +
           QByteArray::number(static_cast<qulonglong>(provenance.fileSeed)) + "\n";
    out += "# nurses " + QByteArray::number(input.nurses) + "\n";
    out += "# days " + QByteArray::number(input.days) + "\n";
    out += "# shifts " + QByteArray::number(input.shifts) + "\n";
    out += "# free shift counted " + QByteArray(input.freeCounted ? "1" : "0") + "\n";
    for (int k = 0; k < IndicatorCount; ++k)
        out += QByteArray("# ") + IndicatorNames[k] + " target " +
               number(input.targets[static_cast<std::size_t>(k)]) + "\n";
    out += "# number of files " + QByteArray::number(input.files) + "\n";
    out += "# first file " + QByteArray::number(input.firstFile) + "\n";
    // No folder: where a batch was made is no part of it, so the same batch
    // gives the same bytes in any folder and a shared set names no one's home.
    out += "# seed " + QByteArray::number(input.seed) + "\n";
    if (!input.rules.isEmpty())
        out += "# rules " + input.rules.toUtf8() + "\n";
    if (input.slack)
        out += "# slack " + number(*input.slack) + "\n";
    for (int k = 0; k < IndicatorCount; ++k)
        out += QByteArray("# ") + IndicatorNames[k] + " measured " +
               QByteArray::number(provenance.measured[static_cast<std::size_t>(k)], 'f', 6) +
               " target " + number(input.targets[static_cast<std::size_t>(k)]) + " (" +
               IndicatorCaptions[k] + ")\n";
    out += "# largest deviation " +
           QByteArray::number(largestDeviation(provenance.measured, input.targets), 'f', 6) + "\n";

    appendNumber(out, in.nurses);
    out += ' ';
    appendNumber(out, in.days);
    out += ' ';
    appendNumber(out, in.workingShifts);
    out += in.freeCounted ? " 1\n" : " 0\n";
    for (int d = 0; d < in.days; ++d) {
        for (int s = 0; s < in.workingShifts; ++s) {
            if (s > 0)
                out += ' ';
            appendNumber(out, in.cover(d, s));
        }
        out += '\n';
    }
    const auto rowLength =
        static_cast<std::size_t>(in.days) * static_cast<std::size_t>(in.shiftTypes());
    const std::uint8_t *cost = in.costs.data();
    for (int n = 0; n < in.nurses; ++n) {
        for (std::size_t i = 0; i < rowLength; ++i) {
            if (i > 0)
                out += ' ';
            out += static_cast<char>('0' + *cost++);
        }
        out += '\n';
    }
    return out;
}

namespace {

// Reads an instance file's body line by line; each step returns false once
// the file is refused, with the line and the reason kept.
class InstanceParser
{
public:
    explicit InstanceParser(const QByteArray &text) : p_(text.constData()), end_(p_ + text.size())
    {}

    ParsedInstance parse()
    {
        std::int64_t size[4] = {};
        if (!readSize(size) || !checkLength(size))
            return result_;
        Instance in = Instance::blank(static_cast<int>(size[0]), static_cast<int>(size[1]),
                                      static_cast<int>(size[2]), size[3] == 1);
        if (!readCoverage(in) || !readCosts(in))
            return result_;
        if (nextLine())
            return fail(QStringLiteral("unexpected data after the last nurse"));
        result_.instance = std::move(in);
        return result_;
    }

private:
    ParsedInstance fail(const QString &error)
    {
        result_.line = lineNumber_;
        // An empty file has no line to name.
        result_.error =
            lineNumber_ > 0 ? QStringLiteral("line %1: %2").arg(lineNumber_).arg(error) : error;
        return result_;
    }
    bool refuse(const QString &error)
    {
        fail(error);
        return false;
    }

    // The next line that is neither blank nor a "#" comment, without its
    // line end.
    bool nextLine()
    {
        while (p_ < end_) {
            begin_ = p_;
            const char *newline =
                static_cast<const char *>(memchr(p_, '\n', static_cast<std::size_t>(end_ - p_)));
            stop_ = newline ? newline : end_;
            p_ = newline ? newline + 1 : end_;
            ++lineNumber_;
            if (stop_ > begin_ && stop_[-1] == '\r')
                --stop_;
            const char *first = begin_;
            while (first < stop_ && (*first == ' ' || *first == '\t'))
                ++first;
            if (first != stop_ && *first != '#')
                return true;
        }
        return false;
    }

    bool readSize(std::int64_t (&size)[4])
    {
        if (!nextLine())
            return refuse(QStringLiteral("no \"N D W F\" line"));
        Cursor head(begin_, stop_);
        for (std::int64_t &v : size)
            if (!head.next(v))
                return refuse(QStringLiteral("expected \"N D W F\""));
        bool fits = head.atEnd() && (size[3] == 0 || size[3] == 1);
        for (int k = 0; k < 3; ++k)
            fits = fits && size[k] >= 1 && size[k] <= MaxPreferenceValues;
        if (!fits || size[0] * size[1] > MaxPreferenceValues ||
            size[0] * size[1] * (size[2] + 1) > MaxPreferenceValues)
            return refuse(QStringLiteral("\"N D W F\" out of range"));
        return true;
    }

    // Each number takes a digit and a separator: a file far too short for a
    // large "N D W F" is refused before room for that many values is made.
    // Small ones are read on, to name the line where they stop.
    bool checkLength(const std::int64_t (&size)[4])
    {
        const std::int64_t values = size[1] * size[2] + size[0] * size[1] * (size[2] + 1);
        if (values > 65536 && end_ - p_ < 2 * values - 1)
            return refuse(QStringLiteral("the file is too short for \"%1 %2 %3 %4\"")
                              .arg(size[0])
                              .arg(size[1])
                              .arg(size[2])
                              .arg(size[3]));
        return true;
    }

    bool readCoverage(Instance &in)
    {
        for (int d = 0; d < in.days; ++d) {
            if (!nextLine())
                return refuse(QStringLiteral("requirements of day %1 missing").arg(d + 1));
            Cursor cursor(begin_, stop_);
            std::int64_t dayTotal = 0;
            for (int s = 0; s < in.workingShifts; ++s) {
                std::int64_t v = 0;
                if (!cursor.next(v) || v < 0)
                    return refuse(QStringLiteral("expected %1 requirements of 0 or more")
                                      .arg(in.workingShifts));
                in.cover(d, s) = static_cast<int>(v);
                dayTotal += v;
            }
            if (!cursor.atEnd())
                return refuse(QStringLiteral("more than %1 requirements").arg(in.workingShifts));
            if (dayTotal > in.nurses)
                return refuse(QStringLiteral("day %1 needs more nurses than there are").arg(d + 1));
        }
        return true;
    }

    bool readCosts(Instance &in)
    {
        const std::size_t rowLength =
            static_cast<std::size_t>(in.days) * static_cast<std::size_t>(in.shiftTypes());
        for (int n = 0; n < in.nurses; ++n) {
            if (!nextLine())
                return refuse(QStringLiteral("costs of nurse %1 missing").arg(n + 1));
            Cursor cursor(begin_, stop_);
            for (std::size_t i = 0; i < rowLength; ++i) {
                std::int64_t v = 0;
                if (!cursor.next(v) || v < MinCost || v > MaxCost)
                    return refuse(QStringLiteral("expected %1 costs from 1 to 4").arg(rowLength));
                in.costs[static_cast<std::size_t>(n) * rowLength + i] =
                    static_cast<std::uint8_t>(v);
            }
            if (!cursor.atEnd())
                return refuse(QStringLiteral("more than %1 costs").arg(rowLength));
        }
        return true;
    }

    ParsedInstance result_;
    const char *p_;
    const char *end_;
    const char *begin_ = nullptr;
    const char *stop_ = nullptr;
    int lineNumber_ = 0;
};

} // namespace

ParsedInstance parseInstance(const QByteArray &text)
{
    return InstanceParser(text).parse();
}

namespace {

// The header's lines "# <label> <value>" in the order instanceText writes
// them, each value read by `read`; false when one is missing or malformed.
class HeaderReader
{
public:
    explicit HeaderReader(const QByteArray &text) : lines_(text.left(64 * 1024).split('\n')) {}

    bool origin(InstanceOrigin &origin)
    {
        BatchInput &in = origin.input;
        QByteArrayView rest;
        if (!take("# batch seed ", rest))
            return false;
        const auto parts = rest.toByteArray().split(',');
        if (parts.size() != 3 || !parts[1].startsWith(" file "))
            return false;
        bool good = whole(parts[0], in.seed) && whole(parts[1].mid(6), origin.fileNumber);
        qint64 nurses = 0, days = 0, shifts = 0, free = 0;
        good = good && value("# nurses ", nurses) && value("# days ", days) &&
               value("# shifts ", shifts) && value("# free shift counted ", free);
        for (int k = 0; good && k < IndicatorCount; ++k)
            good = target(k, in.targets[std::size_t(k)]);
        qint64 seed = 0;
        good = good && value("# number of files ", in.files) &&
               value("# first file ", in.firstFile) && value("# seed ", seed) && seed == in.seed;
        if (take("# rules ", rest))
            in.rules = QString::fromUtf8(rest.toByteArray());
        if (take("# slack ", rest)) {
            in.slack = readNumber(rest);
            good = good && in.slack && !in.rules.isEmpty();
        }
        // Files of earlier versions name the folder they were written to.
        take("# folder ", rest);
        if (!good || nurses < 1 || days < 1 || shifts < 1 || (free != 0 && free != 1))
            return false;
        in.nurses = int(nurses);
        in.days = int(days);
        in.shifts = int(shifts);
        in.freeCounted = free == 1;
        return true;
    }

private:
    bool take(const char *label, QByteArrayView &rest)
    {
        if (next_ >= lines_.size() || !lines_.at(next_).startsWith(label))
            return false;
        rest = QByteArrayView(lines_.at(next_++)).sliced(qstrlen(label));
        return true;
    }
    static bool whole(QByteArrayView text, qint64 &out)
    {
        bool ok = false;
        out = text.toByteArray().toLongLong(&ok);
        return ok;
    }
    bool value(const char *label, qint64 &out)
    {
        QByteArrayView rest;
        return take(label, rest) && whole(rest, out);
    }
    bool target(int k, double &out)
    {
        QByteArrayView rest;
        const QByteArray label = QByteArray("# ") + IndicatorNames[k] + " target ";
        if (!take(label.constData(), rest))
            return false;
        const auto number = readNumber(rest);
        out = number.value_or(0);
        return number.has_value();
    }

    QList<QByteArray> lines_;
    qsizetype next_ = 1; // past the program's line
};

} // namespace

std::optional<InstanceOrigin> readOrigin(const QByteArray &text)
{
    InstanceOrigin origin;
    if (!HeaderReader(text).origin(origin))
        return std::nullopt;
    return origin;
}

ParsedInstance readInstanceFile(const QString &path)
{
    ParsedInstance result;
    const std::optional<QByteArray> text =
        readRegularFile(path, MaxInstanceFileBytes, result.error);
    return text ? parseInstance(*text) : result;
}

int forEachInstanceFile(const QStringList &paths, QTextStream &err,
                        const std::function<int(const QString &path, const Instance &)> &use)
{
    int status = 0;
    for (const QString &path : paths) {
        const ParsedInstance parsed = readInstanceFile(path);
        if (!parsed.instance) {
            err << "keldar-generate: " << QDir::toNativeSeparators(path) << ": " << parsed.error
                << Qt::endl;
            status = 2;
            continue;
        }
        status = std::max(status, use(path, *parsed.instance));
    }
    return status;
}

} // namespace keldar::generator

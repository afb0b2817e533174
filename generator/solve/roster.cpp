#include "generator/solve/roster.h"

#include "generator/files/instancefile.h"
#include "generator/publish/userfile.h"

#include <QDir>

#include <algorithm>
#include <cctype>

namespace keldar::generator {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Walks MiniZinc data, counting lines and passing over `%` comments.
class DataCursor
{
public:
    explicit DataCursor(const QByteArray &text)
        : p_(text.constData()), end_(text.constData() + text.size())
    {}
    int line() const { return line_; }
    bool atEnd()
    {
        skip();
        return p_ == end_;
    }
    bool take(char c)
    {
        skip();
        if (p_ == end_ || *p_ != c)
            return false;
        ++p_;
        return true;
    }
    QByteArray name()
    {
        skip();
        const char *begin = p_;
        while (p_ < end_ && (std::isalnum(static_cast<unsigned char>(*p_)) || *p_ == '_'))
            ++p_;
        return QByteArray(begin, static_cast<qsizetype>(p_ - begin));
    }
    std::optional<std::int64_t> number()
    {
        skip();
        const bool negative = p_ < end_ && *p_ == '-';
        const char *digits = p_ + (negative ? 1 : 0);
        const char *q = digits;
        std::int64_t value = 0;
        while (q < end_ && *q >= '0' && *q <= '9' && q - digits < 12)
            value = value * 10 + (*q++ - '0');
        if (q == digits || (q < end_ && (std::isalnum(static_cast<unsigned char>(*q)))))
            return std::nullopt;
        p_ = q;
        return negative ? -value : value;
    }

private:
    void skip()
    {
        while (p_ < end_) {
            if (*p_ == '%') {
                while (p_ < end_ && *p_ != '\n')
                    ++p_;
            } else if (isBlank(*p_)) {
                line_ += *p_ == '\n' ? 1 : 0;
                ++p_;
            } else {
                break;
            }
        }
    }

    const char *p_;
    const char *end_;
    int line_ = 1;
};

QString nurses(qint64 count)
{
    return count == 1 ? QStringLiteral("1 nurse") : QStringLiteral("%1 nurses").arg(count);
}

// An editor may begin the text with a UTF-8 byte order mark.
QByteArray withoutByteOrderMark(const QByteArray &text)
{
    return text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;
}

// The line of the text's first NUL, 0 when it has none: read on, a number
// would end there and the rest of the line pass unseen.
int nulLine(const QByteArray &text)
{
    const qsizetype at = text.indexOf('\0');
    return at < 0 ? 0 : int(text.left(at).count('\n')) + 1;
}

const QString NulCharacter = QStringLiteral("holds a NUL character");

// Instances, rosters and rules alike stay within an instance file's size.
QByteArray readFile(const QString &path, QString &error)
{
    return readRegularFile(path, MaxInstanceFileBytes, error).value_or(QByteArray());
}

} // namespace

ParsedRules parseRules(const QByteArray &bytes)
{
    ParsedRules result;
    Rules rules;
    const QByteArray text = withoutByteOrderMark(bytes);
    DataCursor in(text);
    auto fail = [&](int line, const QString &why) {
        result.error = QStringLiteral("line %1: %2").arg(line).arg(why);
        return result;
    };
    if (const int line = nulLine(text))
        return fail(line, NulCharacter);
    std::optional<int> *const scalars[] = {&rules.minWorkingShifts, &rules.maxWorkingShifts,
                                           &rules.maxConsecutiveWorkingDays,
                                           &rules.minConsecutiveFreeDays};
    const char *const scalarNames[] = {"minWorkingShifts", "maxWorkingShifts",
                                       "maxConsecutiveWorkingDays", "minConsecutiveFreeDays"};
    bool successionsGiven = false;
    while (!in.atEnd()) {
        const int line = in.line();
        const QByteArray name = in.name();
        if (name.isEmpty())
            return fail(line, QStringLiteral("expected a rule name"));
        if (!in.take('='))
            return fail(in.line(),
                        QStringLiteral("expected \"=\" after %1").arg(QString::fromUtf8(name)));
        if (name == "forbiddenSuccessions") {
            if (successionsGiven)
                return fail(line, QStringLiteral("forbiddenSuccessions given twice"));
            successionsGiven = true;
            if (!in.take('{'))
                return fail(in.line(), QStringLiteral("expected a set {a * 100 + b, ...}"));
            if (!in.take('}')) {
                do {
                    const auto code = in.number();
                    if (!code || *code < 0 || *code > 9999)
                        return fail(in.line(),
                                    QStringLiteral("expected a * 100 + b for shifts a and b from "
                                                   "0 to 99"));
                    rules.forbiddenSuccessions.push_back(static_cast<int>(*code));
                } while (in.take(','));
                if (!in.take('}'))
                    return fail(in.line(), QStringLiteral("expected \",\" or \"}\""));
            }
        } else {
            const auto known = std::find(std::begin(scalarNames), std::end(scalarNames), name);
            if (known == std::end(scalarNames))
                return fail(line, QStringLiteral("unknown rule %1").arg(QString::fromUtf8(name)));
            std::optional<int> &rule = *scalars[known - std::begin(scalarNames)];
            if (rule)
                return fail(line, QStringLiteral("%1 given twice").arg(QString::fromUtf8(name)));
            const auto value = in.number();
            if (!value || *value < 0 || *value > MaxPreferenceValues)
                return fail(in.line(), QStringLiteral("expected a whole number of 0 or more"));
            rule = static_cast<int>(*value);
        }
        if (!in.take(';') && !in.atEnd())
            return fail(in.line(), QStringLiteral("expected \";\""));
    }
    result.rules = std::move(rules);
    return result;
}

namespace {

// The words the manual's MiniZinc line asks for (--unsat-msg, --unknown-msg).
const QByteArray DocumentedUnsat = "% unsatisfiable";
const QByteArray DocumentedUnknown = "% unknown";

QString noRosterMeaning(const QByteArray &status)
{
    if (status == "=====UNSATISFIABLE=====" || status == DocumentedUnsat)
        return QStringLiteral("no roster meets the coverage and the rules");
    if (status == "=====UNKNOWN=====" || status == DocumentedUnknown)
        return QStringLiteral("none found in the time it had");
    return QStringLiteral("the solver stopped without a roster");
}

} // namespace

QByteArray rosterLines(const std::vector<int> &roster, int nurses, int days)
{
    QByteArray text;
    text.reserve(qsizetype(roster.size()) * 2);
    for (int n = 0; n < nurses; ++n) {
        for (int d = 0; d < days; ++d) {
            if (d > 0)
                text += ' ';
            text += QByteArray::number(roster[gridIndex(n, days, d)]);
        }
        text += '\n';
    }
    return text;
}

ParsedRoster parseRoster(const QByteArray &text, const Instance &in)
{
    ParsedRoster result;
    auto fail = [&](int line, const QString &why) {
        result.roster.clear();
        result.error = QStringLiteral("line %1: %2").arg(line).arg(why);
        return result;
    };
    if (const int line = nulLine(text))
        return fail(line, NulCharacter);
    const QList<QByteArray> lines = withoutByteOrderMark(text).split('\n');
    int nurse = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        // MiniZinc's word that it found none, where a roster was awaited.
        const bool none = (line.startsWith("=====") && line.endsWith("=====")) ||
                          line == DocumentedUnsat || line == DocumentedUnknown;
        if (!none && (line.isEmpty() || line.startsWith('%') || line.startsWith('#')))
            continue;
        if (none && nurse == 0)
            return fail(i + 1, QStringLiteral("no roster in the file: the solver says %1 "
                                              "(%2)")
                                   .arg(QString::fromUtf8(line), noRosterMeaning(line)));
        if (nurse == in.nurses)
            return fail(i + 1, QStringLiteral("more than %1 nurses").arg(in.nurses));
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() != in.days)
            return fail(i + 1, QStringLiteral("expected %1 shift numbers, found %2")
                                   .arg(in.days)
                                   .arg(fields.size()));
        for (const QByteArray &field : fields) {
            bool ok = false;
            const int shift = field.toInt(&ok);
            if (!ok || shift < 0 || shift > in.workingShifts)
                return fail(i + 1,
                            QStringLiteral("\"%1\" is not a shift number from 0 to %2")
                                .arg(QString::fromUtf8(field), QString::number(in.workingShifts)));
            result.roster.push_back(shift);
        }
        ++nurse;
    }
    if (nurse < in.nurses)
        return fail(static_cast<int>(lines.size()),
                    QStringLiteral("%1 nurses, expected %2").arg(nurse).arg(in.nurses));
    return result;
}

namespace {

// Checks one rule after another, each adding what it finds broken.
class RosterChecker
{
public:
    RosterChecker(const Instance &in, const std::vector<int> &roster, const Rules &rules)
        : in_(in), roster_(roster), rules_(rules), free_(in.workingShifts)
    {}

    RosterCheck run()
    {
        costAndCoverage();
        for (int n = 0; n < in_.nurses; ++n) {
            workingShifts(n);
            runs(n);
            successions(n);
        }
        return check_;
    }

private:
    int at(int n, int d) const { return roster_[gridIndex(n, in_.days, d)]; }
    void add(ViolationKind kind, const QString &text) { check_.violations.push_back({kind, text}); }

    void costAndCoverage()
    {
        std::vector<int> staffed(in_.coverage.size(), 0);
        for (int n = 0; n < in_.nurses; ++n)
            for (int d = 0; d < in_.days; ++d) {
                check_.cost += in_.cost(n, d, at(n, d));
                if (at(n, d) != free_)
                    ++staffed[gridIndex(d, in_.workingShifts, at(n, d))];
            }
        for (int d = 0; d < in_.days; ++d)
            for (int w = 0; w < in_.workingShifts; ++w)
                if (staffed[gridIndex(d, in_.workingShifts, w)] < in_.cover(d, w))
                    add(ViolationKind::Coverage,
                        QStringLiteral("day %1, shift %2: %3, fewer than the %4 required")
                            .arg(d + 1)
                            .arg(w)
                            .arg(nurses(staffed[gridIndex(d, in_.workingShifts, w)]))
                            .arg(in_.cover(d, w)));
    }

    void workingShifts(int n)
    {
        int worked = 0;
        for (int d = 0; d < in_.days; ++d)
            worked += at(n, d) != free_ ? 1 : 0;
        if (rules_.minWorkingShifts && worked < *rules_.minWorkingShifts)
            add(ViolationKind::MinWorkingShifts,
                QStringLiteral("nurse %1: %2 working shifts, fewer than the minimum %3")
                    .arg(n + 1)
                    .arg(worked)
                    .arg(*rules_.minWorkingShifts));
        if (rules_.maxWorkingShifts && worked > *rules_.maxWorkingShifts)
            add(ViolationKind::MaxWorkingShifts,
                QStringLiteral("nurse %1: %2 working shifts, more than the maximum %3")
                    .arg(n + 1)
                    .arg(worked)
                    .arg(*rules_.maxWorkingShifts));
    }

    // Runs of equal kind (working or free), each judged once.
    void runs(int n)
    {
        for (int d = 0; d < in_.days;) {
            const bool working = at(n, d) != free_;
            int end = d;
            while (end < in_.days && (at(n, end) != free_) == working)
                ++end;
            const int length = end - d;
            if (working && rules_.maxConsecutiveWorkingDays &&
                length > *rules_.maxConsecutiveWorkingDays)
                add(ViolationKind::ConsecutiveWorkingDays,
                    QStringLiteral("nurse %1: %2 working days in a row from day %3, more than %4")
                        .arg(n + 1)
                        .arg(length)
                        .arg(d + 1)
                        .arg(*rules_.maxConsecutiveWorkingDays));
            // A free period touching either end of the horizon may reach
            // beyond it.
            if (!working && rules_.minConsecutiveFreeDays && d > 0 && end < in_.days &&
                length < *rules_.minConsecutiveFreeDays)
                add(ViolationKind::ConsecutiveFreeDays,
                    QStringLiteral("nurse %1: %2 free days in a row from day %3, fewer than %4")
                        .arg(n + 1)
                        .arg(length)
                        .arg(d + 1)
                        .arg(*rules_.minConsecutiveFreeDays));
            d = end;
        }
    }

    void successions(int n)
    {
        const std::vector<int> &forbidden = rules_.forbiddenSuccessions;
        for (int d = 0; d + 1 < in_.days; ++d) {
            const int from = at(n, d);
            const int to = at(n, d + 1);
            if (from == free_ || to == free_)
                continue;
            if (from < 100 && to < 100 &&
                std::find(forbidden.begin(), forbidden.end(), from * 100 + to) != forbidden.end())
                add(ViolationKind::ForbiddenSuccession,
                    QStringLiteral("nurse %1: shift %2 on day %3 followed by shift %4")
                        .arg(n + 1)
                        .arg(from)
                        .arg(d + 1)
                        .arg(to));
        }
    }

    const Instance &in_;
    const std::vector<int> &roster_;
    const Rules &rules_;
    const int free_;
    RosterCheck check_;
};

} // namespace

RosterCheck checkRoster(const Instance &in, const std::vector<int> &roster, const Rules &rules)
{
    return RosterChecker(in, roster, rules).run();
}

int checkRosterFiles(const QStringList &paths, QTextStream &out, QTextStream &err)
{
    auto refuse = [&](const QString &path, const QString &why) {
        err << "keldar-generate: " << QDir::toNativeSeparators(path) << ": " << printable(why)
            << Qt::endl;
        return 2;
    };
    QString error;
    const QByteArray instanceText = readFile(paths[0], error);
    if (!error.isEmpty())
        return refuse(paths[0], error);
    const ParsedInstance instance = parseInstance(instanceText);
    if (!instance.instance)
        return refuse(paths[0], instance.error);
    const QByteArray rosterText = readFile(paths[1], error);
    if (!error.isEmpty())
        return refuse(paths[1], error);
    const ParsedRoster roster = parseRoster(rosterText, *instance.instance);
    if (!roster.error.isEmpty())
        return refuse(paths[1], roster.error);
    Rules rules;
    if (paths.size() > 2) {
        const QByteArray rulesText = readFile(paths[2], error);
        if (!error.isEmpty())
            return refuse(paths[2], error);
        const ParsedRules parsed = parseRules(rulesText);
        if (!parsed.rules)
            return refuse(paths[2], parsed.error);
        rules = *parsed.rules;
    }
    const RosterCheck check = checkRoster(*instance.instance, roster.roster, rules);
    out << "cost " << check.cost << Qt::endl;
    for (const Violation &violation : check.violations)
        out << "violation: " << violation.text << Qt::endl;
    if (check.feasible())
        out << "feasible" << Qt::endl;
    else
        out << "infeasible: " << check.violations.size()
            << (check.violations.size() == 1 ? " violation" : " violations") << Qt::endl;
    return check.feasible() ? 0 : 1;
}

} // namespace keldar::generator

#include "generator/files/instancefile.h"
#include "generator/instance/generate.h"
#include "generator/run/batch.h"
#include "generator/run/manifest.h"
#include "generator/solve/capacity.h"
#include "generator/solve/mipmodel.h"
#include "generator/solve/mipsolve.h"
#include "generator/solve/ssbformat.h"
#include "generator/tables/benchlist.h"
#include "tests/support/files.h"

#include <QDir>
#include <QDirIterator>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <numeric>

using namespace keldar::generator;

namespace {

using keldar::test::generatorPath;
using keldar::test::readAll;
using keldar::test::writeFile;

// An SSB file as read back: the sections' rows by tag, each row its fields.
struct Ssb {
    int horizon = 0;
    std::int64_t offset = 0;
    bool notWholeWeeks = false; // said in the header
    QHash<QByteArray, QList<QList<QByteArray>>> sections;
    QHash<QByteArray, int> nurses; // staff IDs to their row
    int crowded = 0;               // nurse-days with two on-requests or more
    QString error;                 // the first convention broken

    const QList<QList<QByteArray>> &rows(const char *tag) const { return *sections.constFind(tag); }
};

const char *const Tags[] = {"SECTION_HORIZON",
                            "SECTION_SHIFTS",
                            "SECTION_STAFF",
                            "SECTION_DAYS_OFF",
                            "SECTION_SHIFT_ON_REQUESTS",
                            "SECTION_SHIFT_OFF_REQUESTS",
                            "SECTION_COVER"};

// Reads the file as the public readers do, holding it to what they rely on:
// a tag alone on its line and nowhere else, two comment lines before the
// day count, a column header comment first in every other section, no blank
// line inside one, every staff row naming every shift, staff IDs A, B, ...,
// Z, AA, AB, ... in order, a days-off row for each of them with nothing but
// day numbers after the ID, no more than one on-request a nurse-day unless
// no fewer give the same penalties, and whole weeks unless the header says
// otherwise.
Ssb readSsb(const QByteArray &text)
{
    Ssb ssb;
    const QList<QByteArray> lines = text.split('\n');
    QByteArray tag;
    int inSection = 0; // lines read since the tag
    for (qsizetype i = 0; i < lines.size() && ssb.error.isEmpty(); ++i) {
        const QByteArray &line = lines.at(i);
        const auto fail = [&](const char *why) {
            ssb.error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
        };
        if (std::find(std::begin(Tags), std::end(Tags), line) != std::end(Tags)) {
            if (!tag.isEmpty() || ssb.sections.contains(line))
                fail("a tag inside a section, or twice");
            tag = line;
            ssb.sections[tag];
            inSection = 0;
        } else if (line.contains("SECTION_")) {
            fail("a section tag inside a line");
        } else if (tag.isEmpty()) {
            if (line.startsWith("# offset "))
                ssb.offset = line.mid(9).toLongLong();
            else if (!line.isEmpty() && !line.startsWith('#'))
                fail("data outside a section");
            ssb.notWholeWeeks |= line.startsWith('#') && line.contains(" not whole weeks");
        } else if (line.trimmed().isEmpty()) {
            if (inSection == 0)
                fail("a blank line before the column header");
            tag.clear();
        } else if (tag == "SECTION_HORIZON") {
            if ((++inSection <= 2) != line.startsWith('#'))
                fail("not exactly two comment lines before the day count");
            if (inSection == 3)
                ssb.horizon = line.toInt();
        } else if (++inSection == 1 ? !line.startsWith("# ") : line.startsWith('#')) {
            fail("no column header first, or a comment among the rows");
        } else if (inSection > 1) {
            ssb.sections[tag].append(line.split(','));
        }
    }
    for (const char *name : Tags)
        if (ssb.error.isEmpty() && !ssb.sections.contains(name))
            ssb.error = QStringLiteral("%1 missing").arg(QLatin1String(name));
    if (!ssb.error.isEmpty())
        return ssb;
    const auto check = [&ssb](bool kept, const QString &why) {
        if (!kept && ssb.error.isEmpty())
            ssb.error = why;
    };
    const auto &staffRows = ssb.rows("SECTION_STAFF");
    for (int n = 0; n < staffRows.size(); ++n) {
        const QList<QByteArray> &staff = staffRows.at(n);
        QByteArray id;
        for (int k = n + 1; k > 0; k = (k - 1) / 26)
            id.prepend(char('A' + (k - 1) % 26));
        check(staff.size() == 8 &&
                  staff.at(1).split('|').size() == ssb.rows("SECTION_SHIFTS").size(),
              QStringLiteral("staff row %1 does not name every shift").arg(n + 1));
        check(staff.at(0) == id,
              QStringLiteral("staff row %1 is not %2").arg(n + 1).arg(QLatin1String(id)));
        ssb.nurses.insert(id, n);
    }
    QSet<QByteArray> daysOff;
    for (const auto &row : ssb.rows("SECTION_DAYS_OFF")) {
        check(ssb.nurses.contains(row.at(0)) && !daysOff.contains(row.at(0)),
              QStringLiteral("days off of %1: unknown or twice").arg(QLatin1String(row.at(0))));
        daysOff.insert(row.at(0));
        for (const QByteArray &day : row.mid(1)) {
            bool number = false;
            check(day.toInt(&number) >= 0 && number && day.toInt() < ssb.horizon,
                  QStringLiteral("days off of %1: \"%2\" is no day")
                      .arg(QLatin1String(row.at(0)), QLatin1String(day)));
        }
    }
    check(daysOff.size() == staffRows.size(), QStringLiteral("a nurse without a days-off row"));
    // Per nurse-day: each working shift's on-request and off-request.
    QHash<qint64, QHash<QByteArray, QPair<int, int>>> requests;
    for (const bool on : {true, false})
        for (const auto &row :
             ssb.rows(on ? "SECTION_SHIFT_ON_REQUESTS" : "SECTION_SHIFT_OFF_REQUESTS")) {
            check(row.size() == 4 && ssb.nurses.contains(row.at(0)) && row.at(1).toInt() >= 0 &&
                      row.at(1).toInt() < ssb.horizon,
                  QStringLiteral("a request of no nurse or day"));
            auto &weights = requests[ssb.nurses.value(row.at(0)) * qint64(ssb.horizon) +
                                     row.value(1).toInt()][row.value(2)];
            (on ? weights.first : weights.second) += row.value(3).toInt();
        }
    for (const auto &day : std::as_const(requests)) {
        int on = 0;
        int cheaper = 0; // shifts whose penalty is below taking no shift
        for (const QPair<int, int> &weights : day) {
            on += weights.first > 0 ? 1 : 0;
            cheaper += weights.first > weights.second ? 1 : 0;
        }
        check(on <= std::max(1, cheaper),
              QStringLiteral("more on-requests a nurse-day than the penalties need"));
        ssb.crowded += on > 1 ? 1 : 0;
    }
    check(ssb.horizon % 7 == 0 || ssb.notWholeWeeks,
          QStringLiteral("%1 days, not whole weeks, and not said").arg(ssb.horizon));
    return ssb;
}

// Shift ids to their index, the free shift last.
QHash<QByteArray, int> shiftIndex(const Ssb &ssb)
{
    QHash<QByteArray, int> index;
    for (const auto &shift : ssb.rows("SECTION_SHIFTS"))
        index.insert(shift.at(0), int(index.size()));
    return index;
}

int field(const QList<QByteArray> &row, int column)
{
    return row.at(column).toInt();
}

// The staff row's limits for nurse n: MaxShifts by shift, then the six
// numbers after it.
struct Staff {
    QHash<QByteArray, int> maxShifts;
    int maxMinutes, minMinutes, maxConsecutive, minConsecutive, minDaysOff, maxWeekends;
};

Staff staffOf(const Ssb &ssb, int n)
{
    const auto &row = ssb.rows("SECTION_STAFF").at(n);
    Staff staff{
        {},           field(row, 2), field(row, 3), field(row, 4), field(row, 5), field(row, 6),
        field(row, 7)};
    for (const QByteArray &limit : row.at(1).split('|'))
        staff.maxShifts.insert(limit.split('=').at(0), limit.split('=').at(1).toInt());
    return staff;
}

// The SSB penalty of a roster ([nurse][day], the free shift last); none
// when it breaks a hard constraint.
std::optional<std::int64_t> ssbPenalty(const Ssb &ssb, const std::vector<int> &roster)
{
    const QHash<QByteArray, int> shift = shiftIndex(ssb);
    const int free = int(shift.size());
    const int days = ssb.horizon;
    const auto at = [&](int n, int d) {
        return roster[std::size_t(n * days + d)];
    };
    const auto nurse = [&ssb](const QByteArray &id) {
        return ssb.nurses.value(id);
    };
    for (int n = 0; n < ssb.rows("SECTION_STAFF").size(); ++n) {
        const Staff staff = staffOf(ssb, n);
        int minutes = 0;
        QHash<int, int> counts;
        int run = 0;
        for (int d = 0; d < days; ++d) {
            const int t = at(n, d);
            run = t == free ? 0 : run + 1;
            if (run > staff.maxConsecutive)
                return std::nullopt;
            if (t != free) {
                minutes += field(ssb.rows("SECTION_SHIFTS").at(t), 1);
                ++counts[t];
            }
            const bool starts = d > 0 && (at(n, d - 1) == free) != (t == free);
            const int length = t == free ? staff.minDaysOff : staff.minConsecutive;
            for (int j = 1; starts && j < length && d + j < days; ++j)
                if ((at(n, d + j) == free) != (t == free))
                    return std::nullopt;
            if (d > 0 && t != free && at(n, d - 1) != free &&
                ssb.rows("SECTION_SHIFTS")
                    .at(at(n, d - 1))
                    .at(2)
                    .split('|')
                    .contains(ssb.rows("SECTION_SHIFTS").at(t).at(0)))
                return std::nullopt;
        }
        int weekends = 0;
        for (int d = 6; d < days; d += 7)
            weekends += at(n, d - 1) != free || at(n, d) != free ? 1 : 0;
        if (minutes > staff.maxMinutes || minutes < staff.minMinutes ||
            weekends > staff.maxWeekends)
            return std::nullopt;
        for (auto limit = staff.maxShifts.begin(); limit != staff.maxShifts.end(); ++limit)
            if (counts.value(shift.value(limit.key())) > limit.value())
                return std::nullopt;
    }
    for (const auto &row : ssb.rows("SECTION_DAYS_OFF"))
        for (const QByteArray &day : row.mid(1))
            if (at(nurse(row.at(0)), day.toInt()) != free)
                return std::nullopt;
    std::int64_t penalty = 0;
    for (const auto &on : ssb.rows("SECTION_SHIFT_ON_REQUESTS"))
        penalty += at(nurse(on.at(0)), field(on, 1)) != shift.value(on.at(2)) ? field(on, 3) : 0;
    for (const auto &off : ssb.rows("SECTION_SHIFT_OFF_REQUESTS"))
        penalty +=
            at(nurse(off.at(0)), field(off, 1)) == shift.value(off.at(2)) ? field(off, 3) : 0;
    for (const auto &cover : ssb.rows("SECTION_COVER")) {
        int staffed = 0;
        for (int n = 0; n < ssb.rows("SECTION_STAFF").size(); ++n)
            staffed += at(n, field(cover, 0)) == shift.value(cover.at(1)) ? 1 : 0;
        penalty += std::max(0, field(cover, 2) - staffed) * field(cover, 3) +
                   std::max(0, staffed - field(cover, 2)) * field(cover, 4);
    }
    return penalty;
}

// The SSB problem as a mixed-integer program: x[n][d][t] as the roster
// model lays them out, then an under and an over slack per cover row.  The
// objective leaves out the constant of the on-requests, added to `constant`.
MipModel ssbModel(const Ssb &ssb, std::int64_t &constant)
{
    const QHash<QByteArray, int> shift = shiftIndex(ssb);
    const int types = int(shift.size()) + 1;
    const int nurses = int(ssb.rows("SECTION_STAFF").size());
    const int days = ssb.horizon;
    MipModel mip;
    const auto x = [&](int n, int d, int t) {
        return (n * days + d) * types + t;
    };
    for (int c = 0; c < nurses * days * types; ++c)
        mip.addColumn(0, 1, true);
    const auto cost = [&](int column, double weight) {
        mip.objective[std::size_t(column)] += weight;
    };
    for (const auto &on : ssb.rows("SECTION_SHIFT_ON_REQUESTS")) {
        constant += field(on, 3);
        cost(x(ssb.nurses.value(on.at(0)), field(on, 1), shift.value(on.at(2))), -field(on, 3));
    }
    for (const auto &off : ssb.rows("SECTION_SHIFT_OFF_REQUESTS"))
        cost(x(ssb.nurses.value(off.at(0)), field(off, 1), shift.value(off.at(2))), field(off, 3));
    for (const auto &cover : ssb.rows("SECTION_COVER")) {
        std::vector<std::pair<int, double>> staffed;
        for (int n = 0; n < nurses; ++n)
            staffed.push_back({x(n, field(cover, 0), shift.value(cover.at(1))), 1});
        staffed.push_back({mip.addColumn(field(cover, 3), nurses, true), 1});
        staffed.push_back({mip.addColumn(field(cover, 4), nurses, true), -1});
        mip.addRow(staffed, field(cover, 2), field(cover, 2));
    }
    const int free = types - 1;
    for (const auto &row : ssb.rows("SECTION_DAYS_OFF"))
        for (const QByteArray &day : row.mid(1))
            mip.addRow({{x(ssb.nurses.value(row.at(0)), day.toInt(), free), 1}}, 1, 1);
    for (int n = 0; n < nurses; ++n) {
        const Staff staff = staffOf(ssb, n);
        std::vector<std::pair<int, double>> minutes;
        for (int d = 0; d < days; ++d) {
            std::vector<std::pair<int, double>> one;
            for (int t = 0; t < types; ++t)
                one.push_back({x(n, d, t), 1});
            mip.addRow(one, 1, 1);
            for (const auto &row : ssb.rows("SECTION_SHIFTS")) {
                minutes.push_back({x(n, d, shift.value(row.at(0))), field(row, 1)});
                for (const QByteArray &next : row.at(2).split('|'))
                    if (d + 1 < days && !next.isEmpty())
                        mip.addRow({{x(n, d, shift.value(row.at(0))), 1},
                                    {x(n, d + 1, shift.value(next)), 1}},
                                   -MipInfinity, 1);
            }
            // A free day in every window of maxConsecutive + 1 days.
            std::vector<std::pair<int, double>> window;
            for (int j = 0; j <= staff.maxConsecutive && d + staff.maxConsecutive < days; ++j)
                window.push_back({x(n, d + j, free), 1});
            if (!window.empty())
                mip.addRow(window, 1, MipInfinity);
            // A free period after work lasts minDaysOff days, or to the end;
            // a working one minConsecutive.
            for (int j = 1; d > 0 && j < staff.minDaysOff && d + j < days; ++j)
                mip.addRow({{x(n, d - 1, free), -1}, {x(n, d, free), 1}, {x(n, d + j, free), -1}},
                           -MipInfinity, 0);
            for (int j = 1; d > 0 && j < staff.minConsecutive && d + j < days; ++j)
                mip.addRow({{x(n, d - 1, free), 1}, {x(n, d, free), -1}, {x(n, d + j, free), 1}},
                           -MipInfinity, 1);
        }
        mip.addRow(minutes, staff.minMinutes, staff.maxMinutes);
        for (auto limit = staff.maxShifts.begin(); limit != staff.maxShifts.end(); ++limit) {
            std::vector<std::pair<int, double>> count;
            for (int d = 0; d < days; ++d)
                count.push_back({x(n, d, shift.value(limit.key())), 1});
            mip.addRow(count, 0, limit.value());
        }
    }
    return mip;
}

BatchInput batch(int nurses, int days, int shifts, const QString &folder = {})
{
    BatchInput in;
    in.nurses = nurses;
    in.days = days;
    in.shifts = shifts;
    in.targets = {0.5, 0.5, 0.5, 0.3, 0.5, 0.5};
    in.files = 2;
    in.firstFile = 1;
    in.seed = 11;
    in.folder = folder;
    return in;
}

RulesChoice rulesFrom(const QByteArray &text)
{
    return RulesChoice{*parseRules(text).rules, QStringLiteral("test"), QString(), text};
}

// The program's exit status and its error output.
QPair<int, QByteArray> runGenerator(const QStringList &args)
{
    QProcess program;
    program.start(generatorPath(), args);
    const bool ended =
        program.waitForFinished(120000) && program.exitStatus() == QProcess::NormalExit;
    return {ended ? program.exitCode() : -1, program.readAllStandardError()};
}

const QByteArray InputData = "4\n7\n3\n0\n0.5\n0.5\n0.5\n0.3\n0.5\n0.5\n2\n1\n100\nOUT\n";
const QByteArray DesignText = "nurses = 4\ndays = 7\nshifts = 3\nfreeShift = no\n"
                              "periodPreference = 0.5\ndayPreference = 0.5\nshiftPreference = "
                              "0.5\ntotalCoverage = 0.3\ndayCoverage = 0.5\nshiftCoverage = 0.5\n"
                              "instancesPerCell = 2\n";

// Every file in a folder and below, by its path there.
QStringList filesIn(const QString &folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(folder).relativeFilePath(it.next());
    names.sort();
    return names;
}

} // namespace

class TestToolFormats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every roster that meets the coverage keeps the SSB file's hard
    // constraints exactly when it keeps the rules, and its penalty is its
    // cost plus the stated offset; the SSB optimum is the rule-bound one.
    void ssb_offsetForEveryRoster_data()
    {
        QTest::addColumn<int>("nurses");
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("shifts");
        QTest::addColumn<QByteArray>("rules");
        // A nurse-day with two working shifts cheaper than the free one, so
        // two on-requests.
        QTest::addColumn<bool>("crowded");
        QTest::newRow("no rules") << 2 << 3 << 2 << QByteArray() << true;
        QTest::newRow("successions")
            << 2 << 4 << 2 << QByteArray("forbiddenSuccessions = {100};") << true;
        QTest::newRow("days in a row")
            << 2 << 4 << 1
            << QByteArray("maxConsecutiveWorkingDays = 2; minConsecutiveFreeDays = 2;") << false;
        QTest::newRow("working shifts")
            << 3 << 3 << 1 << QByteArray("minWorkingShifts = 1; maxWorkingShifts = 2;") << false;
    }
    void ssb_offsetForEveryRoster()
    {
        QFETCH(int, nurses);
        QFETCH(int, days);
        QFETCH(int, shifts);
        QFETCH(QByteArray, rules);
        QFETCH(bool, crowded);
        const RulesChoice chosen = rulesFrom(rules);
        const Instance in = generate(batch(nurses, days, shifts), 3);
        // A name no reader may take for a tag or a line end.
        const InstanceFacts facts{measure(in), {}, QStringLiteral("SECTION_COVER\nx.txt")};
        const Ssb ssb = readSsb(instanceSsb(in, chosen, facts));
        QVERIFY2(ssb.error.isEmpty(), qPrintable(ssb.error));
        QCOMPARE(ssb.offset, ssbOffset(in));
        QCOMPARE(ssb.crowded > 0, crowded);
        std::vector<int> roster(std::size_t(nurses * days), 0);
        std::optional<std::int64_t> best;
        std::optional<std::int64_t> bestSsb;
        do {
            const RosterCheck check = checkRoster(in, roster, chosen.rules);
            const auto penalty = ssbPenalty(ssb, roster);
            bool covered = true;
            for (const Violation &v : check.violations)
                covered = covered && v.kind != ViolationKind::Coverage;
            if (covered) {
                QCOMPARE(bool(penalty), check.feasible());
                if (penalty)
                    QCOMPARE(*penalty, check.cost + ssb.offset);
            }
            if (check.feasible())
                best = std::min(best.value_or(check.cost), check.cost);
            if (penalty)
                bestSsb = std::min(bestSsb.value_or(*penalty), *penalty);
            std::size_t i = 0;
            while (i < roster.size() && ++roster[i] > in.workingShifts)
                roster[i++] = 0;
            if (i == roster.size())
                break;
        } while (true);
        QVERIFY(best);
        QCOMPARE(*bestSsb - ssb.offset, *best);
    }

    // The SSB problem solved as a MIP of its own semantics gives the
    // --solve optimum plus the offset, under every shipped rule set.
    void ssb_optimumIsTheSolveOptimum_data()
    {
        QTest::addColumn<int>("nurses");
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("shifts");
        QTest::addColumn<QString>("rules");
        QTest::newRow("none") << 5 << 7 << 3 << QString();
        QTest::newRow("none, nurses AA and on") << 28 << 7 << 2 << QString();
        QTest::newRow("week") << 6 << 7 << 4 << QStringLiteral("week");
        QTest::newRow("rotation") << 6 << 7 << 3 << QStringLiteral("rotation");
        QTest::newRow("rotation, not whole weeks") << 4 << 13 << 3 << QStringLiteral("rotation");
        QTest::newRow("fourweeks") << 4 << 28 << 2 << QStringLiteral("fourweeks");
    }
    void ssb_optimumIsTheSolveOptimum()
    {
        QFETCH(int, nurses);
        QFETCH(int, days);
        QFETCH(int, shifts);
        QFETCH(QString, rules);
        const RulesChoiceRead chosen = chooseRules(rules);
        QVERIFY2(chosen.choice, qPrintable(chosen.error));
        for (std::uint64_t seed = 1; seed <= 2; ++seed) {
            const Instance in = generate(batch(nurses, days, shifts), seed);
            const SolveOutcome solved = solveInstance(in, chosen.choice->rules, 60);
            QCOMPARE(solved.status, SolveOutcome::Optimal);
            const Ssb ssb = readSsb(instanceSsb(in, *chosen.choice, {}));
            QVERIFY2(ssb.error.isEmpty(), qPrintable(ssb.error));
            std::int64_t constant = 0;
            const auto optimum = solveModel(ssbModel(ssb, constant), 60);
            QVERIFY(optimum);
            QCOMPARE(std::llround(*optimum) + constant - ssb.offset, *solved.cost);
        }
    }

    // The list names each instance once per rule set, in one data file with
    // its rules, with the model and the rules copied beside it, whether a
    // batch or --convert wrote the dzn; a file it did not write is never
    // replaced.
    void benchList_data()
    {
        QTest::addColumn<bool>("convert");
        QTest::addColumn<QStringList>("runs"); // --rules of each run, "" for none
        QTest::addColumn<QByteArray>("existingModel");
        QTest::addColumn<QByteArray>("existingList");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray week = "\"problem\",\"model\",\"data_file\"\n"
                                "\"keldar\",\"roster.mzn\",\"instance_1.week.dzn\"\n"
                                "\"keldar\",\"roster.mzn\",\"instance_2.week.dzn\"\n";
        const QByteArray none = "\"keldar\",\"roster.mzn\",\"instance_1.dzn\"\n"
                                "\"keldar\",\"roster.mzn\",\"instance_2.dzn\"\n";
        for (const bool convert : {false, true}) {
            const char *how = convert ? "convert: " : "batch: ";
            QTest::addRow("%sweek", how)
                << convert << QStringList{"week"} << QByteArray() << QByteArray() << week;
            QTest::addRow("%sagain, then none", how) << convert << QStringList{"week", "week", ""}
                                                     << QByteArray() << QByteArray() << week + none;
            QTest::addRow("%sanother roster.mzn there", how)
                << convert << QStringList{""} << QByteArray("% mine\n") << QByteArray()
                << QByteArray("\"problem\",\"model\",\"data_file\"\n") +
                       QByteArray(none).replace("roster.mzn", "roster-2.mzn");
        }
        QTest::newRow("a list without its last line end")
            << false << QStringList{""} << QByteArray()
            << QByteArray("problem,model,data_file\r\nmine,m.mzn,m.dzn")
            << "problem,model,data_file\r\nmine,m.mzn,m.dzn\n" + none;
    }
    void benchList()
    {
        QFETCH(bool, convert);
        QFETCH(QStringList, runs);
        QFETCH(QByteArray, existingModel);
        QFETCH(QByteArray, existingList);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        if (!existingModel.isEmpty())
            QVERIFY(writeFile(dir.filePath(QStringLiteral("roster.mzn")), existingModel));
        if (!existingList.isEmpty())
            QVERIFY(writeFile(dir.filePath(QLatin1String(BenchListName)), existingList));
        if (convert)
            QVERIFY(runBatch(batch(4, 7, 3, dir.path()), dir.path()).allWritten());
        for (const QString &rules : runs) {
            const RulesChoice chosen = *chooseRules(rules).choice;
            const QStringList named =
                rules.isEmpty() ? QStringList() : QStringList{"--rules", rules};
            if (convert)
                QCOMPARE(runGenerator(QStringList{"--format", "dzn", "--convert",
                                                  dir.filePath(QStringLiteral("instance_1.txt")),
                                                  dir.filePath(QStringLiteral("instance_2.txt"))} +
                                      named)
                             .first,
                         0);
            else
                QVERIFY(runBatch(batch(4, 7, 3, dir.path()), dir.path(), nullptr,
                                 RunOptions{1, nullptr, DznFormat, {}, chosen, listForBenchmark})
                            .allWritten());
        }
        const QByteArray list = readAll(dir.filePath(QLatin1String(BenchListName)));
        QCOMPARE(list, expected);
        if (!existingModel.isEmpty())
            QCOMPARE(readAll(dir.filePath(QStringLiteral("roster.mzn"))), existingModel);
        // Self-contained: every file one of its rows names is there.
        for (const QByteArray &line : list.split('\n').mid(1)) {
            const QList<QByteArray> row = csvFields(line).value_or(QList<QByteArray>());
            if (row.value(0) == "keldar")
                for (const QByteArray &name : row.mid(1))
                    QVERIFY2(QFile::exists(dir.filePath(QString::fromUtf8(name))),
                             line.constData());
        }
        for (const QString &rules : runs)
            if (!rules.isEmpty()) {
                const QByteArray bytes = readAll(chooseRules(rules).choice->path);
                QCOMPARE(readAll(dir.filePath(rules + QStringLiteral(".dzn"))), bytes);
                QCOMPARE(readAll(dir.filePath("instance_1." + rules + QStringLiteral(".dzn"))),
                         readAll(dir.filePath(QStringLiteral("instance_1.dzn"))) + bytes);
            }
        // MiniZinc takes a row's model and its one data file, as mzn-bench
        // hands them over (whatever the verdict in the time).
        if (runs != QStringList{"week"})
            return;
        const QString minizinc = QStandardPaths::findExecutable(QStringLiteral("minizinc"));
        if (minizinc.isEmpty())
            QSKIP("minizinc is not on PATH");
        QProcess run;
        run.setWorkingDirectory(dir.path());
        run.start(minizinc, {"--solver", "gecode", "--time-limit", "500", "roster.mzn",
                             "instance_1.week.dzn"});
        QVERIFY(run.waitForFinished(120000));
        QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0,
                 run.readAllStandardError().constData());
    }

    // metadata.csv and options.json for an instance-space analysis: one
    // column per algorithm under one rule set, never an empty cell (a run
    // without proof, a roster not feasible or no row at all takes the
    // algorithm's penalty), no feature the same for every instance, safe
    // column names, whether each instance is feasible; files there are kept.
    void metadata_data()
    {
        QTest::addColumn<QByteArray>("solutions");   // rows of solutions.csv
        QTest::addColumn<QByteArray>("gecode");      // rows of solutions.gecode.csv
        QTest::addColumn<QByteArray>("scores");      // rows of scores.csv
        QTest::addColumn<QByteArray>("shard");       // rows of solutions.shard-1-of-2.csv
        QTest::addColumn<QByteArrayList>("planted"); // rules,slack,witnessCost of each instance
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("algos");  // the algo_ columns, in order
        QTest::addColumn<QStringList>("cells"); // "k column value"
        QTest::addColumn<QStringList>("said");  // in what it prints
        QTest::addColumn<double>("epsilon");
        const QStringList none;
        QTest::newRow("runs without proof, infeasible, files kept")
            << QByteArray("instance_1.txt,week,optimal,40,40,0.000000,1.250,\r\n"
                          "instance_2.txt,week,unknown,,38,,4.800,\r\n"
                          "instance_3.txt,week,feasible,45,41,0.088889,5.000,\r\n"
                          "instance_4.txt,week,infeasible,,,,0.500,\r\n")
            << QByteArray() << QByteArray() << QByteArray() << QByteArrayList() << none << 0
            << QByteArray("algo_cbc")
            << QStringList{"1 algo_cbc 1.250",     "2 algo_cbc 50.000",    "3 algo_cbc 50.000",
                           "4 algo_cbc 0.500",     "1 feature_feasible 1", "2 feature_feasible 0.5",
                           "3 feature_feasible 1", "4 feature_feasible 0"}
            << QStringList{"algo_cbc: 2 runs without a proven verdict and 0 instances without "
                           "a row count 50.000 (ten times 5 s, its longest run)",
                           "features left out: the same for every instance: feature_nurses, "
                           "feature_days, feature_shifts, feature_freeShift"}
            << 5.0;
        QTest::newRow("every run unproven, the limit of the shards")
            << QByteArray("instance_1.txt,week,unknown,,38,,2.000,\r\n"
                          "instance_2.txt,week,feasible,45,41,0.088889,2.000,\r\n"
                          "instance_3.txt,week,unknown,,38,,2.000,\r\n")
            << QByteArray() << QByteArray()
            << QByteArray("instance_1.txt,week,unknown,,38,,2.000,,0123456789abcdef,3,1/2,4\r\n")
            << QByteArrayList() << none << 0 << QByteArray("algo_cbc")
            << QStringList{"1 algo_cbc 30.000", "3 algo_cbc 30.000", "4 algo_cbc 30.000"}
            << QStringList{"algo_cbc: 3 runs without a proven verdict and 1 instances without "
                           "a row count 30.000 (ten times 3 s, the time limit in "
                           "solutions.shard-1-of-2.csv)",
                           "algo_cbc is 30.000 for every instance: it tells no instance from "
                           "another"}
            << 3.0;
        const QByteArray twoRules = "instance_1.txt,week,optimal,40,40,0.000000,1.250,\r\n"
                                    "instance_2.txt,week,optimal,41,41,0.000000,0.250,\r\n"
                                    "instance_1.txt,none,infeasible,,,,0.500,\r\n"
                                    "instance_3.txt,none,optimal,40,40,0.000000,0.750,\r\n";
        QTest::newRow("several rule sets, none chosen")
            << twoRules << QByteArray() << QByteArray() << QByteArray() << QByteArrayList() << none
            << 2 << QByteArray() << none
            << QStringList{"holds solutions or scores under several rule sets (none, week); "
                           "choose one with --rules"}
            << 0.0;
        QTest::newRow("one of several rule sets")
            << twoRules << QByteArray() << QByteArray() << QByteArray() << QByteArrayList()
            << QStringList{"--rules", "none"} << 0 << QByteArray("algo_cbc")
            << QStringList{"1 algo_cbc 0.500",    "2 algo_cbc 7.500",     "3 algo_cbc 0.750",
                           "4 algo_cbc 7.500",    "1 feature_feasible 0", "2 feature_feasible 0.5",
                           "3 feature_feasible 1"}
            << QStringList{"and 2 instances without a row count 7.500"} << 0.75;
        QTest::newRow("rules not there")
            << twoRules << QByteArray() << QByteArray() << QByteArray() << QByteArrayList()
            << QStringList{"--rules", "rotation"} << 2 << QByteArray() << none
            << QStringList{"--rules rotation: ", "has no solutions or scores under that label "
                                                 "(it has: none, week)"}
            << 0.0;
        QTest::newRow("nothing solved")
            << QByteArray() << QByteArray() << QByteArray() << QByteArray() << QByteArrayList()
            << none << 2 << QByteArray() << none << QStringList{"no algorithm to compare"} << 0.0;
        QTest::newRow("solvers and scored algorithms")
            << QByteArray("instance_1.txt,week,optimal,100,100,0.000000,1.000,\r\n"
                          "instance_2.txt,week,optimal,100,100,0.000000,3.000,\r\n"
                          "instance_4.txt,week,unknown,,90,,6.000,\r\n")
            << QByteArray("instance_1.txt,week,optimal,100,100,0.000000,2.000,\r\n"
                          "instance_2.txt,week,infeasible,,,,0.100,\r\n")
            << QByteArray("instance_1.txt,week,tabu,yes,102,100,0.020000,1.0,0\r\n"
                          "instance_2.txt,week,tabu,no,130,100,,1.0,2\r\n"
                          "instance_3.txt,week,tabu,yes,110,,,,0\r\n"
                          "instance_4.txt,week,tabu,missing,,,,,\r\n"
                          "instance_3.txt,week,vns,yes,100,,,,0\r\n"
                          "instance_1.txt,week,vns,refused,,100,,,\r\n")
            << QByteArray() << QByteArrayList() << none << 0
            << QByteArray("algo_cbc,algo_gecode,algo_tabu,algo_vns")
            << QStringList{"1 algo_cbc 1.000",      "3 algo_cbc 60.000",     "4 algo_cbc 60.000",
                           "1 algo_gecode 2.000",   "2 algo_gecode 0.100",   "3 algo_gecode 20.000",
                           "1 algo_tabu 0.020000",  "2 algo_tabu 10.000000", "3 algo_tabu 0.100000",
                           "4 algo_tabu 10.000000", "1 algo_vns 10.000000",  "2 algo_vns 10.000000",
                           "3 algo_vns 0.000000",   "1 feature_feasible 1",  "3 feature_feasible 1",
                           "4 feature_feasible 0.5"}
            << QStringList{"rules week: algo_cbc (seconds), algo_gecode (seconds), algo_tabu "
                           "(gap), algo_vns (gap)",
                           "algo_tabu: 2 rosters not feasible and 0 instances without a row "
                           "count 10.000000",
                           "the seconds of algo_cbc, algo_gecode are another measure",
                           "has a roster that keeps the rules and a proof that none does"}
            << 0.05;
        QTest::newRow("names with spaces and dots")
            << QByteArray("instance_1.txt,my rules,optimal,40,40,0.000000,1.250,\r\n")
            << QByteArray()
            << QByteArray("instance_1.txt,my rules,my.algo,yes,41,40,0.025000,,0\r\n"
                          "instance_2.txt,my rules,my.algo,no,41,40,,,1\r\n")
            << QByteArray() << QByteArrayList() << none << 0 << QByteArray("algo_cbc,algo_my_algo")
            << QStringList{"1 algo_my_algo 0.025000", "2 algo_my_algo 10.000000"}
            << QStringList{"rules my rules: algo_cbc", "feature_demandPerCapacity_my_rules"}
            << 0.05;
        QTest::newRow("two names, one column")
            << QByteArray() << QByteArray()
            << QByteArray("instance_1.txt,week,my.algo,yes,41,40,0.025000,,0\r\n"
                          "instance_1.txt,week,my-algo,yes,41,40,0.025000,,0\r\n")
            << QByteArray() << QByteArrayList() << none << 2 << QByteArray() << none
            << QStringList{"the algorithms my-algo and my.algo would both be the column "
                           "algo_my_algo"}
            << 0.0;
        QTest::newRow("planted under the rules")
            << QByteArray("instance_1.txt,week,unknown,,38,,4.000,\r\n"
                          "instance_2.txt,week,infeasible,,,,1.000,\r\n"
                          "instance_3.txt,week,unknown,,38,,4.000,\r\n")
            << QByteArray() << QByteArray() << QByteArray()
            << QByteArrayList{"week,0.1,120", "week,0,", "week,0.2,", "week,0.1,"} << none << 0
            << QByteArray("algo_cbc")
            << QStringList{"1 feature_feasible 1", "2 feature_feasible 0", "3 feature_feasible 0.5",
                           "1 feature_slack 0.1", "2 feature_slack 0"}
            << QStringList{"algo_cbc: 2 runs"} << 4.0;
        QTest::newRow("planted under other rules")
            << QByteArray("instance_1.txt,week,optimal,38,38,0.000000,2.000,\r\n") << QByteArray()
            << QByteArray() << QByteArray()
            << QByteArrayList{"week,0.1,120", "fourweeks,0,130", "fourweeks,0.2,", "week,0.1,"}
            << none << 0 << QByteArray("algo_cbc")
            << QStringList{"1 feature_feasible 1", "2 feature_feasible 0.5",
                           "2 feature_demandPerCapacity *"}
            << QStringList{"algo_cbc: 0 runs without a proven verdict and 3 instances"} << 2.0;
    }
    void metadata()
    {
        QFETCH(QByteArray, solutions);
        QFETCH(QByteArray, gecode);
        QFETCH(QByteArray, scores);
        QFETCH(QByteArray, shard);
        QFETCH(QByteArrayList, planted);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QByteArray, algos);
        QFETCH(QStringList, cells);
        QFETCH(QStringList, said);
        QFETCH(double, epsilon);
        QTemporaryDir dir;
        BatchInput input = batch(4, 7, 3, dir.path());
        input.files = 4;
        QVERIFY(runBatch(input, dir.path()).allWritten());
        const QString manifestPath = dir.filePath(QStringLiteral("manifest.csv"));
        QList<QByteArray> manifest = readAll(manifestPath).split('\n');
        if (!planted.isEmpty()) {
            manifest[0] = manifestHeader(true) + '\r';
            for (int k = 1; k <= 4; ++k)
                manifest[k] = manifest.at(k).trimmed() + ',' + planted.at(k - 1) + '\r';
            QVERIFY(QFile::remove(manifestPath));
            QVERIFY(writeFile(manifestPath, manifest.join('\n')));
        }
        const auto put = [&](const char *name, const QByteArray &header, const QByteArray &rows) {
            return rows.isEmpty() || writeFile(dir.filePath(QLatin1String(name)), header + rows);
        };
        const QByteArray ledger = "file,rules,status,cost,bound,gap,seconds,roster\r\n";
        QVERIFY(put("solutions.csv", ledger, solutions));
        QVERIFY(put("solutions.gecode.csv", ledger, gecode));
        QVERIFY(put("scores.csv",
                    "file,rules,algorithm,feasible,cost,reference,gap,seconds,violations\r\n",
                    scores));
        QVERIFY(put("solutions.shard-1-of-2.csv",
                    ledger.chopped(2) + ",rulesDigest,timeLimit,shard,setSize\r\n", shard));
        QVERIFY(put("my rules.dzn", "", "maxWorkingShifts = 5;\n"));
        // What is there is kept: the new files take the next names.
        QVERIFY(writeFile(dir.filePath(QStringLiteral("metadata.csv")), "mine"));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("options.json")), "mine"));
        QProcess run;
        run.start(generatorPath(), QStringList{"--metadata", dir.path()} + args);
        QVERIFY(run.waitForFinished(120000));
        const QByteArray printed = run.readAllStandardOutput() + run.readAllStandardError();
        QVERIFY2(run.exitCode() == status, printed.constData());
        for (const QString &words : said)
            QVERIFY2(printed.contains(words.toUtf8()), printed.constData());
        QCOMPARE(readAll(dir.filePath(QStringLiteral("metadata.csv"))), QByteArray("mine"));
        QCOMPARE(readAll(dir.filePath(QStringLiteral("options.json"))), QByteArray("mine"));
        if (status == 2) {
            QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("metadata-2.csv"))));
            QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("options-2.json"))));
            return;
        }
        const QList<QByteArray> lines =
            readAll(dir.filePath(QStringLiteral("metadata-2.csv"))).split('\n');
        QCOMPARE(lines.size(), 6);
        QVERIFY(lines.last().isEmpty());
        const QList<QByteArray> header = lines.at(0).trimmed().split(',');
        QCOMPARE(header.mid(0, 2), (QList<QByteArray>{"Instances", "Source"}));
        const QList<QByteArray> algoColumns = algos.split(',');
        QCOMPARE(header.mid(header.size() - algoColumns.size()), algoColumns);
        QList<QList<QByteArray>> rows;
        for (int k = 1; k <= 4; ++k) {
            rows.append(lines.at(k).trimmed().split(','));
            QCOMPARE(rows.last().size(), header.size());
            QCOMPARE(rows.last().at(0), "instance_" + QByteArray::number(k) + ".txt");
            QVERIFY2(!rows.last().contains(QByteArray()), lines.at(k).constData());
        }
        const QList<QByteArray> listed = manifest.at(0).trimmed().split(',');
        for (qsizetype c = 2; c < header.size() - algoColumns.size(); ++c) {
            const QByteArray &name = header.at(c);
            QVERIFY(name.startsWith("feature_"));
            QSet<double> values;
            for (const auto &row : rows)
                values.insert(row.at(c).toDouble());
            QVERIFY2(values.size() > 1, name.constData()); // no feature is constant
            // The manifest's own values, and demand against what week allows
            // (at most 5 working shifts of 7 days).
            const qsizetype at = listed.indexOf(name.mid(8));
            for (int k = 1; k <= 4 && at >= 0; ++k)
                QCOMPARE(rows.at(k - 1).at(c), manifest.at(k).trimmed().split(',').at(at));
            for (int k = 1; k <= 4 && name.startsWith("feature_demandPerCapacity"); ++k) {
                const Instance in =
                    *readInstanceFile(dir.filePath(QStringLiteral("instance_%1.txt").arg(k)))
                         .instance;
                const double demand = std::accumulate(in.coverage.begin(), in.coverage.end(), 0.0);
                const QByteArray rules = name == "feature_demandPerCapacity"
                                             ? planted.at(k - 1).split(',').at(0)
                                             : name.mid(26);
                if (rules == "week")
                    QCOMPARE(rows.at(k - 1).at(c).toDouble(), std::round(demand / 20 * 1e6) / 1e6);
            }
        }
        for (const QString &cell : cells) {
            const QStringList parts = cell.split(u' ');
            const qsizetype column = header.indexOf(parts.at(1).toUtf8());
            QVERIFY2(column >= 0, qPrintable(cell));
            if (parts.at(2) != u'*') // "*": any value
                QCOMPARE(QString::fromUtf8(rows.at(parts.at(0).toInt() - 1).at(column)),
                         parts.at(2));
        }
        // options.json: every field MATILDA's buildIS and pyInstanceSpace
        // read, none that pyInstanceSpace refuses; lower is better.
        QJsonParseError error;
        const QJsonObject options =
            QJsonDocument::fromJson(readAll(dir.filePath(QStringLiteral("options-2.json"))), &error)
                .object();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        const QHash<QString, QStringList> fields = {
            {"parallel", {"flag", "ncores"}},
            {"perf", {"MaxPerf", "AbsPerf", "epsilon", "betaThreshold"}},
            {"auto", {"preproc"}},
            {"bound", {"flag"}},
            {"norm", {"flag"}},
            {"selvars",
             {"smallscaleflag", "smallscale", "fileidxflag", "fileidx", "densityflag",
              "mindistance", "type", "algos"}},
            {"sifted", {"flag", "rho", "K", "NTREES", "MaxIter", "Replicates"}},
            {"pilot", {"analytic", "ntries"}},
            {"cloister", {"pval", "cthres"}},
            {"pythia", {"cvfolds", "ispolykrnl", "useweights", "uselibsvm"}},
            {"trace", {"usesim", "PI"}},
            {"outputs", {"csv", "web", "png"}}};
        QCOMPARE(options.size(), fields.size());
        for (auto group = fields.begin(); group != fields.end(); ++group) {
            const QJsonObject part = options.value(group.key()).toObject();
            QVERIFY2(!part.isEmpty(), qPrintable(group.key()));
            for (const QString &key : part.keys())
                QVERIFY2(group->contains(key), qPrintable(group.key() + '.' + key));
            for (const QString &key : *group)
                QVERIFY2(part.contains(key) || key == QLatin1String("algos"), qPrintable(key));
        }
        const QJsonObject perf = options.value("perf").toObject();
        QCOMPARE(perf.value("MaxPerf").toBool(true), false);
        QCOMPARE(perf.value("AbsPerf").toBool(false), true);
        QCOMPARE(perf.value("epsilon").toDouble(), epsilon);
        // Seconds and gaps together: the gaps are analysed.
        const QJsonArray chosen = options.value("selvars").toObject().value("algos").toArray();
        QStringList gaps;
        for (const QByteArray &column : algoColumns)
            if (!column.startsWith("algo_cbc") && !column.startsWith("algo_gecode"))
                gaps << QString::fromUtf8(column);
        QCOMPARE(chosen.toVariantList().size(), gaps.size() < algoColumns.size() ? gaps.size() : 0);
        for (const QJsonValue &column : chosen)
            QVERIFY(gaps.contains(column.toString()));
    }

    // Bad input is refused before anything is written.
    void refused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("batch, rules file missing")
            << QStringList{"--format", "ssb", "INPUT", "--rules", "DIR/missing.dzn"}
            << "missing.dzn: no such file; nothing written";
        QTest::newRow("batch, rules file malformed")
            << QStringList{"--format", "ssb", "INPUT", "--rules", "DIR/bad.dzn"}
            << "bad.dzn: line 2: ";
        QTest::newRow("design, unknown rule set")
            << QStringList{"--format", "dzn",     "--design", "DESIGN",
                           "--out",    "DIR/out", "--rules",  "weekly"}
            << "weekly: no such rule set";
        QTest::newRow("convert, rules file missing")
            << QStringList{"--format",  "ssb",
                           "--convert", "DIR/set/instance_1.txt",
                           "--rules",   "DIR/missing.dzn"}
            << "missing.dzn: no such file; nothing written";
        QTest::newRow("metadata, no manifest")
            << QStringList{"--metadata", "DIR/set"} << "set: no manifest (manifest.csv)";
    }
    void refused()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, mentions);
        QTemporaryDir dir;
        const QString set = dir.filePath(QStringLiteral("set"));
        QVERIFY(runBatch(batch(4, 7, 3, set), dir.path()).allWritten());
        QVERIFY(QFile::remove(QDir(set).filePath(QStringLiteral("manifest.csv"))));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("input.txt")),
                          QByteArray(InputData).replace("OUT", dir.filePath("out").toUtf8())));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("design.txt")), DesignText));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("bad.dzn")), "% rest\nmax = ;\n"));
        const QStringList before = filesIn(dir.path());
        args.replaceInStrings(QStringLiteral("INPUT"), dir.filePath(QStringLiteral("input.txt")));
        args.replaceInStrings(QStringLiteral("DESIGN"), dir.filePath(QStringLiteral("design.txt")));
        args.replaceInStrings(QStringLiteral("DIR"), dir.path());
        const auto [status, err] = runGenerator(args);
        QCOMPARE(status, 2);
        QVERIFY2(err.contains(mentions.toUtf8()), err.constData());
        QCOMPARE(filesIn(dir.path()), before);
    }

    void mostWorkingShifts_data()
    {
        QTest::addColumn<QByteArray>("rules");
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("shifts");
        QTest::addColumn<int>("most");
        QTest::newRow("none") << QByteArray() << 7 << 3 << 7;
        QTest::newRow("at most 5") << QByteArray("maxWorkingShifts = 5;") << 7 << 3 << 5;
        QTest::newRow("rotation, four weeks")
            << QByteArray("maxConsecutiveWorkingDays = 5; minConsecutiveFreeDays = 2;") << 28 << 3
            << 20;
        QTest::newRow("2 on, 3 off") << QByteArray("maxConsecutiveWorkingDays = 2; "
                                                   "minConsecutiveFreeDays = 3;")
                                     << 7 << 2 << 4;
        QTest::newRow("no shift twice in a row")
            << QByteArray("forbiddenSuccessions = {0};") << 7 << 1 << 4;
        QTest::newRow("alternating shifts")
            << QByteArray("forbiddenSuccessions = {0, 101};") << 7 << 2 << 7;
        QTest::newRow("a walk of two")
            << QByteArray("forbiddenSuccessions = {0, 100, 101};") << 7 << 2 << 5;
    }
    void mostWorkingShifts()
    {
        QFETCH(QByteArray, rules);
        QFETCH(int, days);
        QFETCH(int, shifts);
        QFETCH(int, most);
        QCOMPARE(keldar::generator::mostWorkingShifts(*parseRules(rules).rules, days, shifts),
                 most);
    }
};

QTEST_GUILESS_MAIN(TestToolFormats)
#include "tst_toolformats.moc"

#include "generator/files/exportformats.h"
#include "generator/files/instancefile.h"
#include "generator/instance/generate.h"
#include "generator/run/batch.h"
#include "generator/solve/lowerbound.h"
#include "generator/solve/roster.h"
#include "tests/support/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace keldar::generator;

Q_DECLARE_METATYPE(ViolationKind)

namespace {

using keldar::test::generatorPath;
using keldar::test::readAll;
using keldar::test::writeFile;

using Kinds = QList<ViolationKind>;

BatchInput batch(int nurses, int days, int shifts, bool freeCounted, const QString &folder = {})
{
    BatchInput in;
    in.nurses = nurses;
    in.days = days;
    in.shifts = shifts;
    in.freeCounted = freeCounted;
    in.targets = {0.4, 0.6, 0.3, 0.5, 0.3, 0.2};
    in.files = 2;
    in.firstFile = 1;
    in.seed = 7;
    in.folder = folder;
    return in;
}

// The numbers of nested JSON arrays, each level of the given length.
void flatten(const QJsonValue &value, QList<int> lengths, QList<int> &numbers)
{
    if (lengths.isEmpty()) {
        numbers << value.toInt();
        return;
    }
    const QJsonArray array = value.toArray();
    QCOMPARE(array.size(), lengths.takeFirst());
    for (const QJsonValue &item : array)
        flatten(item, lengths, numbers);
}

// Every day's cheapest covered assignment, by trying them all.
std::int64_t bruteForceOptimum(const Instance &in)
{
    std::int64_t total = 0;
    for (int d = 0; d < in.days; ++d) {
        std::vector<int> pick(in.nurses, 0);
        std::int64_t best = -1;
        for (;;) {
            std::vector<int> staffed(in.workingShifts + 1, 0);
            std::int64_t cost = 0;
            for (int n = 0; n < in.nurses; ++n) {
                ++staffed[pick[n]];
                cost += in.cost(n, d, pick[n]);
            }
            bool covered = true;
            for (int w = 0; w < in.workingShifts; ++w)
                covered = covered && staffed[w] >= in.cover(d, w);
            if (covered && (best < 0 || cost < best))
                best = cost;
            int n = 0;
            while (n < in.nurses && ++pick[n] > in.workingShifts)
                pick[n++] = 0;
            if (n == in.nurses)
                break;
        }
        total += best;
    }
    return total;
}

// The numbers of one MiniZinc data item, read as a solver would see them.
QList<int> dznNumbers(const QByteArray &dzn, const char *name)
{
    QByteArray text;
    for (const QByteArray &line : dzn.split('\n'))
        text += line.left(line.indexOf('%') < 0 ? line.size() : line.indexOf('%')) + ' ';
    const QRegularExpression item(QStringLiteral("(?:^|;)\\s*%1\\s*=([^;]*);").arg(name));
    const QString value = item.match(QString::fromUtf8(text)).captured(1);
    QList<int> numbers;
    auto all = QRegularExpression(QStringLiteral("\\b\\d+\\b|true|false")).globalMatch(value);
    while (all.hasNext()) {
        const QString token = all.next().captured();
        numbers << (token == QLatin1String("true") ? 1 : token.toInt());
    }
    return numbers;
}

// 2 nurses, 4 days, 2 working shifts; every cost 1 but shift 1 costs 2.
Instance ruleInstance()
{
    Instance in = Instance::blank(2, 4, 2, false);
    for (int n = 0; n < 2; ++n)
        for (int d = 0; d < 4; ++d)
            in.costs[in.costIndex(n, d, 1)] = 2;
    in.coverage = {1, 0, 1, 0, 1, 0, 1, 0};
    return in;
}

// The program's exit status and its error output.
struct Ran {
    int status = -1;
    QByteArray err;
};

Ran runGenerator(const QStringList &args,
                 const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(generatorPath(), args);
    Ran ran;
    if (program.waitForFinished(120000) && program.exitStatus() == QProcess::NormalExit)
        ran.status = program.exitCode();
    ran.err = program.readAllStandardError();
    return ran;
}

// The rows of the folder's solutions CSV for the rules, by file.
QMap<QString, QList<QByteArray>> solutionRows(const QString &folder,
                                              const QString &name = QStringLiteral("solutions.csv"))
{
    QMap<QString, QList<QByteArray>> rows;
    const QList<QByteArray> lines = readAll(QDir(folder).filePath(name)).split('\n');
    for (qsizetype n = 1; n < lines.size(); ++n)
        if (!lines.at(n).trimmed().isEmpty()) {
            const QList<QByteArray> fields = lines.at(n).trimmed().split(',');
            rows[QString::fromUtf8(fields.at(0)) + u'/' + QString::fromUtf8(fields.at(1))].append(
                lines.at(n).trimmed());
        }
    return rows;
}

bool haveMiniZinc()
{
    return !QStandardPaths::findExecutable(QStringLiteral("minizinc")).isEmpty();
}

// A folder of instances to solve over a week.
QString instancesIn(const QTemporaryDir &dir, int files, int nurses = 6)
{
    const QString folder = dir.filePath(QStringLiteral("set"));
    BatchInput in = batch(nurses, 7, 4, false, folder);
    in.files = files;
    in.targets = {0.5, 0.5, 0.5, 0.35, 0.5, 0.5};
    runBatch(in, dir.path());
    return folder;
}

// This process's start in clock ticks after boot, as claims record it.
QByteArray startTicks()
{
    const QByteArray stat = readAll(QStringLiteral("/proc/self/stat"));
    return stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(19);
}

// The set copied onto a fresh 1 MB tmpfs, filled up or made read-only
// after; its path there, or none where mounting is not allowed.
QString smallDisk(const QTemporaryDir &dir, const QString &set, bool fill)
{
    const QString mount = dir.filePath(QStringLiteral("disk"));
    QDir().mkpath(mount);
    if (::geteuid() != 0 ||
        QProcess::execute(QStringLiteral("mount"),
                          {"-t", "tmpfs", "-o", "size=1m", "tmpfs", mount}) != 0)
        return {};
    const QString copy = QDir(mount).filePath(QStringLiteral("set"));
    QDir().mkpath(copy);
    for (const QString &name : QDir(set).entryList(QDir::Files))
        QFile::copy(QDir(set).filePath(name), QDir(copy).filePath(name));
    if (fill) {
        QFile filler(QDir(mount).filePath(QStringLiteral("filler")));
        if (filler.open(QIODevice::WriteOnly)) {
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
        }
    } else {
        QProcess::execute(QStringLiteral("mount"), {"-o", "remount,ro", mount});
    }
    return copy;
}

} // namespace

class TestSolverFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The flow's optimum is every day's cheapest covered assignment, and the
    // roster it comes with covers every shift at that cost.
    void bound_data()
    {
        QTest::addColumn<int>("nurses");
        QTest::addColumn<int>("shifts");
        QTest::addColumn<bool>("freeCounted");
        QTest::newRow("1 working shift") << 5 << 1 << false;
        QTest::newRow("2 working shifts, free counted") << 4 << 3 << true;
        QTest::newRow("3 working shifts") << 5 << 3 << false;
        QTest::newRow("4 working shifts") << 4 << 4 << false;
    }
    void bound()
    {
        QFETCH(int, nurses);
        QFETCH(int, shifts);
        QFETCH(bool, freeCounted);
        for (std::uint64_t seed = 1; seed <= 4; ++seed) {
            const Instance in = generate(batch(nurses, 5, shifts, freeCounted), seed);
            const LowerBound bound = keldar::generator::lowerBound(in);
            QVERIFY(bound.cost);
            QCOMPARE(*bound.cost, bruteForceOptimum(in));
            const RosterCheck check = keldar::generator::checkRoster(in, bound.roster);
            QVERIFY(check.feasible());
            QCOMPARE(check.cost, *bound.cost);
        }
    }

    void bound_uncoverableDay()
    {
        Instance in = Instance::blank(2, 3, 2, false);
        in.cover(2, 0) = 2;
        in.cover(2, 1) = 1;
        const LowerBound bound = keldar::generator::lowerBound(in);
        QVERIFY(!bound.cost);
        QCOMPARE(bound.infeasibleDay, 3);
        QVERIFY(bound.text().contains(QStringLiteral("day 3")));
    }

    // What a solver reads from the .dzn and the .json is the text file's
    // instance, with its measures and its bound.
    void exports_holdTheTextFilesNumbers()
    {
        QTemporaryDir dir;
        const BatchReport report = runBatch(batch(6, 7, 4, true, dir.path()), dir.path(), nullptr,
                                            RunOptions{1, nullptr, JsonFormat | DznFormat, {}});
        QCOMPARE(report.written, 2);
        const QString log = QString::fromUtf8(readAll(dir.filePath(QStringLiteral("output.log"))));
        for (int k : {1, 2}) {
            const QString base = dir.filePath(QStringLiteral("instance_%1.").arg(k));
            const Instance in = *parseInstance(readAll(base + QStringLiteral("txt"))).instance;
            const std::int64_t bound = *keldar::generator::lowerBound(in).cost;
            QVERIFY(log.contains(QStringLiteral("instance_%1.txt seed").arg(k)) &&
                    log.contains(QStringLiteral(" lowerBound %1 largest").arg(bound)));
            QList<int> coverage(in.coverage.begin(), in.coverage.end());
            QList<int> costs(in.costs.begin(), in.costs.end());

            const QByteArray dzn = readAll(base + QStringLiteral("dzn"));
            QJsonParseError error{};
            const QJsonObject json =
                QJsonDocument::fromJson(readAll(base + QStringLiteral("json")), &error).object();
            QCOMPARE(error.error, QJsonParseError::NoError);
            const std::pair<const char *, int> sizes[] = {
                {"nurses", in.nurses}, {"days", in.days}, {"workingShifts", in.workingShifts}};
            for (const auto &[name, value] : sizes) {
                QCOMPARE(dznNumbers(dzn, name), QList<int>{value});
                QCOMPARE(json[QLatin1String(name)].toInt(), value);
            }
            QCOMPARE(dznNumbers(dzn, "freeShiftCounted"), QList<int>{1});
            QCOMPARE(dznNumbers(dzn, "coverage"), coverage);
            QCOMPARE(dznNumbers(dzn, "cost"),
                     QList<int>({1, in.nurses, 1, in.days, 1, in.shiftTypes()}) + costs);
            QCOMPARE(json[QLatin1String("freeShiftCounted")].toBool(), true);
            QCOMPARE(json[QLatin1String("lowerBound")].toInteger(), bound);
            QList<int> jsonCoverage;
            QList<int> jsonCosts;
            flatten(json[QLatin1String("coverage")], {in.days, in.workingShifts}, jsonCoverage);
            flatten(json[QLatin1String("cost")], {in.nurses, in.days, in.shiftTypes()}, jsonCosts);
            QCOMPARE(jsonCoverage, coverage);
            QCOMPARE(jsonCosts, costs);
            const Indicators measured = measure(in);
            const QJsonObject indicators = json[QLatin1String("indicators")].toObject();
            for (int i = 0; i < IndicatorCount; ++i)
                QCOMPARE(indicators[QLatin1String(IndicatorNames[i])].toDouble(),
                         std::round(measured[std::size_t(i)] * 1e6) / 1e6);
            // A file name with a line end stays inside the dzn's comment.
            const InstanceFacts named{measured, bound, QStringLiteral("a\nb.txt")};
            QVERIFY(instanceDzn(in, named).startsWith("% keldar-generate " KELDAR_VERSION
                                                      ", from a\\nb.txt\n"));
        }
    }

    // An instance whose .dzn is already there is left whole, not half made.
    void batch_existingExport_skipsInstance()
    {
        QTemporaryDir dir;
        const QString kept = dir.filePath(QStringLiteral("instance_2.dzn"));
        QVERIFY(writeFile(kept, {}));
        const BatchReport report = runBatch(batch(4, 7, 3, false, dir.path()), dir.path(), nullptr,
                                            RunOptions{1, nullptr, TextFormat | DznFormat, {}});
        QCOMPARE(report.written, 1);
        QCOMPARE(report.skipped, 1);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("instance_2.txt"))));
        QCOMPARE(readAll(kept), QByteArray());
        QVERIFY(readAll(dir.filePath(QStringLiteral("output.log")))
                    .contains("instance_2.txt skipped: instance_2.dzn already exists"));
    }

    void convert_writesBesideAndNeverReplaces()
    {
        QTemporaryDir dir;
        QVERIFY(runBatch(batch(4, 7, 3, false, dir.path()), dir.path()).allWritten());
        const QString text = dir.filePath(QStringLiteral("instance_1.txt"));
        QProcess program;
        program.start(generatorPath(), {QStringLiteral("--convert"), text});
        QVERIFY(program.waitForFinished());
        QCOMPARE(program.exitCode(), 0);
        const QByteArray json = readAll(dir.filePath(QStringLiteral("instance_1.json")));
        const QByteArray dzn = readAll(dir.filePath(QStringLiteral("instance_1.dzn")));
        QVERIFY(QJsonDocument::fromJson(json).isObject());
        QCOMPARE(dznNumbers(dzn, "nurses"), QList<int>{4});

        // Again, json only: the existing file is kept and the exit says so.
        QFile::remove(dir.filePath(QStringLiteral("instance_1.dzn")));
        const QString stale = dir.filePath(QStringLiteral("instance_1.json"));
        QVERIFY(writeFile(stale, "mine"));
        program.start(generatorPath(), {QStringLiteral("--format"), QStringLiteral("json"),
                                        QStringLiteral("--convert"), text});
        QVERIFY(program.waitForFinished());
        QCOMPARE(program.exitCode(), 1);
        QCOMPARE(readAll(stale), QByteArray("mine"));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("instance_1.dzn"))));
    }

    void formats_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QStringList>("extras");
        QTest::newRow("txt") << "txt" << true << QStringList();
        QTest::newRow("all, any order")
            << "json,txt,dzn" << true << QStringList{QStringLiteral("dzn"), QStringLiteral("json")};
        QTest::newRow("ssb, named after its rules")
            << "ssb,dzn" << true
            << QStringList{QStringLiteral("dzn"), QStringLiteral("none.ssb.txt")};
        QTest::newRow("unknown") << "txt,csv" << false << QStringList();
        QTest::newRow("empty item") << "dzn," << false << QStringList();
    }
    void formats()
    {
        QFETCH(QString, list);
        QFETCH(bool, valid);
        QFETCH(QStringList, extras);
        const auto formats = parseFormats(list);
        QCOMPARE(bool(formats), valid);
        if (formats)
            QCOMPARE(extraSuffixes(*formats), extras);
    }

    // One roster per kind of violation, each breaking that rule alone.
    void violations_data()
    {
        QTest::addColumn<QString>("roster");
        QTest::addColumn<QString>("rules");
        QTest::addColumn<int>("cost");
        QTest::addColumn<Kinds>("kinds");
        using K = ViolationKind;
        const char *const all = "minWorkingShifts = 1; maxWorkingShifts = 3;\n"
                                "maxConsecutiveWorkingDays = 2; minConsecutiveFreeDays = 2;\n"
                                "forbiddenSuccessions = {100};\n";
        QTest::newRow("feasible") << "0 0 2 2\n% comment\n2 2 0 0\n" << all << 8 << Kinds{};
        QTest::newRow("coverage") << "0 0 2 2\n2 2 1 2\n"
                                  << all << 9 << Kinds{K::Coverage, K::Coverage};
        QTest::newRow("minimum working shifts")
            << "0 0 0 0\n2 2 2 2\n"
            << "minWorkingShifts = 1;" << 8 << Kinds{K::MinWorkingShifts};
        QTest::newRow("maximum working shifts")
            << "0 0 0 0\n2 2 2 2\n"
            << "maxWorkingShifts = 3;" << 8 << Kinds{K::MaxWorkingShifts};
        QTest::newRow("consecutive working days")
            << "0 0 0 2\n2 2 2 0\n"
            << "maxConsecutiveWorkingDays = 2" << 8 << Kinds{K::ConsecutiveWorkingDays};
        // Free periods at either end of the horizon are not judged.
        QTest::newRow("consecutive free days")
            << "0 2 0 0\n2 0 2 2\n"
            << "minConsecutiveFreeDays = 2;" << 8 << Kinds{K::ConsecutiveFreeDays};
        QTest::newRow("forbidden succession")
            << "0 2 0 2\n1 0 2 0\n"
            << "forbiddenSuccessions = {100, 205};" << 9 << Kinds{K::ForbiddenSuccession};
        // Editors may begin a file with a byte order mark.
        QTest::newRow("byte order marks") << "\uFEFF0 0 2 2\n2 2 0 0\n"
                                          << QStringLiteral("\uFEFF") + all << 8 << Kinds{};
    }
    void violations()
    {
        QFETCH(QString, roster);
        QFETCH(QString, rules);
        QFETCH(int, cost);
        QFETCH(Kinds, kinds);
        const Instance in = ruleInstance();
        const ParsedRoster parsed = parseRoster(roster.toUtf8(), in);
        QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
        const ParsedRules parsedRules = parseRules(rules.toUtf8());
        QVERIFY2(parsedRules.rules, qPrintable(parsedRules.error));
        const RosterCheck check =
            keldar::generator::checkRoster(in, parsed.roster, *parsedRules.rules);
        QCOMPARE(check.cost, cost);
        Kinds found;
        for (const Violation &v : check.violations)
            found << v.kind;
        QCOMPARE(found, kinds);
    }

    void malformed_data()
    {
        QTest::addColumn<bool>("isRoster");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("the solver found none")
            << true << QByteArray("% comment\n=====UNKNOWN=====\n")
            << "line 2: no roster in the file: the solver says =====UNKNOWN===== (none found in "
               "the time it had)";
        QTest::newRow("the solver found none, as the manual has it say")
            << true << QByteArray("% unknown\n")
            << "line 1: no roster in the file: the solver says % unknown (none found in the time "
               "it had)";
        QTest::newRow("short line") << true << QByteArray("0 0 2 2\n\n2 1 1\n")
                                    << "line 3: expected 4 shift numbers, found 3";
        QTest::newRow("shift out of range") << true << QByteArray("0 0 2 3\n2 1 1 0\n")
                                            << "line 1: \"3\" is not a shift number from 0 to 2";
        QTest::newRow("not a number") << true << QByteArray("0 0 2 2\n2 1 x 0\n")
                                      << "line 2: \"x\" is not a shift number from 0 to 2";
        QTest::newRow("extra nurse")
            << true << QByteArray("0 0 2 2\n2 1 1 0\n0 0 0 0\n") << "line 3: more than 2 nurses";
        QTest::newRow("missing nurse")
            << true << QByteArray("0 0 2 2\n") << "line 2: 1 nurses, expected 2";
        QTest::newRow("unknown rule")
            << false << QByteArray("% rest\n\nmaxNights = 2;") << "line 3: unknown rule maxNights";
        QTest::newRow("negative rule") << false << QByteArray("minWorkingShifts = -1;")
                                       << "line 1: expected a whole number of 0 or more";
        QTest::newRow("NUL ending a roster line early")
            << true << QByteArray("0 0 2 2\n2 2 0 0\0 x\n", 19) << "line 2: holds a NUL character";
        QTest::newRow("NUL in rules") << false << QByteArray("minWorkingShifts = 1;\n\0", 23)
                                      << "line 2: holds a NUL character";
        QTest::newRow("succession out of range")
            << false << QByteArray("forbiddenSuccessions = {1,\n 10000};")
            << "line 2: expected a * 100 + b for shifts a and b from 0 to 99";
    }
    void malformed()
    {
        QFETCH(bool, isRoster);
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        QCOMPARE(isRoster ? parseRoster(text, ruleInstance()).error : parseRules(text).error,
                 error);
    }

    // The exit status tells a script whether the roster is feasible.
    void checkRosterCommand()
    {
        QTemporaryDir dir;
        QVERIFY(runBatch(batch(4, 7, 3, false, dir.path()), dir.path()).allWritten());
        const QString instance = dir.filePath(QStringLiteral("instance_1.txt"));
        const Instance in = *parseInstance(readAll(instance)).instance;
        QByteArray good;
        const LowerBound bound = keldar::generator::lowerBound(in);
        for (int n = 0; n < in.nurses; ++n) {
            for (int d = 0; d < in.days; ++d)
                good += QByteArray::number(bound.roster[std::size_t(n * in.days + d)]) + ' ';
            good += '\n';
        }
        const struct {
            QByteArray roster;
            int status;
            QByteArray output;
        } cases[] = {{good, 0, "cost " + QByteArray::number(*bound.cost) + "\nfeasible\n"},
                     {QByteArray("3 3 3 3 3 3 3\n").repeated(4), 1, "infeasible: "},
                     {"0 0\n", 2, ""}};
        for (const auto &c : cases) {
            const QString path = dir.filePath(QStringLiteral("roster.txt"));
            QVERIFY(writeFile(path, c.roster));
            QProcess program;
            program.start(generatorPath(), {QStringLiteral("--check-roster"), instance, path});
            QVERIFY(program.waitForFinished());
            QCOMPARE(program.exitCode(), c.status);
            const QByteArray output = program.readAllStandardOutput();
            QVERIFY2(c.status == 0 ? output == c.output : output.contains(c.output),
                     output.constData());
            if (c.status == 2)
                QVERIFY(program.readAllStandardError().contains("roster.txt: line 1: "));
        }
    }

    // Every roster written passes the check under the same rules and costs
    // what its row says; a rerun adds nothing; shards merged give the
    // unsplit rows, apart from the seconds, and merged again write no copy.
    void solve_rowsRostersShardsAgree()
    {
        QTemporaryDir dir;
        const QString set = instancesIn(dir, 6);
        const QString rulesFile = QStringLiteral(KELDAR_MODEL_DIR "/rules/week.dzn");
        QCOMPARE(runGenerator({QStringLiteral("--solve"), set, QStringLiteral("--rules"), rulesFile,
                               QStringLiteral("--jobs"), QStringLiteral("2")})
                     .status,
                 0);
        const auto rows = solutionRows(set);
        QCOMPARE(rows.size(), 6);
        const Rules rules = *parseRules(readAll(rulesFile)).rules;
        for (const QList<QByteArray> &list : rows) {
            QCOMPARE(list.size(), 1);
            const QList<QByteArray> row = list.first().split(',');
            QCOMPARE(row.at(1), QByteArray("week"));
            if (row.at(7).isEmpty())
                continue;
            const Instance in =
                *parseInstance(readAll(QDir(set).filePath(QString::fromUtf8(row.at(0))))).instance;
            const ParsedRoster roster =
                parseRoster(readAll(QDir(set).filePath(QString::fromUtf8(row.at(7)))), in);
            QVERIFY2(roster.error.isEmpty(), qPrintable(roster.error));
            const RosterCheck check = checkRoster(in, roster.roster, rules);
            QVERIFY(check.feasible());
            QCOMPARE(QByteArray::number(check.cost), row.at(3));
            QVERIFY(row.at(2) != "optimal" || row.at(3) == row.at(4));
        }
        QCOMPARE(
            runGenerator({QStringLiteral("--solve"), set, QStringLiteral("--rules"), rulesFile})
                .status,
            0);
        QCOMPARE(solutionRows(set), rows);
        // The unsplit rows aside, where the merged ones go.
        QVERIFY(QFile::rename(QDir(set).filePath(QStringLiteral("solutions.csv")),
                              QDir(set).filePath(QStringLiteral("unsplit.csv"))));
        for (const char *shard : {"1/2", "2/2"})
            QCOMPARE(runGenerator({QStringLiteral("--solve"), set, QStringLiteral("--rules"),
                                   rulesFile, QStringLiteral("--shard"), QLatin1String(shard)})
                         .status,
                     0);
        for (int merge = 0; merge < 2; ++merge)
            QCOMPARE(runGenerator({QStringLiteral("--merge"), set}).status, 0);
        QVERIFY(!QFileInfo::exists(QDir(set).filePath(QStringLiteral("solutions-2.csv"))));
        // Jobs record in the order they finish; the merge in file order.
        auto rowsOf = [&set](const char *name) {
            QStringList lines =
                QString::fromUtf8(readAll(QDir(set).filePath(QLatin1String(name))))
                    .remove(QRegularExpression(QStringLiteral(",[0-9.]+,(?=[^,]*\r\n)")))
                    .split(QStringLiteral("\r\n"));
            lines.sort();
            return lines;
        };
        QCOMPARE(rowsOf("solutions.csv"), rowsOf("unsplit.csv"));
    }

    // A design's planted instances are solved under the rules each was built
    // under, and none is ever called infeasible: each has its witness.
    void solve_plantedUnderOwnRules()
    {
        QTemporaryDir dir;
        const QString design = dir.filePath(QStringLiteral("design.txt"));
        QVERIFY(writeFile(design, "nurses = 8\ndays = 7\nshifts = 3\nfreeShift = no\n"
                                  "periodPreference = 0.5\ndayPreference = 0.5\n"
                                  "shiftPreference = 0.5\ntotalCoverage = 0.5\n"
                                  "dayCoverage = 0.3\nshiftCoverage = 0.3\n"
                                  "rules = week, rotation\nslack = 0, 0.1\n"
                                  "instancesPerCell = 1\n"));
        const QString set = dir.filePath(QStringLiteral("set"));
        QCOMPARE(
            runGenerator({QStringLiteral("--design"), design, QStringLiteral("--out"), set}).status,
            0);
        QVERIFY(runGenerator({QStringLiteral("--solve"), set, QStringLiteral("--time-limit"),
                              QStringLiteral("20")})
                    .status != 2);
        const auto rows = solutionRows(set);
        QCOMPARE(rows.size(), 4);
        for (const QString &key : rows.keys()) {
            const QList<QByteArray> row = rows.value(key).first().split(',');
            const auto origin =
                readOrigin(readAll(QDir(set).filePath(QString::fromUtf8(row.at(0)))));
            QCOMPARE(QString::fromUtf8(row.at(1)), origin->input.rules);
            QVERIFY2(row.at(2) != "infeasible", qPrintable(key));
        }
    }

    // Gecode's rows and rosters are kept apart from CBC's, and the two
    // runs, side by side on one folder, do not hold each other's instances:
    // where both prove an optimum it is the same, neither finds a roster
    // where the other proves none, every roster passes the check at its
    // row's cost, and a rerun adds nothing.  Jobs solve with Gecode too.
    // What a stand-in for minizinc falsely claims is recorded as unknown.
    void solve_gecode_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QByteArray>("fake"); // the stand-in; none for minizinc
        QTest::addColumn<QString>("mentions");
        QTest::newRow("week") << "week" << QByteArray() << QString();
        QTest::newRow("no rules") << "none" << QByteArray() << QString();
        const QByteArray solvers = "#!/bin/sh\ncase \"$*\" in *--solvers-json*) echo "
                                   "'[{\"id\": \"org.gecode.gecode\"}]'; exit 0;; esac\n";
        QTest::newRow("unsatisfiable, falsely")
            << "none" << solvers + "echo =====UNSATISFIABLE=====\n"
            << "the rule-free optimum keeps the rules; recorded as unknown";
        // Every nurse free every day, called optimal.
        QTest::newRow("a roster that fails the check")
            << "week"
            << solvers + "for a; do case $a in *instance.dzn) d=$a;; esac; done\n"
                         "awk -F'[=;]' '/^nurses/ {n = $2} /^days/ {m = $2} "
                         "/^workingShifts/ {w = $2} END {printf \"{\\\"roster\\\": [\"; "
                         "for (i = 0; i < n; i++) {printf \"%s[\", i ? \",\" : \"\"; "
                         "for (j = 0; j < m; j++) printf \"%s%d\", j ? \",\" : \"\", w; "
                         "printf \"]\"} print \"], \\\"_objective\\\": 0}\"; "
                         "print \"----------\"; print \"==========\"}' \"$d\"\n"
            << "Gecode's roster fails the check: ";
    }
    void solve_gecode()
    {
        QFETCH(QString, rules);
        QFETCH(QByteArray, fake);
        QFETCH(QString, mentions);
        if (fake.isEmpty() && !haveMiniZinc())
            QSKIP("needs minizinc");
        QTemporaryDir dir;
        // Four nurses: Gecode proves these optimal under week in a second here.
        const QString set = instancesIn(dir, 3, 4);
        QStringList args{"--solve", set, "--time-limit", "20"};
        if (rules != QLatin1String("none"))
            args += QStringList{"--rules", rules};
        const QStringList gecode = args + QStringList{"--solver", "gecode", "--jobs", "2"};
        if (!fake.isEmpty()) {
            const QString stand = dir.filePath(QStringLiteral("minizinc"));
            QVERIFY(writeFile(stand, fake));
            QVERIFY(QFile::setPermissions(stand, QFile::ReadOwner | QFile::ExeOwner));
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("PATH"),
                               dir.path() + u':' + environment.value(QStringLiteral("PATH")));
            const Ran ran = runGenerator(gecode, environment);
            QCOMPARE(ran.status, 0);
            QVERIFY2(ran.err.contains(mentions.toUtf8()), ran.err.constData());
            const auto rows = solutionRows(set, QStringLiteral("solutions.gecode.csv"));
            QCOMPARE(rows.size(), 3);
            for (const QList<QByteArray> &list : rows)
                QCOMPARE(list.first().split(',').mid(2, 3), (QList<QByteArray>{"unknown", "", ""}));
            QVERIFY(QDir(set).entryList({QStringLiteral("*.roster")}).isEmpty());
            return;
        }
        QProcess beside;
        beside.start(generatorPath(), gecode);
        QCOMPARE(runGenerator(args).status, 0);
        QVERIFY(beside.waitForFinished(120000));
        QCOMPARE(beside.exitCode(), 0);
        QVERIFY(beside.readAllStandardOutput().contains("3 of 3 instances solved by this run"));
        const auto cbcRows = solutionRows(set);
        const auto gecodeRows = solutionRows(set, QStringLiteral("solutions.gecode.csv"));
        QCOMPARE(cbcRows.size(), 3);
        QCOMPARE(gecodeRows.keys(), cbcRows.keys());
        const Rules checked = rules == QLatin1String("none")
                                  ? Rules{}
                                  : *parseRules(readAll(QDir(set).filePath(rules + ".dzn"))).rules;
        for (const QString &key : cbcRows.keys()) {
            QCOMPARE(cbcRows.value(key).size(), 1);
            QCOMPARE(gecodeRows.value(key).size(), 1);
            const QList<QByteArray> c = cbcRows.value(key).first().split(',');
            const QList<QByteArray> g = gecodeRows.value(key).first().split(',');
            QVERIFY2(!c.at(7).endsWith(".gecode.roster"), c.at(7).constData());
            if (c.at(2) == "optimal" && g.at(2) == "optimal")
                QCOMPARE(g.at(3), c.at(3));
            if (c.at(2) == "optimal" && !g.at(3).isEmpty())
                QVERIFY(g.at(3).toLongLong() >= c.at(3).toLongLong());
            if (c.at(2) == "infeasible" || g.at(2) == "infeasible")
                QVERIFY(c.at(3).isEmpty() && g.at(3).isEmpty());
            QCOMPARE(g.at(4), g.at(2) == "optimal" ? g.at(3) : QByteArray());
            if (g.at(7).isEmpty())
                continue;
            QCOMPARE(g.at(7), QFileInfo(key.section(u'/', 0, 0)).completeBaseName().toUtf8() + '.' +
                                  rules.toUtf8() + ".gecode.roster");
            const Instance in =
                *parseInstance(readAll(QDir(set).filePath(key.section(u'/', 0, 0)))).instance;
            const ParsedRoster roster =
                parseRoster(readAll(QDir(set).filePath(QString::fromUtf8(g.at(7)))), in);
            QVERIFY2(roster.error.isEmpty(), qPrintable(roster.error));
            const RosterCheck check = checkRoster(in, roster.roster, checked);
            QVERIFY(check.feasible());
            QCOMPARE(QByteArray::number(check.cost), g.at(3));
        }
        QCOMPARE(runGenerator(gecode).status, 0);
        QCOMPARE(solutionRows(set, QStringLiteral("solutions.gecode.csv")), gecodeRows);
        QVERIFY(QDir(set)
                    .entryList({QStringLiteral(".*.solving")}, QDir::Hidden | QDir::Files)
                    .isEmpty());
    }

    // A killed run, then a rerun, two runs at once on one folder, and one
    // run of two jobs leave exactly one row per instance; the run of two
    // jobs counts what its helper solved as its own.
    void solve_oneRowPerInstance_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("killed, then rerun") << "killed";
        QTest::newRow("two runs at once") << "together";
        QTest::newRow("two jobs") << "jobs";
    }
    void solve_oneRowPerInstance()
    {
        QFETCH(QString, how);
        QTemporaryDir dir;
        const QString set = instancesIn(dir, 40, 20);
        const QStringList args = {QStringLiteral("--solve"), set, QStringLiteral("--rules"),
                                  QStringLiteral("week")};
        QProcess first;
        first.start(generatorPath(),
                    how == QLatin1String("jobs") ? args + QStringList{"--jobs", "2"} : args);
        if (how == QLatin1String("together")) {
            QVERIFY(runGenerator(args).status != 2);
            QVERIFY(first.waitForFinished(120000));
            // Whatever either passed over as the other's is solved now.
            runGenerator(args);
        } else if (how == QLatin1String("killed")) {
            QTRY_VERIFY_WITH_TIMEOUT(solutionRows(set).size() >= 3, 60000);
            first.kill();
            QVERIFY(first.waitForFinished());
            QCOMPARE(runGenerator(args).status, 0);
        } else {
            QVERIFY(first.waitForFinished(120000));
            QCOMPARE(first.exitCode(), 0);
            const QByteArray summary = first.readAllStandardOutput();
            QVERIFY2(summary.contains("40 of 40 instances solved by this run, 0 solved before, "
                                      "0 held by another run, 0 failed, 0 interrupted"),
                     summary.constData());
        }
        const auto rows = solutionRows(set);
        QCOMPARE(rows.size(), 40);
        for (const QList<QByteArray> &list : rows)
            QCOMPARE(list.size(), 1);
        QVERIFY(QDir(set)
                    .entryList({QStringLiteral(".*.solving")}, QDir::Hidden | QDir::Files)
                    .isEmpty());
    }

    // A signal stops the search in hand at once, in the run and in its
    // jobs: that instance gets no row, the run says it was interrupted and
    // exits 1, and no claim stays behind.
    void solve_interrupted_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("jobs");
        QTest::addColumn<QString>("solver");
        QTest::newRow("Ctrl-C") << int(SIGINT) << "1"
                                << "cbc";
        QTest::newRow("SIGTERM") << int(SIGTERM) << "1"
                                 << "cbc";
        QTest::newRow("Ctrl-C, two jobs") << int(SIGINT) << "2"
                                          << "cbc";
        QTest::newRow("SIGTERM, two jobs") << int(SIGTERM) << "2"
                                           << "cbc";
        QTest::newRow("SIGTERM, Gecode, two jobs") << int(SIGTERM) << "2"
                                                   << "gecode";
    }
    void solve_interrupted()
    {
        QFETCH(int, signal);
        QFETCH(QString, jobs);
        QFETCH(QString, solver);
        if (solver == QLatin1String("gecode") && !haveMiniZinc())
            QSKIP("needs minizinc");
        QTemporaryDir dir;
        // Four instances large enough that some are still in hand when the
        // signal comes, on a machine many times faster than this one.
        const QString set = dir.filePath(QStringLiteral("set"));
        BatchInput in = batch(100, 28, 4, false, set);
        in.files = 4;
        in.targets = {0.5, 0.3, 0.7, 0.5, 0.1, 0.2};
        runBatch(in, dir.path());
        QProcess run;
        QElapsedTimer started;
        started.start();
        run.start(generatorPath(), {"--solve", set, "--rules", "fourweeks", "--time-limit", "60",
                                    "--jobs", jobs, "--solver", solver});
        QTRY_VERIFY_WITH_TIMEOUT(
            !QDir(set)
                 .entryList({QStringLiteral(".*.solving")}, QDir::Hidden | QDir::Files)
                 .isEmpty(),
            30000);
        QTest::qWait(500); // into the search
        ::kill(pid_t(run.processId()), signal);
        const double signalled = double(started.elapsed()) / 1000;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(run.waitForFinished(30000));
        // Not the 60 s the limit would take.
        QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
        // Only instances finished before the signal have a row.
        const QString table = solver == QLatin1String("cbc")
                                  ? QStringLiteral("solutions.csv")
                                  : QStringLiteral("solutions.gecode.csv");
        for (const QList<QByteArray> &rows : solutionRows(set, table))
            QVERIFY2(rows.first().split(',').value(6).toDouble() < signalled,
                     rows.first().constData());
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 1);
        QVERIFY(run.readAllStandardError().contains("keldar-generate: interrupted by SIG"));
        QVERIFY(QDir(set)
                    .entryList({QStringLiteral(".*.solving")}, QDir::Hidden | QDir::Files)
                    .isEmpty());
    }

    // A claim left by something other than a live run of this host is
    // taken over; a live or foreign one is named, with how to release it;
    // a folder that cannot be written says so and keeps no claim.
    void solve_heldOrUnwritable_data()
    {
        QTest::addColumn<QByteArray>("claim"); // the claim file's text, or a kind
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("empty claim") << QByteArray("") << 0 << "1 of 1 instances solved";
        QTest::newRow("garbled claim")
            << QByteArray("\x01\x02 x y\n") << 0 << "1 of 1 instances solved";
        QTest::newRow("dead process here")
            << QByteArray("HOST 999999999 1 1\n") << 0 << "1 of 1 instances solved";
        QTest::newRow("live process here") << QByteArray("HOST SELF") << 1 << "held by process";
        QTest::newRow("another host's") << QByteArray("elsewhere.example 42 7 1\n") << 1
                                        << "held by process 42 on host elsewhere.example for ";
        QTest::newRow("a FIFO") << QByteArray("fifo") << 1 << "(a FIFO); remove it";
        QTest::newRow("full disk") << QByteArray("full") << 1 << "cannot write here (No space";
        QTest::newRow("read-only folder")
            << QByteArray("read-only") << 1 << "cannot write here (Read-only file system)";
    }
    void solve_heldOrUnwritable()
    {
        QFETCH(QByteArray, claim);
        QFETCH(int, status);
        QFETCH(QString, mentions);
        QTemporaryDir dir;
        QString set = instancesIn(dir, 1);
        const bool disk = claim == "full" || claim == "read-only";
        if (disk)
            set = smallDisk(dir, set, claim == "full");
        if (disk && set.isEmpty())
            QSKIP("mounting a small tmpfs needs root");
        auto unmount = qScopeGuard([&] {
            if (disk)
                QProcess::execute(QStringLiteral("umount"), {QFileInfo(set).path()});
        });
        const QString claimPath =
            QDir(set).filePath(QStringLiteral(".instance_1.txt.week.solving"));
        if (claim == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(claimPath).constData(), 0644), 0);
        } else if (!disk) {
            char host[256] = {};
            ::gethostname(host, sizeof host - 1);
            claim.replace("HOST", host);
            claim.replace("SELF", QByteArray::number(QCoreApplication::applicationPid()) + ' ' +
                                      startTicks() + " 1\n");
            QVERIFY(writeFile(claimPath, claim));
        }
        // A live claimant holds its claim locked.
        QFile held(claimPath);
        if (claim.contains(QByteArray::number(QCoreApplication::applicationPid())))
            QVERIFY(held.open(QIODevice::ReadWrite) && ::flock(held.handle(), LOCK_EX) == 0);
        QProcess run;
        run.start(generatorPath(), {"--solve", set, "--rules", "week"});
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), status);
        const QByteArray output = run.readAllStandardOutput() + run.readAllStandardError();
        QVERIFY2(output.contains(mentions.toUtf8()), output.constData());
        if (disk)
            QVERIFY(QDir(set)
                        .entryList({QStringLiteral(".*.solving")}, QDir::Hidden | QDir::Files)
                        .isEmpty());
    }

    // Bad input is refused before anything is written.
    void solve_refused_data()
    {
        QTest::addColumn<QStringList>("args");     // after --solve SET
        QTest::addColumn<QByteArray>("rulesText"); // written to rules.dzn when given
        QTest::addColumn<QString>("prepare");      // what the set folder holds besides
        QTest::addColumn<QString>("mentions");
        QTest::newRow("unknown set") << QStringList{"--rules", "weekly"} << QByteArray()
                                     << QString() << "weekly: no such rule set";
        QTest::newRow("rules file missing") << QStringList{"--rules", "missing.dzn"} << QByteArray()
                                            << QString() << "missing.dzn: ";
        QTest::newRow("rules file malformed")
            << QStringList{"--rules", "RULES"} << QByteArray("minWorkingShifts = 3;\nmax = ;\n")
            << QString() << "rules.dzn: line 2: ";
        // Rules past the first MiB were once dropped unread.
        QTest::newRow("rules file past 1 MiB")
            << QStringList{"--rules", "RULES"}
            << QByteArray("% padding\n").repeated(110000) + "maxConsecutiveWorkingDays = 1;\n"
            << QString() << "rules.dzn: larger than 1048576 bytes";
        QTest::newRow("time limit 0") << QStringList{"--time-limit", "0"} << QByteArray()
                                      << QString() << "--time-limit 0: a number of seconds above 0";
        QTest::newRow("time limit not a number")
            << QStringList{"--time-limit", "soon"} << QByteArray() << QString()
            << "--time-limit soon";
        QTest::newRow("folder without instances")
            << QStringList{"EMPTY"} << QByteArray() << QString()
            << "no instance file (instance_<k>.txt)";
        QTest::newRow("two names for one number")
            << QStringList{} << QByteArray() << "instance_01.txt"
            << "instance_01.txt and instance_1.txt stand for one instance number";
        QTest::newRow("FIFO as the table") << QStringList{} << QByteArray() << "fifo"
                                           << "solutions.csv is a FIFO";
        QTest::newRow("link as the table") << QStringList{} << QByteArray() << "link"
                                           << "solutions.csv is a symbolic link";
        // The folder was solved under the shipped week; these rules differ.
        QTest::newRow("other rules under a label in use")
            << QStringList{"--rules", "DIR/week.dzn"} << QByteArray() << "week"
            << "holds other rules than";
        QTest::newRow("a label a spreadsheet runs")
            << QStringList{"--rules", "DIR/=1+1.dzn"} << QByteArray() << QString()
            << "would not stand safely in a CSV cell";
        QTest::newRow("Gecode without minizinc")
            << QStringList{"--solver", "gecode", "--jobs", "2"} << QByteArray() << "no PATH"
            << "there is no minizinc on PATH";
    }
    void solve_refused()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, rulesText);
        QFETCH(QString, prepare);
        QFETCH(QString, mentions);
        QTemporaryDir dir;
        const QString set = instancesIn(dir, 1);
        const QDir folder(set);
        if (!rulesText.isEmpty())
            QVERIFY(writeFile(dir.filePath(QStringLiteral("rules.dzn")), rulesText));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("week.dzn")),
                          "maxConsecutiveWorkingDays = 1;\n"));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("=1+1.dzn")), "minWorkingShifts = 1;\n"));
        if (prepare == QLatin1String("instance_01.txt"))
            QVERIFY(QFile::copy(folder.filePath(QStringLiteral("instance_1.txt")),
                                folder.filePath(prepare)));
        else if (prepare == QLatin1String("fifo"))
            QCOMPARE(
                ::mkfifo(
                    QFile::encodeName(folder.filePath(QStringLiteral("solutions.csv"))).constData(),
                    0644),
                0);
        else if (prepare == QLatin1String("link"))
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("rules.dzn")),
                                folder.filePath(QStringLiteral("solutions.csv"))));
        else if (prepare == QLatin1String("week"))
            QVERIFY(QFile::copy(QStringLiteral(KELDAR_MODEL_DIR "/rules/week.dzn"),
                                folder.filePath(QStringLiteral("week.dzn"))));
        QDir(dir.path()).mkdir(QStringLiteral("empty"));
        args.replaceInStrings(QStringLiteral("RULES"), dir.filePath(QStringLiteral("rules.dzn")));
        args.replaceInStrings(QStringLiteral("EMPTY"), dir.filePath(QStringLiteral("empty")));
        args.replaceInStrings(QStringLiteral("DIR"), dir.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (prepare == QLatin1String("no PATH"))
            environment.insert(QStringLiteral("PATH"), dir.path());
        const Ran ran =
            runGenerator(QStringList{QStringLiteral("--solve"), set} + args, environment);
        QCOMPARE(ran.status, 2);
        QVERIFY2(ran.err.contains(mentions.toUtf8()), ran.err.constData());
        QCOMPARE(ran.err.count('\n'), 1);
        QVERIFY(prepare == QLatin1String("fifo") || prepare == QLatin1String("link") ||
                !QFileInfo::exists(folder.filePath(QStringLiteral("solutions.csv"))));
        QVERIFY(folder.entryList({QStringLiteral("*.roster")}).isEmpty());
        QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("solutions.gecode.csv"))));
    }

    // A merge joins only what it proves, and a refused one writes nothing.
    // Three instances are solved as "I/N [time limit, 5 [rules, week
    // [solver, cbc]]]" says, then the steps change the set ("edit FILE REGEX TEXT", "copy A
    // B", "link A B", "rm A"); no mention when the merge joins.
    void merge_refused_data()
    {
        QTest::addColumn<QStringList>("solves");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("mentions");
        const QStringList halves = {"1/2", "2/2"};
        const QString one = "edit solutions.shard-1-of-2.csv ";
        QTest::newRow("missing shard")
            << QStringList{"1/2"} << QStringList() << "solutions.shard-2-of-2.csv is missing";
        QTest::newRow("doubled shard")
            << halves
            << QStringList{"copy solutions.shard-1-of-2.csv ../other/solutions.shard-1-of-2.csv"}
            << "shard 1 of 2 is doubled";
        QTest::newRow("shard 3 of 2")
            << halves << QStringList{"copy solutions.shard-2-of-2.csv solutions.shard-3-of-2.csv"}
            << "has no shard 3";
        QTest::newRow("another split")
            << halves << QStringList{"copy solutions.shard-2-of-2.csv solutions.shard-2-of-3.csv"}
            << "is of a split into 3 shards";
        QTest::newRow("cost without roster")
            << halves << QStringList{one + ",instance_1\\.week\\.roster, ,,"}
            << "states a cost but names no roster";
        QTest::newRow("label not a file name")
            << halves << QStringList{one + ",week, ,../week,"} << "names no rules file";
        QTest::newRow("two names for one instance")
            << halves << QStringList{"copy instance_1.txt instance_01.txt"}
            << "stand for one instance number";
        QTest::newRow("no identity")
            << halves << QStringList{one + ",[0-9a-f]{16,}[^\\r]*"} << "has no rulesDigest";
        QTest::newRow("row of another shard")
            << halves << QStringList{one + ",1/2, ,2/2,"} << "is of shard 2 of 2";
        QTest::newRow("instance added")
            << halves << QStringList{"copy instance_1.txt instance_9.txt"}
            << "is of a split of 3 instances";
        QTest::newRow("another time limit")
            << QStringList{"1/2", "2/2 6"} << QStringList() << "was solved within 6 s";
        QTest::newRow("incomplete shard")
            << halves << QStringList{one + "instance_3\\.txt[^\\n]*\\n"}
            << "no row of instance_3.txt under week";
        QTest::newRow("row of another shard's instance")
            << halves << QStringList{one + "instance_3\\.txt instance_2.txt"}
            << "is of an instance shard 1 of 2 does not cover";
        QTest::newRow("row twice")
            << halves << QStringList{one + "instance_3\\.txt instance_1.txt"} << "is there twice";
        QTest::newRow("rules in one shard only")
            << QStringList{"1/2", "2/2", "1/2 5 none"} << QStringList()
            << "solutions.shard-2-of-2.csv: no row of instance_2.txt under none";
        QTest::newRow("rules copy missing")
            << halves << QStringList{"rm week.dzn"} << "week.dzn is missing";
        QTest::newRow("other rules under one label")
            << halves
            << QStringList{"edit solutions.shard-2-of-2.csv ,[0-9a-f]{16,}, ,0123456789abcdef,"}
            << "was solved under other rules than";
        QTest::newRow("instance unreadable")
            << halves << QStringList{"edit instance_1.txt ^[\\s\\S]+ x"}
            << "solutions.shard-1-of-2.csv: instance_1.txt: line 1";
        QTest::newRow("roster outside the folder")
            << halves << QStringList{one + "instance_1\\.week\\.roster ../../etc/passwd"}
            << "names the roster ../../etc/passwd, which is no file of";
        QTest::newRow("roster by a path, to itself")
            << halves
            << QStringList{one + "instance_1\\.week\\.roster ../set/instance_1.week.roster"}
            << "names the roster ../set/instance_1.week.roster, which is no file of";
        QTest::newRow("roster a link")
            << halves
            << QStringList{"copy instance_1.week.roster kept", "rm instance_1.week.roster",
                           "link kept instance_1.week.roster"}
            << "names the roster instance_1.week.roster, which is no file of";
        QTest::newRow("roster malformed")
            << halves << QStringList{"edit instance_1.week.roster \\n\\d \\nx"}
            << "instance_1.week.roster: line";
        QTest::newRow("roster breaks the rules")
            << halves << QStringList{"edit instance_1.week.roster \\b[0-3]\\b 4"}
            << "instance_1.week.roster breaks the rules";
        QTest::newRow("cost edited")
            << halves << QStringList{one + "week,(\\w+),\\d+,\\d*, week,\\1,1,1,"}
            << "says cost 1, but instance_1.week.roster costs";
        QTest::newRow("other solutions already there")
            << halves << QStringList{"copy solutions.shard-2-of-2.csv solutions.csv"}
            << "solutions.csv is already there with other rows";
        QTest::newRow("more shards than instances")
            << QStringList{"1/4", "2/4", "3/4", "4/4"} << QStringList() << QString();
        QTest::newRow("two rule sets")
            << QStringList{"1/2", "2/2", "1/2 5 none", "2/2 5 none"} << QStringList() << QString();
        // Each solver's shards are joined apart, and proven before any is.
        QTest::newRow("Gecode's shard missing")
            << QStringList{"1/2", "2/2", "1/2 5 week gecode"} << QStringList()
            << "solutions.gecode.shard-2-of-2.csv is missing";
        QTest::newRow("both solvers' shards")
            << QStringList{"1/2", "2/2", "1/2 5 week gecode", "2/2 5 week gecode"} << QStringList()
            << QString();
    }
    void merge_refused()
    {
        QFETCH(QStringList, solves);
        QFETCH(QStringList, steps);
        QFETCH(QString, mentions);
        if (solves.join(u' ').contains(QLatin1String("gecode")) && !haveMiniZinc())
            QSKIP("needs minizinc");
        QTemporaryDir dir;
        const QString set = instancesIn(dir, 3);
        for (const QString &solve : solves) {
            const QStringList words = solve.split(u' ');
            QStringList args{"--solve", set, "--shard", words.at(0)};
            args += QStringList{"--time-limit", words.value(1, "5")};
            if (words.value(2) != "none")
                args += QStringList{"--rules", "week"};
            args += QStringList{"--solver", words.value(3, "cbc")};
            QCOMPARE(runGenerator(args).status, 0);
        }
        for (const QString &step : steps) {
            const QStringList words = step.split(u' ');
            const QString path = QDir(set).filePath(words.at(1));
            const QString to = QDir(set).filePath(words.value(2));
            QDir().mkpath(QFileInfo(to).path());
            QString text = QString::fromUtf8(readAll(path));
            text.replace(QRegularExpression(words.value(2)), words.value(3));
            QVERIFY2(words.at(0) == "copy"   ? QFile::copy(path, to)
                     : words.at(0) == "link" ? QFile::link(path, to)
                     : words.at(0) == "rm"   ? QFile::remove(path)
                                           : QFile::remove(path) && writeFile(path, text.toUtf8()),
                     qPrintable(step));
        }
        const QString other = dir.filePath(QStringLiteral("other"));
        const QStringList before = QDir(set).entryList(QDir::AllEntries | QDir::Hidden);
        const Ran ran =
            runGenerator(QStringList{QStringLiteral("--merge"), set} +
                         (QFileInfo::exists(other) ? QStringList{other} : QStringList()));
        QCOMPARE(ran.status, mentions.isEmpty() ? 0 : 2);
        QVERIFY2(ran.err.contains(mentions.toUtf8()), ran.err.constData());
        if (!mentions.isEmpty()) {
            QCOMPARE(ran.err.count('\n'), 1);
            QCOMPARE(QDir(set).entryList(QDir::AllEntries | QDir::Hidden), before);
            return;
        }
        for (const QString &table :
             {QStringLiteral("solutions"), QStringLiteral("solutions.gecode")}) {
            qsizetype shardRows = 0;
            for (const QString &name :
                 QDir(set).entryList({table + QStringLiteral(".shard-*.csv")}))
                shardRows += solutionRows(set, name).size();
            QCOMPARE(solutionRows(set, table + QStringLiteral(".csv")).size(), shardRows);
        }
    }

    // A table as a full disk, a kill or an editor left it: a torn last row
    // is set aside and its instance solved again; a byte order mark and
    // blank lines are read; a row that is not ours is refused by its line.
    void solve_existingTable_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("half-written last row")
            << "tear" << 0 << "set aside in solutions.csv.fragment";
        QTest::newRow("byte order mark") << "bom" << 0 << "2 solved before";
        QTest::newRow("blank lines") << "blank" << 0 << "2 solved before";
        QTest::newRow("row not ours") << "foreign" << 2 << "line 5 is not a solutions row";
        QTest::newRow("cost not a number") << "cost" << 2 << "line 3 is not a solutions row";
    }
    void solve_existingTable()
    {
        QFETCH(QString, edit);
        QFETCH(int, status);
        QFETCH(QString, mentions);
        QTemporaryDir dir;
        const QString set = instancesIn(dir, 3);
        const QStringList args{QStringLiteral("--solve"), set, QStringLiteral("--rules"),
                               QStringLiteral("week")};
        QCOMPARE(runGenerator(args).status, 0);
        const QString table = QDir(set).filePath(QStringLiteral("solutions.csv"));
        QByteArray text = readAll(table);
        QList<QByteArray> lines = text.split('\n');
        if (edit == QLatin1String("tear")) {
            text.chop(lines.at(3).size() / 2 + 1);
        } else if (edit == QLatin1String("bom")) {
            text.prepend("\xEF\xBB\xBF");
            text.chop(lines.at(3).size() + 1); // the third instance solved again
        } else if (edit == QLatin1String("blank")) {
            lines.insert(2, "\r");
            lines.removeAt(4);
            text = lines.join('\n') + "\r\n";
        } else if (edit == QLatin1String("foreign")) {
            text = text + "=HYPERLINK(1),x\r\n";
        } else {
            lines[2].replace(",week,optimal,", ",week,optimal,");
            QList<QByteArray> fields = lines.at(2).split(',');
            fields[3] = "abc";
            lines[2] = fields.join(',');
            text = lines.join('\n');
        }
        QVERIFY(QFile::remove(table));
        QVERIFY(writeFile(table, text));
        QProcess program;
        program.start(generatorPath(), args);
        QVERIFY(program.waitForFinished(120000));
        QCOMPARE(program.exitCode(), status);
        const QByteArray output = program.readAllStandardOutput() + program.readAllStandardError();
        QVERIFY2(output.contains(mentions.toUtf8()), output.constData());
        if (status == 0)
            QCOMPARE(solutionRows(set).size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestSolverFiles)
#include "tst_solverfiles.moc"

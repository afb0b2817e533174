#include "generator/run/solverun.h"

#include "generator/files/batchtext.h"
#include "generator/files/instancefile.h"
#include "generator/publish/publish.h"
#include "generator/run/inorder.h"
#include "generator/run/interrupt.h"
#include "generator/run/manifest.h"
#include "generator/run/solutions.h"
#include "generator/solve/mipsolve.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <atomic>
#include <map>
#include <memory>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace keldar::generator {

namespace {

// One instance file to solve.
struct Task {
    QString folder;
    QString name;
};

// What became of one task.
enum class Done { Solved, AlreadySolved, Claimed, Failed, Interrupted };

// The instance files the paths name, in file order; the refusal when a path
// is neither an instance file nor a folder holding some.
std::optional<QString> collectTasks(const QStringList &paths, QList<Task> &tasks)
{
    static const QRegularExpression instanceName(QStringLiteral("^instance_(\\d+)\\.txt$"));
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isFile()) {
            tasks.append({info.absolutePath(), info.fileName()});
            continue;
        }
        if (!info.isDir())
            return QDir::toNativeSeparators(path) +
                   QStringLiteral(": no instance file or folder of that name");
        std::map<qint64, QString> numbered;
        for (const QString &name : QDir(path).entryList(QDir::Files)) {
            const QRegularExpressionMatch match = instanceName.match(name);
            if (match.hasMatch())
                numbered.emplace(match.captured(1).toLongLong(), name);
        }
        if (numbered.empty())
            return QDir::toNativeSeparators(path) +
                   QStringLiteral(": no instance file (instance_<k>.txt) in this folder");
        for (const auto &entry : numbered)
            tasks.append({info.absoluteFilePath(), entry.second});
    }
    return std::nullopt;
}

// A run's hold on one instance while it solves it, so that a run beside it
// on the same folder passes it over: a hidden file made only if absent,
// naming the host and process.  One left by a killed run on this host is
// taken over.
class Claim
{
public:
    Claim(const QString &folder, const QString &name, const QString &label)
        : path_(QDir(folder).filePath(u'.' + name + u'.' + label + QStringLiteral(".solving")))
    {}
    ~Claim()
    {
        if (held_)
            QFile::remove(path_);
    }
    Claim(const Claim &) = delete;
    Claim &operator=(const Claim &) = delete;

    // A claim a killed run left behind an instance it had finished.
    void clearStale() const
    {
        if (stale())
            QFile::remove(path_);
    }

    bool take()
    {
        held_ = create() || (stale() && QFile::remove(path_) && create());
        return held_;
    }

private:
    bool create()
    {
        const int fd = ::open(QFile::encodeName(path_).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        const QByteArray owner =
            hostName().toUtf8() + ' ' + QByteArray::number(qint64(::getpid())) + '\n';
        const bool written =
            ::write(fd, owner.constData(), std::size_t(owner.size())) == ssize_t(owner.size());
        ::close(fd);
        return written;
    }
    bool stale() const
    {
        QFile file(path_);
        if (!QFileInfo(path_).isFile() || !file.open(QIODevice::ReadOnly))
            return false;
        const QList<QByteArray> owner = file.read(512).trimmed().split(' ');
        return owner.size() == 2 && owner.at(0) == hostName().toUtf8() &&
               !processRunning(owner.at(1).toLongLong());
    }

    QString path_;
    bool held_ = false;
};

// The roster as --check-roster reads it, a line per nurse.
QByteArray rosterText(const Instance &instance, const SolveOutcome &outcome, const Task &task,
                      const QString &label)
{
    QByteArray text = "% keldar-generate " KELDAR_VERSION ": " + task.name.toUtf8() +
                      " under rules " + label.toUtf8() + ", " + statusName(outcome.status) +
                      ", cost " + QByteArray::number(outcome.cost.value_or(0)) + "\n";
    for (int n = 0; n < instance.nurses; ++n) {
        for (int d = 0; d < instance.days; ++d) {
            if (d > 0)
                text += ' ';
            text += QByteArray::number(outcome.roster[gridIndex(n, instance.days, d)]);
        }
        text += '\n';
    }
    return text;
}

// A task as a worker leaves it: solved under the run's claim, not yet
// recorded.
struct Attempt {
    Done done = Done::Failed;
    std::unique_ptr<Claim> claim;
    std::optional<Instance> instance;
    SolveOutcome outcome;
    QString problem;
};

// Solves the tasks on `jobs` threads and records them strictly in file
// order, so that the CSV does not depend on the number of threads.
class SolveRun
{
public:
    SolveRun(const QList<Task> &tasks, const SolveOptions &options,
             std::map<QString, std::unique_ptr<SolutionsLedger>> &ledgers, QTextStream &err)
        : tasks_(tasks), options_(options), ledgers_(ledgers), err_(err),
          done_(std::size_t(tasks.size()), Done::Interrupted)
    {}

    void run()
    {
        const int jobs = std::max(1, options_.jobs);
        runInOrder<Attempt>(
            tasks_.size(), jobs, 2 * jobs,
            [this](qint64 i) { return attempt(tasks_.at(qsizetype(i))); },
            [this](qint64 i, Attempt made) {
                done_[std::size_t(i)] = record(tasks_.at(qsizetype(i)), made);
                return interruptSignal() == 0;
            });
    }

    int count(Done what) const { return int(std::count(done_.begin(), done_.end(), what)); }

private:
    // On a worker: claims the instance and solves it, unless it has its row.
    Attempt attempt(const Task &task) const
    {
        Attempt made;
        if (interruptSignal() != 0) {
            made.done = Done::Interrupted;
            return made;
        }
        made.claim = std::make_unique<Claim>(task.folder, task.name, options_.rules.label);
        made.done = solvedBefore(task, made);
        if (made.done == Done::AlreadySolved)
            made.claim->clearStale();
        if (made.done != Done::Solved)
            return made;
        made.done = Done::Claimed;
        if (!made.claim->take())
            return made;
        // Another run may have finished it between the look and the claim.
        made.done = solvedBefore(task, made);
        if (made.done != Done::Solved)
            return made;
        made.done = Done::Failed;
        ParsedInstance parsed = readInstanceFile(QDir(task.folder).filePath(task.name));
        if (!parsed.instance) {
            made.problem = task.name + QStringLiteral(" not solved: ") + parsed.error;
            return made;
        }
        made.instance = std::move(parsed.instance);
        made.outcome = solveInstance(*made.instance, options_.rules.rules, options_.timeLimit);
        made.done = Done::Solved;
        return made;
    }

    // Solved: still to solve; AlreadySolved: the CSV has its row.
    Done solvedBefore(const Task &task, Attempt &made) const
    {
        SolutionsLedger &ledger = *ledgers_.at(task.folder);
        if (!ledger.refresh(made.problem)) {
            made.problem = solutionsName(options_.shard, options_.shards) + QStringLiteral(": ") +
                           made.problem;
            return Done::Failed;
        }
        return ledger.has(task.name, options_.rules.label) ? Done::AlreadySolved : Done::Solved;
    }

    // The roster beside the instance, then the row: a row never names a
    // roster that is not there.
    Done record(const Task &task, const Attempt &made)
    {
        if (made.done == Done::Failed)
            return report(made.problem);
        if (made.done != Done::Solved)
            return made.done;
        const QString &label = options_.rules.label;
        const SolveOutcome &outcome = made.outcome;
        SolutionRow row{
            task.name,    label,         QString::fromLatin1(statusName(outcome.status)),
            outcome.cost, outcome.bound, outcome.seconds,
            QString()};
        QString why;
        if (!outcome.roster.empty()) {
            const QString name =
                QFileInfo(task.name).completeBaseName() + u'.' + label + QStringLiteral(".roster");
            const QByteArray text = rosterText(*made.instance, outcome, task, label);
            // The same roster left by a run killed before its row serves.
            row.roster = publishOnce(task.folder, name, text, why);
            if (row.roster.isEmpty())
                return report(name + QStringLiteral(" not written: ") + why);
        }
        if (!ledgers_.at(task.folder)->append(row, why))
            return report(solutionsName(options_.shard, options_.shards) +
                          QStringLiteral(" not written: ") + why);
        return Done::Solved;
    }

    Done report(const QString &text)
    {
        err_ << "keldar-generate: " << text << Qt::endl;
        return Done::Failed;
    }

    const QList<Task> &tasks_;
    const SolveOptions &options_;
    std::map<QString, std::unique_ptr<SolutionsLedger>> &ledgers_;
    QTextStream &err_;
    std::vector<Done> done_;
};

// The targets of every file the folder's manifests list.
QHash<QString, Indicators> targetsIn(const QString &folder)
{
    QHash<QString, Indicators> targets;
    for (const ManifestRow &row : readFolderManifests(folder).rows.value_or(QList<ManifestRow>()))
        targets.insert(fileName(row.fileNumber), row.targets);
    return targets;
}

// The figure beside the CSV, unless the same one is there already.
void drawFigure(const QString &folder, const QList<SolutionRow> &rows, const QString &label,
                QTextStream &out, QTextStream &err)
{
    const QString name = QStringLiteral("solutions.svg");
    const QByteArray svg = solutionsSvg(rows, label, targetsIn(folder));
    QString why;
    bool already = false;
    const QString written = publishOnce(folder, name, svg, why, &already);
    if (written.isEmpty())
        err << "keldar-generate: " << name << " not written: " << why << Qt::endl;
    else if (!already)
        out << QDir::toNativeSeparators(QDir(folder).filePath(written)) << Qt::endl;
}

// Set in the processes a run starts for its further jobs.
const char HelperVariable[] = "KELDAR_SOLVE_HELPER";

using Ledgers = std::map<QString, std::unique_ptr<SolutionsLedger>>;

// One rows file per folder, read before anything is solved; false when one
// is refused.
bool openLedgers(const QList<Task> &tasks, const SolveOptions &options, Ledgers &ledgers,
                 QTextStream &err)
{
    for (const Task &task : tasks) {
        auto &ledger = ledgers[task.folder];
        if (ledger)
            continue;
        const QString path =
            QDir(task.folder).filePath(solutionsName(options.shard, options.shards));
        ledger = std::make_unique<SolutionsLedger>(path);
        QString why;
        if (!ledger->refresh(why)) {
            err << "keldar-generate: " << QDir::toNativeSeparators(path) << ": " << why
                << "; nothing solved" << Qt::endl;
            return false;
        }
    }
    return true;
}

// CBC's driver keeps global state, so a process solves one instance at a
// time: further jobs are further processes of this program on the same
// paths, which the claims and the locked appends keep apart as they do
// runs side by side.
std::vector<std::unique_ptr<QProcess>> startHelpers(const QStringList &paths,
                                                    const SolveOptions &options)
{
    std::vector<std::unique_ptr<QProcess>> helpers;
    if (options.jobs <= 1 || qEnvironmentVariableIsSet(HelperVariable))
        return helpers;
    QStringList args = QStringList{QStringLiteral("--solve")} + paths;
    args << QStringLiteral("--time-limit") << QString::number(options.timeLimit, 'g', 17);
    if (!options.rules.path.isEmpty())
        args << QStringLiteral("--rules") << options.rules.path;
    if (options.shards > 1)
        args << QStringLiteral("--shard")
             << QStringLiteral("%1/%2").arg(options.shard).arg(options.shards);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(HelperVariable), QStringLiteral("1"));
    for (int job = 1; job < options.jobs; ++job) {
        auto helper = std::make_unique<QProcess>();
        helper->setProcessEnvironment(environment);
        helper->setStandardOutputFile(QProcess::nullDevice());
        helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper->start(QCoreApplication::applicationFilePath(), args);
        helpers.push_back(std::move(helper));
    }
    return helpers;
}

// Waits for the helpers; asked to stop, they are asked too.
void finishHelpers(std::vector<std::unique_ptr<QProcess>> &helpers)
{
    for (auto &helper : helpers) {
        if (interruptSignal() != 0)
            helper->terminate();
        helper->waitForFinished(-1);
    }
}

// How many of the tasks have their row now, by whichever process.
qsizetype withRows(const QList<Task> &tasks, Ledgers &ledgers, const QString &label)
{
    qsizetype rows = 0;
    QString why;
    for (auto &[folder, ledger] : ledgers)
        ledger->refresh(why);
    for (const Task &task : tasks)
        rows += ledgers.at(task.folder)->has(task.name, label) ? 1 : 0;
    return rows;
}

} // namespace

int solveInstances(const QStringList &paths, const SolveOptions &options, QTextStream &out,
                   QTextStream &err)
{
    QList<Task> tasks;
    if (const auto refusal = collectTasks(paths, tasks)) {
        err << "keldar-generate: " << *refusal << "; nothing solved" << Qt::endl;
        return 2;
    }
    QList<Task> mine;
    for (qsizetype i = options.shard - 1; i < tasks.size(); i += options.shards)
        mine.append(tasks.at(i));
    Ledgers ledgers;
    if (!openLedgers(mine, options, ledgers, err))
        return 2;
    catchInterrupts();
    // A job started for the run ends with it, as a signal to it would end it.
    if (qEnvironmentVariableIsSet(HelperVariable))
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    auto helpers = startHelpers(paths, options);
    SolveOptions here = options;
    here.jobs = 1;
    SolveRun run(mine, here, ledgers, err);
    run.run();
    finishHelpers(helpers);
    if (qEnvironmentVariableIsSet(HelperVariable))
        return 0; // the run that started it tells the whole
    const qsizetype rows = withRows(mine, ledgers, options.rules.label);
    if (options.shards == 1)
        for (const auto &[folder, ledger] : ledgers)
            drawFigure(folder, ledger->rows(), options.rules.label, out, err);
    out << "rules " << options.rules.label << ": " << rows << " of " << mine.size()
        << " instances with their row; here " << run.count(Done::Solved) << " solved, "
        << run.count(Done::AlreadySolved) << " solved before, " << run.count(Done::Claimed)
        << " being solved by another run or job, " << run.count(Done::Failed) << " failed, "
        << run.count(Done::Interrupted) << " not started"
        << (interruptSignal() ? " (interrupted)" : "") << Qt::endl;
    return rows == mine.size() && interruptSignal() == 0 ? 0 : 1;
}

int mergeSolutionShards(const QStringList &folders, QTextStream &out, QTextStream &err)
{
    const QRegularExpression pattern(QStringLiteral("^solutions\\.shard-(\\d+)-of-(\\d+)\\.csv$"));
    QList<SolutionRow> rows;
    QSet<int> shardsSeen;
    int shards = 0;
    auto refuse = [&err](const QString &why) {
        err << "keldar-generate: " << why << "; no solutions merged" << Qt::endl;
        return 2;
    };
    for (const QString &folder : folders)
        for (const QString &name : QDir(folder).entryList({QStringLiteral("solutions.shard-*.csv")},
                                                          QDir::Files, QDir::Name)) {
            const QRegularExpressionMatch match = pattern.match(name);
            if (!match.hasMatch())
                continue;
            const QString path = QDir::toNativeSeparators(QDir(folder).filePath(name));
            if ((shards != 0 && match.captured(2).toInt() != shards) ||
                shardsSeen.contains(match.captured(1).toInt()))
                return refuse(path + QStringLiteral(" is doubled or of another split"));
            shards = match.captured(2).toInt();
            shardsSeen.insert(match.captured(1).toInt());
            QFile file(QDir(folder).filePath(name));
            const SolutionsRead read = file.open(QIODevice::ReadOnly)
                                           ? readSolutions(file.readAll())
                                           : SolutionsRead{std::nullopt, file.errorString()};
            if (!read.rows)
                return refuse(path + QStringLiteral(": ") + read.error);
            rows += *read.rows;
        }
    if (shards == 0)
        return -1;
    for (int shard = 1; shard <= shards; ++shard)
        if (!shardsSeen.contains(shard))
            return refuse(QStringLiteral("solutions of shard %1 of %2 are missing; solve that "
                                         "shard (--solve DIR --shard %1/%2)")
                              .arg(shard)
                              .arg(shards));
    QSet<QString> seen;
    for (const SolutionRow &row : rows)
        if (seen.contains(row.file + u'\n' + row.rules))
            return refuse(row.file + QStringLiteral(" has two rows for rules ") + row.rules);
        else
            seen.insert(row.file + u'\n' + row.rules);
    // File order, as an unsplit run solves them.
    static const QRegularExpression number(QStringLiteral("(\\d+)"));
    std::stable_sort(rows.begin(), rows.end(), [](const SolutionRow &a, const SolutionRow &b) {
        return a.rules != b.rules ? a.rules < b.rules
                                  : number.match(a.file).captured(1).toLongLong() <
                                        number.match(b.file).captured(1).toLongLong();
    });
    QByteArray text = solutionsHeader() + "\r\n";
    for (const SolutionRow &row : rows)
        text += row.line() + "\r\n";
    QString why;
    const QString written = publishBeside(folders.first(), solutionsName(), text, why);
    if (written.isEmpty())
        return refuse(solutionsName() + QStringLiteral(" not written: ") + why);
    out << rows.size() << " solutions of " << shards << " shards joined into "
        << QDir::toNativeSeparators(QDir(folders.first()).filePath(written)) << Qt::endl;
    QSet<QString> labels;
    for (const SolutionRow &row : rows)
        labels.insert(row.rules);
    for (const QString &label : labels)
        drawFigure(folders.first(), rows, label, out, err);
    return 0;
}

} // namespace keldar::generator

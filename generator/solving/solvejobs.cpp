#include "generator/solving/solvejobs.h"

#include "generator/run/interrupt.h"
#include "generator/run/limits.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <algorithm>

namespace keldar::generator {

namespace {

const char *const DoneWords[] = {"solved", "before", "held", "failed", "interrupted"};

// Set in the processes a run starts for its further jobs, which report on
// their standard output what became of each instance, a line each.
const char HelperVariable[] = "KELDAR_SOLVE_HELPER";

// Roughly what one solving process needs at most: CBC's model and search
// grow with the instance, whose file size tells its size (about 120 MB for
// 100 nurses over 28 days, 29 kB).
qint64 memoryPerJob(const QList<InstanceTask> &tasks)
{
    qint64 largest = 0;
    for (const InstanceTask &task : tasks)
        largest = std::max(largest, QFileInfo(QDir(task.folder).filePath(task.name)).size());
    return (qint64(64) << 20) + largest * 2000;
}

} // namespace

int solveJobs(const SolveOptions &options, const QList<InstanceTask> &tasks, QTextStream &err)
{
    int jobs = std::max(1, std::min<int>(options.jobs, int(tasks.size())));
    // The run's own reading: the system's figure within the control group's.
    const qint64 available = availableMemory();
    const qint64 each = memoryPerJob(tasks);
    if (available >= 0 && jobs > 1 && qint64(jobs) * each > available * 4 / 5) {
        jobs = int(std::max<qint64>(1, available * 4 / 5 / each));
        err << "keldar-generate: --jobs " << options.jobs << " lowered to " << jobs << ": each job "
            << "may need " << (each >> 20) << " MB, and " << (available >> 20)
            << " MB are available" << Qt::endl;
    }
    return jobs;
}

// CBC's driver keeps global state, so a process solves one instance at a
// time: further jobs are further processes of this program on the same
// paths, which the claims and the locked appends keep apart as they do
// runs side by side.
std::vector<std::unique_ptr<QProcess>> startSolveHelpers(const QStringList &paths,
                                                         const SolveOptions &options, int jobs)
{
    std::vector<std::unique_ptr<QProcess>> helpers;
    QStringList args = QStringList{QStringLiteral("--solve")} + paths;
    args << QStringLiteral("--time-limit") << QString::number(options.timeLimit, 'g', 17);
    if (!options.rules.path.isEmpty())
        args << QStringLiteral("--rules") << options.rules.path;
    if (options.shards > 1)
        args << QStringLiteral("--shard")
             << QStringLiteral("%1/%2").arg(options.shard).arg(options.shards);
    args << QStringLiteral("--solver") << options.solver;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(HelperVariable), QStringLiteral("1"));
    for (int job = 1; job < jobs; ++job) {
        auto helper = std::make_unique<QProcess>();
        helper->setProcessEnvironment(environment);
        helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper->start(QCoreApplication::applicationFilePath(), args);
        helpers.push_back(std::move(helper));
    }
    return helpers;
}

// Waits for the helpers, passing a stop on to them, and adds what each
// reports to the tally: an instance one of them solved is solved.
void finishSolveHelpers(std::vector<std::unique_ptr<QProcess>> &helpers, SolveTally &tally)
{
    for (auto &helper : helpers) {
        // Once: a second signal ends a run at once, its claims left behind.
        bool asked = false;
        while (!helper->waitForFinished(200))
            if (interruptSignal() != 0 && !asked) {
                helper->terminate();
                asked = true;
            }
        for (const QByteArray &line : helper->readAllStandardOutput().split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            const std::size_t index = std::size_t(words.value(0).toLongLong());
            const auto word = std::find(std::begin(DoneWords), std::end(DoneWords), words.value(1));
            if (words.size() < 2 || index >= tally.done.size() || word == std::end(DoneWords))
                continue;
            const SolveDone done = SolveDone(word - std::begin(DoneWords));
            // What one process did outweighs what another saw: a process
            // finds held what its sibling solved, failed on or was stopped in.
            static const int weight[] = {5, 2, 1, 4, 3};
            SolveDone &mine = tally.done[index];
            if (weight[int(done)] > weight[int(mine)]) {
                mine = done;
                tally.notes[index] =
                    QString::fromUtf8(line.mid(words.at(0).size() + 1 + words.at(1).size() + 1));
            }
        }
    }
}

// A helper's report: a line per instance, index and word, and the note.
void reportToParent(const SolveTally &tally, QTextStream &out)
{
    for (std::size_t i = 0; i < tally.done.size(); ++i)
        out << i << ' ' << DoneWords[int(tally.done[i])] << ' '
            << QString(tally.notes[i]).replace(u'\n', u' ') << '\n';
    out.flush();
}

bool isSolveHelper()
{
    return qEnvironmentVariableIsSet(HelperVariable);
}

} // namespace keldar::generator

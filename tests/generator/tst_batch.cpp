#include "generator/files/instancefile.h"
#include "generator/input/handshake.h"
#include "generator/input/inputfile.h"
#include "generator/publish/publish.h"
#include "generator/run/batch.h"
#include "generator/run/limits.h"
#include "tests/support/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <climits>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace keldar::generator;

namespace {

using keldar::test::generatorPath;
using keldar::test::readAll;

BatchInput smallBatch(const QString &folder, qint64 files = 3)
{
    BatchInput in;
    in.nurses = 10;
    in.days = 7;
    in.shifts = 3;
    in.freeCounted = true;
    in.targets = {0.4, 0.6, 0.3, 0.5, 0.3, 0.2};
    in.files = files;
    in.firstFile = 5;
    in.seed = 100;
    in.folder = folder;
    return in;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray inputText(const QString &folder)
{
    return " 10 \r\n 7 \r\n 3 \r\n 1 \r\n0.4\r\n0.6\r\n0.3\r\n0.5\r\n0.3\r\n0.2\r\n 2 \r\n 1 \r\n "
           "100 \r\n" +
           folder.toUtf8() + "\r\n";
}

// ctest says where the program is; run by hand, the test finds it in the
// build tree beside its own folder.

QString logIn(const QString &folder)
{
    return QString::fromUtf8(readAll(QDir(folder).filePath(QStringLiteral("output.log"))));
}

// The program's exit status (-1: it did not finish by itself) and output.
struct Ran {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Ran runProgram(const QStringList &args, const QString &workDir = QString())
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.start(generatorPath(), args);
    Ran ran;
    if (process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit)
        ran.status = process.exitCode();
    ran.out = process.readAllStandardOutput();
    ran.err = process.readAllStandardError();
    return ran;
}

QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden);
}

// The bytes of writable memory the process has mapped, as RLIMIT_DATA
// counts them.
qint64 dataSize()
{
    const QByteArray status = readAll(QStringLiteral("/proc/self/status"));
    const qsizetype at = status.indexOf("VmData:") + 7;
    const QByteArray kib = status.mid(at, status.indexOf('\n', at) - at).simplified();
    return kib.left(kib.indexOf(' ')).toLongLong() * 1024;
}

// A process id no process can have: above any kernel's limit.
const qint64 GonePid = INT_MAX - 1;

} // namespace

class TestBatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void batch_writesFilesAndLog()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("new/nested"));
        const BatchReport report = runBatch(smallBatch(folder), dir.path());
        QVERIFY(report.allWritten());
        QCOMPARE(report.written, 3);
        for (int k : {5, 6, 7}) {
            const QByteArray text =
                readAll(QDir(folder).filePath(QStringLiteral("instance_%1.txt").arg(k)));
            const ParsedInstance parsed = parseInstance(text);
            QVERIFY2(parsed.instance, qPrintable(parsed.error));
            QCOMPARE(parsed.instance->workingShifts, 2);
            QVERIFY(parsed.instance->freeCounted);
            QVERIFY(text.contains("# file seed") || text.contains(", file seed "));
            QVERIFY(!text.contains('\r'));
        }
        QVERIFY(!QFileInfo::exists(QDir(folder).filePath(QStringLiteral("instance_8.txt"))));
        QVERIFY(leftovers(folder).isEmpty());

        const QString log = logIn(folder);
        QVERIFY(log.startsWith(QStringLiteral("== batch ")));
        QVERIFY(log.contains(
            QStringLiteral("inputs: nurses 10, days 7, shifts 3, free shift counted 1")));
        const QRegularExpression fileLine(
            QStringLiteral(
                "^\\[\\d+-\\S+\\] instance_6\\.txt seed \\d+ periodPreference 0\\.\\d{6} .* "
                "shiftCoverage \\d\\.\\d{6} lowerBound \\d+ "
                "largest deviation \\d\\.\\d{6} time \\d+ ms"),
            QRegularExpression::MultilineOption);
        QVERIFY2(fileLine.match(log).hasMatch(), qPrintable(log));
        QVERIFY(log.contains(QStringLiteral("summary: 3 written, 0 kept, 0 skipped, 0 failed")));
        // Ten nurses over seven days cannot concentrate to 0.3: 0.2667 and
        // 0.3333 are the neighbours, and the log says which was reached.
        QVERIFY2(log.contains(QStringLiteral("instance_5.txt seed")) &&
                     log.contains(QStringLiteral(
                         "; unreachable: dayCoverage target 0.3, nearest reached 0.")),
                 qPrintable(log));
        QVERIFY(!log.contains(QStringLiteral("unreachable: periodPreference")));
    }

    // The header's measured values are what --measure finds in the body, and
    // it names the batch, read back from it and from an earlier version's
    // file, which named the folder too.
    void header_matchesBody()
    {
        QTemporaryDir dir;
        QVERIFY(runBatch(smallBatch(dir.path(), 1), dir.path()).allWritten());
        const QByteArray text = readAll(dir.filePath(QStringLiteral("instance_5.txt")));
        const Indicators measured = measure(*parseInstance(text).instance);
        for (int k = 0; k < IndicatorCount; ++k) {
            const QByteArray line = QByteArray("# ") + IndicatorNames[k] + " measured " +
                                    QByteArray::number(measured[std::size_t(k)], 'f', 6);
            QVERIFY2(text.contains(line), line.constData());
        }
        QVERIFY(!text.contains(QFile::encodeName(dir.path())));
        const QByteArray older = QByteArray(text).replace(
            "\n# seed 100\n", "\n# seed 100\n# folder /home/someone/set\n");
        for (const QByteArray &header : {text, older}) {
            const auto origin = readOrigin(header);
            QVERIFY(origin && parseInstance(header).instance);
            QCOMPARE(origin->fileNumber, qint64(5));
            QCOMPARE(origin->input.seed, qint64(100));
            QCOMPARE(origin->input.targets, smallBatch(dir.path()).targets);
        }
    }

    void existingFile_neverOverwritten()
    {
        QTemporaryDir dir;
        const QString kept = dir.filePath(QStringLiteral("instance_6.txt"));
        writeFile(kept, "hand-made\n");
        const BatchReport report = runBatch(smallBatch(dir.path()), dir.path());
        QCOMPARE(report.written, 2);
        QCOMPARE(report.skipped, 1);
        QVERIFY(!report.allWritten());
        QCOMPARE(readAll(kept), QByteArray("hand-made\n"));
        const QString log = logIn(dir.path());
        QVERIFY(log.contains(QStringLiteral("instance_6.txt skipped: already exists, not as this "
                                            "run writes it; left out of the manifest")));
        QVERIFY(log.contains(QStringLiteral("summary: 2 written, 0 kept, 1 skipped, 0 failed")));
        QVERIFY(!readAll(dir.filePath(QStringLiteral("manifest.csv"))).contains("instance_6.txt"));
    }

    void log_appendedPerBatch()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("output.log")), "earlier line\n");
        runBatch(smallBatch(dir.path(), 1), dir.path());
        BatchInput second = smallBatch(dir.path(), 1);
        second.firstFile = 20;
        runBatch(second, dir.path());
        const QString log = logIn(dir.path());
        QVERIFY(log.startsWith(QStringLiteral("earlier line\n")));
        QCOMPARE(log.count(QStringLiteral("== batch ")), 2);
        QVERIFY(log.indexOf(QStringLiteral("instance_5.txt")) <
                log.indexOf(QStringLiteral("instance_20.txt")));
    }

    // A file removed and generated again comes back byte for byte, and so
    // does the batch made in another folder: there named as the program is
    // told it on the command line, relative, here as the windows write it.
    void rerun_sameBytes()
    {
        QTemporaryDir dir;
        const BatchInput in = smallBatch(dir.path(), 2);
        runBatch(in, dir.path());
        const QString path = dir.filePath(QStringLiteral("instance_6.txt"));
        const QByteArray first = readAll(path);
        QVERIFY(QFile::remove(path));
        runBatch(in, dir.path());
        QCOMPARE(readAll(path), first);

        writeFile(dir.filePath(QStringLiteral("in.txt")),
                  inputText(QStringLiteral("relative")).replace(" 1 \r\n 100", " 5 \r\n 100"));
        QCOMPARE(runProgram({QStringLiteral("in.txt")}, dir.path()).status, 0);
        for (int k : {5, 6}) {
            const QString name = QStringLiteral("instance_%1.txt").arg(k);
            QCOMPARE(readAll(dir.filePath(QStringLiteral("relative/") + name)),
                     readAll(dir.filePath(name)));
        }
    }

    // The name taken by anything, a dangling link included, is never written
    // through, whether the file had a name of its own or none.
    void publish_neverReplaces_data()
    {
        QTest::addColumn<bool>("unnamed");
        QTest::addColumn<bool>("hardLinks");
        QTest::addColumn<bool>("link");
        QTest::newRow("unnamed file, existing file") << true << true << false;
        QTest::newRow("unnamed file, dangling link") << true << true << true;
        QTest::newRow("temporary name, existing file") << false << true << false;
        QTest::newRow("temporary name, dangling link") << false << true << true;
        QTest::newRow("no hard links, existing file") << false << false << false;
    }
    void publish_neverReplaces()
    {
        QFETCH(bool, unnamed);
        QFETCH(bool, hardLinks);
        QFETCH(bool, link);
        QTemporaryDir dir;
        const QString taken = dir.filePath(QStringLiteral("instance_1.txt"));
        const QString target = dir.filePath(QStringLiteral("elsewhere"));
        if (link)
            QVERIFY(QFile::link(target, taken));
        else
            writeFile(taken, "kept\n");
        faults::setUnnamedFilesAllowed(unnamed);
        faults::setHardLinksAllowed(hardLinks);
        const PublishResult taking = publish(dir.path(), QStringLiteral("instance_1.txt"), "new\n");
        const PublishResult fresh = publish(dir.path(), QStringLiteral("instance_2.txt"), "new\n");
        faults::setUnnamedFilesAllowed(true);
        faults::setHardLinksAllowed(true);
        QCOMPARE(int(taking.status), int(Published::Exists));
        QCOMPARE(int(fresh.status), int(Published::Written));
        QCOMPARE(readAll(dir.filePath(QStringLiteral("instance_2.txt"))), QByteArray("new\n"));
        QVERIFY(!QFileInfo::exists(target));
        if (!link)
            QCOMPARE(readAll(taken), QByteArray("kept\n"));
        QVERIFY(leftovers(dir.path()).isEmpty());
    }

    void danglingLink_skipped()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QFile::link(target, dir.filePath(QStringLiteral("instance_6.txt"))));
        const BatchReport report = runBatch(smallBatch(dir.path()), dir.path());
        QCOMPARE(report.written, 2);
        QCOMPARE(report.skipped, 1);
        QVERIFY(!QFileInfo::exists(target));
    }

    // Temporary files and unfinished sections of interrupted runs on this
    // host are cleared; those of a running batch, or of another host sharing
    // the disk, whose process ids mean nothing here, stay.
    void staleTemporaries_removed()
    {
        QTemporaryDir dir;
        const QString host = hostName();
        const QString stale = QStringLiteral(".keldar-%1-%2-7.tmp").arg(host).arg(GonePid);
        const QString running = QStringLiteral(".keldar-%1-%2-7.tmp").arg(host).arg(::getpid());
        const QString elsewhere = QStringLiteral(".keldar-elsewhere-%1-7.tmp").arg(GonePid);
        const QString older = QStringLiteral(".keldar-%1-7.tmp").arg(GonePid); // host unknown
        for (const QString &name : {stale, running, elsewhere, older})
            writeFile(dir.filePath(name), "part");
        const QString heading =
            QStringLiteral("== batch %1-20260101T000000.000 started "
                           "2026-01-01T00:00:00, keldar-generate 1.0.0, host %2\n");
        writeFile(dir.filePath(QStringLiteral("output.log")),
                  (heading.arg(GonePid).arg(host) +
                   heading.arg(GonePid - 1).arg(QStringLiteral("elsewhere")))
                      .toUtf8());
        runBatch(smallBatch(dir.path(), 1), dir.path());
        QStringList left = leftovers(dir.path());
        QStringList kept{older, running, elsewhere};
        left.sort();
        kept.sort();
        QCOMPARE(left, kept);
        const QString log = logIn(dir.path());
        QVERIFY2(log.contains(QStringLiteral("removed 1 temporary files")), qPrintable(log));
        QCOMPARE(log.count(QStringLiteral("did not finish")), 1);
        QVERIFY2(log.contains(QStringLiteral("batch %1-").arg(GonePid) +
                              QStringLiteral("20260101T000000.000 did not finish")),
                 qPrintable(log));
    }

    // A file's random stream hangs on its number, not its place in the batch:
    // file 7 made alone is file 7 of a batch from 5.
    void fileRegeneratedAlone_sameInstance()
    {
        QTemporaryDir dir;
        const QString alone = dir.filePath(QStringLiteral("alone"));
        runBatch(smallBatch(dir.path()), dir.path());
        BatchInput single = smallBatch(alone, 1);
        single.firstFile = 7;
        runBatch(single, dir.path());
        auto body = [](const QByteArray &text) {
            return text.mid(text.indexOf("\n10 7 2 1\n"));
        };
        const QByteArray inBatch = readAll(dir.filePath(QStringLiteral("instance_7.txt")));
        QVERIFY(inBatch.contains("\n10 7 2 1\n"));
        QCOMPARE(body(readAll(QDir(alone).filePath(QStringLiteral("instance_7.txt")))),
                 body(inBatch));
    }

    void unreachable_beyondTolerance_data()
    {
        QTest::addColumn<double>("target");
        QTest::addColumn<double>("measured");
        QTest::addColumn<bool>("flagged");
        QTest::newRow("0.01 above") << 0.5 << 0.51 << false;
        QTest::newRow("just beyond 0.01 above") << 0.5 << 0.5101 << true;
        QTest::newRow("0.015 below") << 0.3 << 0.285 << true;
        QTest::newRow("met exactly") << 1.0 << 1.0 << false;
    }
    void unreachable_beyondTolerance()
    {
        QFETCH(double, target);
        QFETCH(double, measured);
        QFETCH(bool, flagged);
        QCOMPARE(unreachable(measured, target), flagged);
    }

    void unusableFolder_logsInFallback()
    {
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("plainfile"));
        writeFile(blocker, "x");
        QTemporaryDir fallback;
        const BatchReport report =
            runBatch(smallBatch(blocker + QStringLiteral("/sub")), fallback.path());
        QCOMPARE(report.written, 0);
        QCOMPARE(report.failed, 3);
        const QString log = logIn(fallback.path());
        QVERIFY2(QRegularExpression(QStringLiteral("error: cannot create the target folder "
                                                   "\\S+ \\(Not a directory\\)"))
                     .match(log)
                     .hasMatch(),
                 qPrintable(log));
    }

    // The target folder is there but its output.log cannot take the section:
    // the fallback log does, and names the folder meant.
    void unwritableLog_logsInFallback_data()
    {
        QTest::addColumn<QString>("blocker");
        QTest::addColumn<QString>("why");
        QTest::newRow("directory named output.log") << "directory"
                                                    << "Is a directory";
        QTest::newRow("read-only output.log") << "read-only"
                                              << "Permission denied";
        QTest::newRow("output.log a link") << "link"
                                           << "it is a symbolic link";
    }
    void unwritableLog_logsInFallback()
    {
        QFETCH(QString, blocker);
        QFETCH(QString, why);
        QTemporaryDir dir;
        const QString blocked = dir.filePath(QStringLiteral("output.log"));
        const QString linked = dir.filePath(QStringLiteral("elsewhere.log"));
        if (blocker == QLatin1String("directory")) {
            QVERIFY(QDir().mkpath(blocked));
        } else if (blocker == QLatin1String("link")) {
            writeFile(linked, "");
            QVERIFY(QFile::link(linked, blocked));
        } else {
            writeFile(blocked, "");
            QVERIFY(QFile::setPermissions(blocked, QFileDevice::ReadOwner));
            QFile probe(blocked);
            if (probe.open(QIODevice::WriteOnly | QIODevice::Append))
                QSKIP("permissions are not enforced for this user");
        }
        QTemporaryDir fallback;
        const BatchReport report = runBatch(smallBatch(dir.path()), fallback.path());
        QCOMPARE(report.written, 3);
        QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("instance_7.txt"))));
        const QString log = logIn(fallback.path());
        QVERIFY2(log.startsWith(QStringLiteral("== batch ")), qPrintable(log));
        const QString kind =
            blocker == QLatin1String("link") ? QStringLiteral("error: ") : QStringLiteral("note: ");
        QVERIFY2(log.contains(kind + QStringLiteral("output.log in the target folder ") +
                              QDir::toNativeSeparators(dir.path())) &&
                     log.contains(why),
                 qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("instance_5.txt seed ")), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("summary: 3 written")), qPrintable(log));
        if (blocker == QLatin1String("link"))
            QCOMPARE(readAll(linked), QByteArray());
    }

    // The disk fills up after the first files: the reason is named, the
    // batch stops there, and the log goes on in the fallback.
    void fullDisk_stopsBatch()
    {
        QTemporaryDir dir;
        QTemporaryDir fallback;
        faults::setSpaceLeft(dir.path(), 5000);
        QString errors;
        QTextStream errorStream(&errors);
        const BatchReport report =
            runBatch(smallBatch(dir.path(), 6), fallback.path(), &errorStream);
        faults::setSpaceLeft(dir.path(), -1);
        QVERIFY(report.written >= 1);
        QCOMPARE(report.failed, 1);
        QCOMPARE(report.written + report.failed + report.notStarted, 6);
        const QString log = logIn(fallback.path());
        QVERIFY2(log.contains(QStringLiteral("not written: No space left on device")) &&
                     log.contains(QStringLiteral("not started, ")) &&
                     log.contains(QStringLiteral("stopped: No space left on device")),
                 qPrintable(log));
        QVERIFY2(errors.contains(QStringLiteral("No space left on device")), qPrintable(errors));
        QVERIFY(leftovers(dir.path()).isEmpty());
    }

    // A batch far larger than any disk is refused before it starts.
    void batchTooLargeForDisk_refused()
    {
        QTemporaryDir dir;
        BatchInput in = smallBatch(dir.path(), 100000);
        in.nurses = 10000;
        in.days = 1000;
        const BatchReport report = runBatch(in, dir.path());
        QCOMPARE(report.written, 0);
        QCOMPARE(report.notStarted, 100000);
        const QString log = logIn(dir.path());
        QVERIFY2(QRegularExpression(QStringLiteral("needs about \\d+ bytes, the disk of .* has "
                                                   "\\d+ bytes free; no file written"))
                     .match(log)
                     .hasMatch(),
                 qPrintable(log));
    }

    // Memory bounds the threads, or refuses an instance that cannot fit at
    // all, with both figures; a manifest that cannot be written fails the run.
    void runLimits_data()
    {
        QTest::addColumn<double>("memory"); // available, in instance peaks; 0: as it is
        QTest::addColumn<int>("jobs");
        QTest::addColumn<bool>("manifestsTaken");
        QTest::addColumn<int>("written");
        QTest::addColumn<bool>("allWritten");
        QTest::addColumn<QString>("mentions"); // %1 the peak, %2 the memory available
        QTest::newRow("one instance beyond the memory")
            << 0.5 << 1 << false << 0 << false
            << "error: an instance needs about %1 bytes of memory at its peak, %2 bytes are "
               "available; no file written";
        QTest::newRow("memory for two of four jobs")
            << 2.5 << 4 << false << 3 << true
            << "note: 2 jobs instead of 4: an instance needs about %1 bytes of memory at its "
               "peak, %2 bytes are available";
        QTest::newRow("manifest cannot be written")
            << 0.0 << 1 << true << 3 << false
            << "error: manifest.csv not written: too many earlier copies";
    }
    void runLimits()
    {
        QFETCH(double, memory);
        QFETCH(int, jobs);
        QFETCH(bool, manifestsTaken);
        QFETCH(int, written);
        QFETCH(bool, allWritten);
        QFETCH(QString, mentions);
        QTemporaryDir dir;
        for (int n = 1; manifestsTaken && n < 1000; ++n)
            writeFile(dir.filePath(n == 1 ? QStringLiteral("manifest.csv")
                                          : QStringLiteral("manifest-%1.csv").arg(n)),
                      "");
        const BatchInput in = smallBatch(dir.path());
        const qint64 peak = instancePeakBytes(in, 0);
        const auto available = qint64(memory * double(peak));
        faults::setAvailableMemory(memory > 0 ? available : -1);
        const BatchReport report =
            runBatch(in, dir.path(), nullptr, RunOptions{jobs, nullptr, TextFormat, {}});
        faults::setAvailableMemory(-1);
        QCOMPARE(report.written, written);
        QCOMPARE(report.allWritten(), allWritten);
        const QString log = logIn(dir.path());
        mentions.replace(QStringLiteral("%1"), QString::number(peak));
        QVERIFY2(log.contains(mentions.replace(QStringLiteral("%2"), QString::number(available))),
                 qPrintable(log));
    }

    // Memory running out while a file is made fails that file with a log
    // line, and the run stops there with its summary.
    void outOfMemory_logged()
    {
        QTemporaryDir dir;
        BatchInput in = smallBatch(dir.path(), 2);
        in.nurses = 10000;
        in.days = 100; // 3 million preference values
        struct rlimit before = {};
        QCOMPARE(::getrlimit(RLIMIT_DATA, &before), 0);
        struct rlimit tight = before;
        tight.rlim_cur = rlim_t(dataSize() + (4 << 20));
        QCOMPARE(::setrlimit(RLIMIT_DATA, &tight), 0);
        const BatchReport report =
            runBatch(in, dir.path(), nullptr, RunOptions{1, nullptr, TextFormat, {}});
        ::setrlimit(RLIMIT_DATA, &before);
        QCOMPARE(report.failed, 1);
        QCOMPARE(report.notStarted, 1);
        const QString log = logIn(dir.path());
        QVERIFY2(
            log.contains(QStringLiteral("instance_5.txt not written: Cannot allocate memory")) &&
                log.contains(QStringLiteral("; stopped: Cannot allocate memory")),
            qPrintable(log));
    }

    // Each instance file reaches the disk before it gets its name.
    void instanceFiles_syncedBeforeNaming()
    {
        QTemporaryDir dir;
        const qint64 before = filesSynced();
        const BatchReport report = runBatch(smallBatch(dir.path()), dir.path());
        QCOMPARE(report.written, 3);
        QCOMPARE(filesSynced() - before, 3 + 2); // and manifest.csv, batch.svg
    }

    // Started by the app, the generator marks the file it read, even a
    // vanished or refused one, never writing through a link; run by hand it
    // leaves no mark and so never takes the name of a file of the user's.
    void loadInput_marksOnlyForTheApp_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("byApp");
        QTest::addColumn<QString>("before"); // at the mark's name: none, mine or link
        QTest::newRow("valid file") << true << true << true << "none";
        QTest::newRow("refused file") << true << false << true << "none";
        QTest::newRow("missing file") << false << false << true << "none";
        QTest::newRow("link at the mark's name") << true << true << true << "link";
        QTest::newRow("by the app, file missing") << false << false << true << "mine";
        QTest::newRow("by the app, file present") << true << true << true << "mine";
        QTest::newRow("by hand, file missing") << false << false << false << "mine";
        QTest::newRow("by hand, file present") << true << true << false << "mine";
    }
    void loadInput_marksOnlyForTheApp()
    {
        QFETCH(bool, present);
        QFETCH(bool, valid);
        QFETCH(bool, byApp);
        QFETCH(QString, before);
        QTemporaryDir dir;
        const QString path = dir.filePath(QLatin1String(InputFileName));
        const QString mark = path + QLatin1String(ReadMarkSuffix);
        const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
        if (present)
            writeFile(path, valid ? inputText(dir.path()) : QByteArray("1\n2\n"));
        if (before == QLatin1String("link")) {
            writeFile(elsewhere, "keep");
            QVERIFY(QFile::link(elsewhere, mark));
        } else if (before == QLatin1String("mine")) {
            writeFile(mark, "mine");
        }
        const ReadResult read = loadInput(path, byApp ? ReadMark::Leave : ReadMark::Omit);
        QCOMPARE(bool(read.input), valid);
        // An accepted batch is marked by its run, once planned.
        if (valid && byApp)
            leaveReadMark(path, BatchVerdict{true, true, 2, QString()});
        // The mark names this process, the one that read, and its verdict.
        const QByteArray marked = readAll(mark);
        if (!byApp)
            QCOMPARE(marked, QByteArray("mine"));
        else
            QCOMPARE(verdictOf(marked).accepted &&
                         isReadMarkOf(marked, QCoreApplication::applicationPid()),
                     valid);
        if (!present)
            QVERIFY(read.error.contains(QStringLiteral("cannot read")));
        if (before == QLatin1String("link"))
            QCOMPARE(readAll(elsewhere), QByteArray("keep"));
    }

    void parseInstance_refusesCorruptFiles_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("empty") << QByteArray() << 0 << "no \"N D W F\" line";
        QTest::newRow("bad header") << QByteArray("# c\n2 x 1 0\n") << 2 << "";
        QTest::newRow("free flag 2") << QByteArray("1 1 1 2\n") << 1 << "";
        QTest::newRow("day missing") << QByteArray("1 2 1 0\n1\n") << 2 << "";
        QTest::newRow("day over nurses") << QByteArray("1 1 1 0\n2\n1 1\n") << 2 << "";
        QTest::newRow("cost 5") << QByteArray("1 1 1 0\n1\n1 5\n") << 3 << "";
        QTest::newRow("short cost row") << QByteArray("1 1 1 0\n1\n1\n") << 3 << "";
        QTest::newRow("extra data") << QByteArray("1 1 1 0\n1\n1 4\n9\n") << 4 << "";
        // Refused before room for 50 million values is made.
        QTest::newRow("far too short") << QByteArray("1 1 49999999 0") << 1 << "too short";
    }
    void parseInstance_refusesCorruptFiles()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, line);
        QFETCH(QString, mentions);
        const ParsedInstance parsed = parseInstance(text);
        QVERIFY(!parsed.instance);
        QCOMPARE(parsed.line, line);
        QVERIFY2(parsed.error.contains(mentions), qPrintable(parsed.error));
        QVERIFY2(!parsed.error.startsWith(QStringLiteral("line 0")), qPrintable(parsed.error));
    }

    // The way the app starts it: no arguments, the input file in the working
    // directory, the mark left beside it, status 0.
    void program_noArguments_readsWorkingDirectory()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        writeFile(dir.filePath(QLatin1String(InputFileName)), inputText(out));
        QCOMPARE(runProgram({}, dir.path()).status, 0);
        const QString mark =
            dir.filePath(QLatin1String(InputFileName) + QLatin1String(ReadMarkSuffix));
        // The verdict the app tells the user by: taken, two files to write.
        QCOMPARE(verdictOf(readAll(mark)).toWrite, 2);
        QVERIFY(verdictOf(readAll(mark)).known && verdictOf(readAll(mark)).accepted);
        QVERIFY(QFileInfo::exists(QDir(out).filePath(QStringLiteral("instance_2.txt"))));

        const Ran measured = runProgram(
            {QStringLiteral("--measure"), QDir(out).filePath(QStringLiteral("instance_1.txt"))});
        QCOMPARE(measured.status, 0);
        QVERIFY2(measured.out.contains("dayPreference 0."), measured.out.constData());

        // Run again: every file is there as this run writes it, so all are
        // kept and listed, and the listing already there serves.
        const QByteArray manifest = readAll(QDir(out).filePath(QStringLiteral("manifest.csv")));
        QCOMPARE(runProgram({dir.filePath(QLatin1String(InputFileName))}).status, 0);
        QCOMPARE(runProgram({}, dir.path()).status, 0);
        QCOMPARE(verdictOf(readAll(mark)).toWrite, 0);
        QVERIFY(logIn(out).contains(QStringLiteral("summary: 0 written, 2 kept, 0 skipped")));
        QCOMPARE(QDir(out).entryList({QStringLiteral("manifest*")}),
                 QStringList{QStringLiteral("manifest.csv")});
        QCOMPARE(readAll(QDir(out).filePath(QStringLiteral("manifest.csv"))), manifest);
    }

    // Two batches into one folder, overlapping: every file is whole and comes
    // from the one batch whose log line says it wrote it.
    void program_concurrentBatches_neverOverwrite()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        QProcess first;
        QProcess second;
        const QByteArray text = inputText(out).replace(" 2 \r\n 1 \r\n", "60\r\n1\r\n");
        writeFile(dir.filePath(QStringLiteral("a.txt")), text);
        writeFile(dir.filePath(QStringLiteral("b.txt")), QByteArray(text).replace(" 100 ", "200"));
        first.start(generatorPath(), {dir.filePath(QStringLiteral("a.txt"))});
        second.start(generatorPath(), {dir.filePath(QStringLiteral("b.txt"))});
        QVERIFY(first.waitForFinished(60000));
        QVERIFY(second.waitForFinished(60000));
        const QString log = logIn(out);
        for (int k = 1; k <= 60; ++k) {
            const QString name = QStringLiteral("instance_%1.txt").arg(k);
            const QRegularExpression written(QStringLiteral("\\b%1 seed (\\d+) ").arg(name));
            auto matches = written.globalMatch(log);
            QVERIFY2(matches.hasNext(), qPrintable(name));
            const QString seed = matches.next().captured(1);
            QVERIFY2(!matches.hasNext(), qPrintable(name + QStringLiteral(" written twice")));
            const QByteArray file = readAll(QDir(out).filePath(name));
            QVERIFY(parseInstance(file).instance);
            QVERIFY2(file.contains(", file seed " + seed.toLatin1() + "\n"), qPrintable(name));
        }
        QVERIFY(leftovers(out).isEmpty());
    }

    // Killed during a batch: no temporary file is left.
    void program_killed_leavesNothingHalf()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        writeFile(dir.filePath(QStringLiteral("in.txt")),
                  inputText(out).replace(" 2 \r\n", "100000\r\n"));
        QProcess process;
        process.start(generatorPath(), {dir.filePath(QStringLiteral("in.txt"))});
        const QString logPath = QDir(out).filePath(QStringLiteral("output.log"));
        QTRY_VERIFY_WITH_TIMEOUT(readAll(logPath).contains("instance_3.txt"), 30000);
        process.kill();
        QVERIFY(process.waitForFinished(30000));
        QVERIFY(leftovers(out).isEmpty());

        // The next batch there says that this one never finished, once.
        const QString killedId = QString::fromUtf8(readAll(logPath)).section(u' ', 2, 2);
        runBatch(smallBatch(out, 1), dir.path());
        runBatch(smallBatch(out, 1), dir.path());
        const QString log = QString::fromUtf8(readAll(logPath));
        QCOMPARE(log.count(QStringLiteral("note: batch %1 did not finish").arg(killedId)), 1);
    }

    // However a run ends, the files it named are listed: a signal that asks
    // it to stop gets the summary and a manifest of them, and a rerun takes
    // the files already there as its own and lists every file.
    void program_interrupted_rerunListsEveryFile_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("rerun");
        QTest::newRow("time limit (TERM)") << int(SIGTERM) << true;
        QTest::newRow("Ctrl-C (INT)") << int(SIGINT) << false;
        QTest::newRow("terminal closed (HUP)") << int(SIGHUP) << false;
        QTest::newRow("killed") << int(SIGKILL) << true;
    }
    void program_interrupted_rerunListsEveryFile()
    {
        QFETCH(int, signal);
        QFETCH(bool, rerun);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        const QString input = dir.filePath(QStringLiteral("in.txt"));
        writeFile(input, " 25 \r\n 7 \r\n 4 \r\n 1 \r\n" + QByteArray("0.5\r\n").repeated(6) +
                             " 8000 \r\n 1 \r\n 100 \r\n" + out.toUtf8() + "\r\n");
        QProcess process;
        process.start(generatorPath(), {input, QStringLiteral("--jobs"), QStringLiteral("1")});
        const QString logPath = QDir(out).filePath(QStringLiteral("output.log"));
        QTRY_VERIFY_WITH_TIMEOUT(readAll(logPath).contains("instance_3.txt"), 30000);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(60000));
        auto listed = [&out](const QString &name) {
            return readAll(QDir(out).filePath(name)).count("\ninstance_");
        };
        const qsizetype named = QDir(out).entryList({QStringLiteral("instance_*.txt")}).size();
        QVERIFY(named < 8000);
        if (signal != SIGKILL) {
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), 1);
            QVERIFY(logIn(out).contains(QStringLiteral("; stopped: interrupted")));
            QCOMPARE(listed(QStringLiteral("manifest.csv")), named);
        }
        if (!rerun)
            return;
        QCOMPARE(runProgram({input}).status, 0);
        const QString last =
            signal == SIGKILL ? QStringLiteral("manifest.csv") : QStringLiteral("manifest-2.csv");
        QCOMPARE(listed(last), 8000);
        QVERIFY(logIn(out).contains(QStringLiteral(" kept, 0 skipped, 0 failed, 0 not started")));
    }

    // Started detached, the program has no console: a refusal must reach a
    // log, the target folder's when line 14 names a usable one.
    void program_refusedInput_logged_data()
    {
        QTest::addColumn<QByteArray>("find");    // replaced in the valid text, empty: none
        QTest::addColumn<QByteArray>("replace"); // "missing": no input file at all
        QTest::addColumn<bool>("named");         // given as argument, not the app's default
        QTest::addColumn<bool>("inTarget");      // the target folder is there and takes the log
        QTest::addColumn<QString>("mentions");
        QTest::newRow("bad indicator, named file")
            << QByteArray("0.6\r\n") << QByteArray("1.6\r\n") << true << true << "line 6";
        QTest::newRow("bad indicator, app's file")
            << QByteArray("0.6\r\n") << QByteArray("1.6\r\n") << false << true << "line 6";
        QTest::newRow("bad seed, named file")
            << QByteArray(" 100 \r\n") << QByteArray("1.5\r\n") << true << true << "line 13";
        QTest::newRow("folder line missing")
            << QByteArray("/out\r\n") << QByteArray("/out") << true << false << "13 lines";
        QTest::newRow("target folder unusable")
            << QByteArray("0.6\r\n") << QByteArray("1.6\r\n") << true << false << "line 6";
        QTest::newRow("bad indicator, folder chain missing")
            << QByteArray("0.6\r\n") << QByteArray("1.6\r\n") << true << false << "line 6";
    }
    void program_refusedInput_logged()
    {
        QFETCH(QByteArray, find);
        QFETCH(QByteArray, replace);
        QFETCH(bool, named);
        QFETCH(bool, inTarget);
        QFETCH(QString, mentions);
        QTemporaryDir dir;
        QString out = dir.filePath(QStringLiteral("out"));
        if (QTest::currentDataTag() == QByteArray("target folder unusable")) {
            writeFile(dir.filePath(QStringLiteral("plainfile")), "x");
            out = dir.filePath(QStringLiteral("plainfile/out"));
        }
        if (QTest::currentDataTag() == QByteArray("bad indicator, folder chain missing"))
            out = dir.filePath(QStringLiteral("deep/er/out"));
        if (inTarget)
            QVERIFY(QDir().mkpath(out));
        QByteArray text = inputText(out);
        if (QTest::currentDataTag() == QByteArray("folder line missing"))
            text.chop(text.size() - text.lastIndexOf(" 100 \r\n") - 7);
        else
            text.replace(find, replace);
        const QString input =
            dir.filePath(named ? QStringLiteral("in.txt") : QString::fromLatin1(InputFileName));
        if (replace != "missing")
            writeFile(input, text);
        const Ran ran = runProgram(named ? QStringList{input} : QStringList{}, dir.path());
        QCOMPARE(ran.status, 2);
        QVERIFY2(QString::fromUtf8(ran.err).contains(mentions), ran.err.constData());

        const QString logPath =
            QDir(inTarget ? out : dir.path()).filePath(QStringLiteral("output.log"));
        const QString log = QString::fromUtf8(readAll(logPath));
        QVERIFY2(log.startsWith(QStringLiteral("== input refused ")), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("error: ")), qPrintable(log));
        QVERIFY2(log.contains(mentions), qPrintable(log));
        QVERIFY(!QFileInfo::exists(QDir(out).filePath(QStringLiteral("instance_1.txt"))));
        // Nothing generated: the target folder holds only the log of the
        // refusal, or is not made at all.
        if (inTarget) {
            QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
                     QStringList{QStringLiteral("output.log")});
            QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("output.log"))));
        } else {
            QCOMPARE(QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
        }
        if (replace != "missing" && !inTarget && find != QByteArray("/out\r\n"))
            QVERIFY2(log.contains(QStringLiteral("note: the target folder ") +
                                  QDir::toNativeSeparators(out) +
                                  QStringLiteral(" cannot be used")),
                     qPrintable(log));
    }

    // A start with no input-data file to read, by hand or by the app, leaves
    // nothing behind: no mark, no log; the app sees the process end.
    void program_missingFile_leavesNothing_data()
    {
        QTest::addColumn<bool>("named");
        QTest::newRow("named file") << true;
        QTest::newRow("app's file") << false;
    }
    void program_missingFile_leavesNothing()
    {
        QFETCH(bool, named);
        QTemporaryDir dir;
        const QString name =
            named ? QStringLiteral("nosuch.txt") : QString::fromLatin1(InputFileName);
        const Ran ran = runProgram(named ? QStringList{name} : QStringList{}, dir.path());
        QCOMPARE(ran.status, 2);
        QVERIFY2(ran.err.contains(name.toUtf8() + ": no such file"), ran.err.constData());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }

    // Careless or hostile use: refused at once, status 2, no folder made; or
    // run within the machine's limits.
    void program_hostileUse_data()
    {
        QTest::addColumn<QString>("shell"); // run first, in the folder of the files
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("mentions"); // on standard error or in a log
        QTest::newRow("64 jobs under 128 descriptors")
            << "ulimit -n 128;" << QStringList{"many.txt", "--jobs", "64"} << 0
            << "summary: 200 written, 0 kept, 0 skipped, 0 failed";
        QTest::newRow("newline in --out")
            << "" << QStringList{"--design", "design.txt", "--out", "a\nb"} << 2
            << "\"a\\nb\" holds a control character";
        QTest::newRow("CR in the input-data file's name")
            << "" << QStringList{"in\r.txt"} << 2 << "control character";
        QTest::newRow("--out not valid UTF-8") << "set -- \"$@\" \"$(printf 'caf\\351')\";"
                                               << QStringList{"--design", "design.txt", "--out"}
                                               << 2 << "is not valid in the locale's encoding";
        QTest::newRow("FIFO as the design") << "" << QStringList{"--design", "fifo", "--out", "out"}
                                            << 2 << "fifo: not a regular file";
        QTest::newRow("FIFO as the input-data file")
            << "" << QStringList{"fifo"} << 2 << "fifo: not a regular file";
        QTest::newRow("FIFO as an instance")
            << "" << QStringList{"--measure", "fifo"} << 2 << "fifo: not a regular file";
        QTest::newRow("FIFO as a roster")
            << "" << QStringList{"--check-roster", "instance.txt", "fifo"} << 2
            << "fifo: not a regular file";
        QTest::newRow("instance file beyond the limit, refused unread")
            << "truncate -s 300M big.txt; ulimit -d 200000;" << QStringList{"--measure", "big.txt"}
            << 2 << "big.txt: larger than 268435456 bytes";
        QTest::newRow("FIFO as rules")
            << "" << QStringList{"--check-roster", "instance.txt", "roster.txt", "fifo"} << 2
            << "fifo: not a regular file";
        QTest::newRow("%1 in the design's and the folder's names")
            << "cp design.txt 'd%1x.txt';" << QStringList{"--design", "d%1x.txt", "--out", "o%2ut"}
            << 0
            << "design: d%1x.txt, 1 cells, 1 files a cell, files 1 to 1, seed 100, folder o%2ut";
        QTest::newRow("--format with --merge")
            << "" << QStringList{"--format", "dzn", "--merge", "."} << 2
            << "--format does not go with --merge; try keldar-generate --merge --help";
        QTest::newRow("repeated option")
            << "" << QStringList{"--jobs", "1", "--jobs", "2", "in.txt"} << 2
            << "--jobs given twice";
        QTest::newRow("command without its operand")
            << "" << QStringList{"--solve"} << 2
            << "--solve needs PATH; try keldar-generate --solve --help";
        QTest::newRow("option of another command after the files")
            << "" << QStringList{"--convert", "instance.txt", "--jobs", "1"} << 2
            << "--jobs does not go with --convert";
        QTest::newRow("two commands") << "" << QStringList{"--solve", ".", "--merge", "."} << 2
                                      << "--solve and --merge do not go together";
        // Every name taken: the files are kept, and the run says why it
        // exits 1 and where its log is.
        QTest::newRow("a design again with another seed")
            << "\"$0\" --design design.txt --out o >/dev/null 2>&1; echo 'seed = 5' >> design.txt;"
            << QStringList{"--design", "design.txt", "--out", "o"} << 1
            << "keldar-generate: 0 written, 0 kept, 1 skipped, 0 failed, 0 not started; see "
               "o/output.log";
        QTest::newRow("-- ends the options")
            << "cp instance.txt ./--odd.txt;" << QStringList{"--measure", "--", "--odd.txt"} << 0
            << "";
        QTest::newRow("unknown option") << "" << QStringList{"--jobz", "2", "in.txt"} << 2
                                        << "unknown option '--jobz'; try keldar-generate --help";
    }
    void program_hostileUse()
    {
        QFETCH(QString, shell);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, mentions);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("in.txt")), inputText(QStringLiteral("out")));
        writeFile(dir.filePath(QStringLiteral("many.txt")),
                  inputText(QStringLiteral("out")).replace(" 2 \r\n", "200\r\n"));
        writeFile(dir.filePath(QStringLiteral("design.txt")),
                  "nurses = 10\ndays = 7\nshifts = 3\nfreeShift = yes\nperiodPreference = 0.4\n"
                  "dayPreference = 0.6\nshiftPreference = 0.3\ntotalCoverage = 0.5\n"
                  "dayCoverage = 0.3\nshiftCoverage = 0.2\ninstancesPerCell = 1\n");
        writeFile(dir.filePath(QStringLiteral("instance.txt")), "1 1 1 0\n1\n1 4\n");
        writeFile(dir.filePath(QStringLiteral("roster.txt")), "0\n");
        QCOMPARE(
            ::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral("/bin/sh"),
                      QStringList{QStringLiteral("-c"),
                                  shell + QStringLiteral(" exec \"$0\" \"$@\""), generatorPath()} +
                          args);
        const bool finished = process.waitForFinished(30000);
        if (!finished)
            process.kill();
        QVERIFY2(finished, "blocked");
        QCOMPARE(process.exitCode(), status);
        QString seen = QString::fromUtf8(process.readAllStandardError());
        for (QDirIterator logs(dir.path(), {QStringLiteral("output.log")}, QDir::Files,
                               QDirIterator::Subdirectories);
             logs.hasNext();)
            seen += QString::fromUtf8(readAll(logs.next()));
        QVERIFY2(seen.contains(mentions), qPrintable(seen));
        // Whatever went wrong is said, on one line when it is the usage.
        QVERIFY(status == 0 || !seen.isEmpty());
        if (mentions.contains(QLatin1String("try keldar-generate")))
            QCOMPARE(seen.count(u'\n'), 1);
        if (status == 2)
            QCOMPARE(QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
    }

    // Options go in any order: each command with its options before and
    // after its operands gives the same status and output.
    void program_optionOrder_data()
    {
        QTest::addColumn<QStringList>("one");
        QTest::addColumn<QStringList>("other");
        QTest::newRow("--convert")
            << QStringList{"--format", "ssb", "--rules", "week", "--convert", "A/instance_1.txt"}
            << QStringList{"--convert", "A/instance_1.txt", "--rules", "week", "--format", "ssb"};
        QTest::newRow("--solve") << QStringList{"--rules", "week",    "--time-limit",
                                                "5",       "--solve", "A"}
                                 << QStringList{"--solve", "A",       "--time-limit",
                                                "5",       "--rules", "week"};
        QTest::newRow("--measure")
            << QStringList{"--measure", "A/instance_1.txt", "A/instance_2.txt"}
            << QStringList{"--measure", "--", "A/instance_1.txt", "A/instance_2.txt"};
        QTest::newRow("a batch") << QStringList{"--jobs", "1", "in.txt", "--format", "dzn"}
                                 << QStringList{"in.txt", "--format", "dzn", "--jobs", "1"};
    }
    void program_optionOrder()
    {
        QFETCH(QStringList, one);
        QFETCH(QStringList, other);
        QByteArray seen[2];
        for (int run = 0; run < 2; ++run) {
            QTemporaryDir dir;
            writeFile(dir.filePath(QStringLiteral("in.txt")), inputText(QStringLiteral("A")));
            QCOMPARE(runProgram({QStringLiteral("in.txt")}, dir.path()).status, 0);
            const Ran ran = runProgram(run == 0 ? one : other, dir.path());
            seen[run] = QByteArray::number(ran.status) + '\n' + ran.out + ran.err;
            seen[run].replace(dir.path().toUtf8(), "DIR");
        }
        QCOMPARE(seen[0], seen[1]);
    }

    void program_versionAndHelp()
    {
        for (const char *option : {"--version", "-v"}) {
            const Ran version = runProgram({QLatin1String(option)});
            QCOMPARE(version.status, 0);
            QVERIFY2(version.out.startsWith("keldar-generate " KELDAR_VERSION " (build "),
                     version.out.constData());
        }
        const Ran help = runProgram({QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.contains("--measure"));
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"

#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <vector>

// Publishing a file: its bytes go into a file of the target folder that has
// no name yet, are made durable, and only then does the file get its name,
// never replacing anything that holds that name already.  The three steps
// are separate so that many files can share one sync.
namespace keldar::generator {

enum class Published { Written, Exists, Failed };

struct PublishResult {
    Published status = Published::Failed;
    int error = 0; // the system's error number when Failed
    QString reason() const;
};

// The system's words for an error number ("No space left on device").
QString systemReason(int error);

// A file written into a folder that does not have its name yet: unnamed
// where the file system allows it, otherwise under a temporary name of this
// host's and process's own pattern.  Dropped unnamed, it leaves nothing behind.
class PendingFile
{
public:
    PendingFile() = default;
    PendingFile(PendingFile &&other) noexcept;
    PendingFile &operator=(PendingFile &&other) noexcept;
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;
    ~PendingFile();

    bool isOpen() const { return fd_ >= 0; }
    // Whether it had to take a temporary name.
    bool hasTemporaryName() const { return !temporary_.isEmpty(); }

private:
    friend PublishResult prepare(const QString &, const QByteArray &, PendingFile &);
    friend PublishResult syncFiles(const std::vector<PendingFile *> &, bool);
    friend PublishResult giveName(PendingFile &, const QString &);
    void release();

    int fd_ = -1;
    int folderFd_ = -1;
    QByteArray temporary_; // name in the folder; empty for an unnamed file
};

// Writes the bytes into a new pending file in the folder.
PublishResult prepare(const QString &folder, const QByteArray &bytes, PendingFile &file);

// Forces pending files to disk.  With oneSync, a single sync of the file
// system holding the first stands for all, so they must share it (cheaper
// for many small files, but it also waits for other programs' writes
// there); otherwise each file is synced.  A pending file holds two
// descriptors, so groups stay at a few hundred files.
PublishResult syncFiles(const std::vector<PendingFile *> &files, bool oneSync = false);

// Gives a synced pending file its name in its folder, unless the name is
// taken (Exists, the file is dropped).  The file is closed either way.
PublishResult giveName(PendingFile &file, const QString &fileName);

// Forces the folder's entries to disk, so that names given survive a crash.
PublishResult syncFolder(const QString &folder);

// prepare, syncFiles and giveName for one file.
PublishResult publish(const QString &folder, const QString &fileName, const QByteArray &bytes);

// Publishes a small whole file under `name`, or under name-2, name-3, ...
// when that is taken: what an earlier run left is never replaced.  The name
// given, or an empty one with the reason in `why`.
QString publishBeside(const QString &folder, const QString &name, const QByteArray &bytes,
                      QString &why);

// Whether `path` is a regular file, not a link, holding exactly `bytes`.
bool holdsExactly(const QString &path, const QByteArray &bytes);

// publishBeside, unless the file at `name` already holds exactly these
// bytes: a run that changed nothing leaves no copy.  `already` tells which.
QString publishOnce(const QString &folder, const QString &name, const QByteArray &bytes,
                    QString &why, bool *already = nullptr);

// Removes temporary files of this program's naming in the folder that this
// host made and whose process is gone (interrupted batches); returns how
// many.  On a shared disk another host's process ids mean nothing here.
int removeStaleTemporaries(const QString &folder);

// This machine's name as temporary names and log headings carry it: letters,
// digits, '.', '-' and '_', anything else as '_'.
QString hostName();

// Whether a process of that id is running (on this machine).
bool processRunning(qint64 pid);

// Creates the folder and its missing parents; the system's reason on failure.
bool makeFolder(const QString &path, QString &reason);

// How many files were forced to disk, alone or by a shared sync, since the
// program started; lets tests see that no file skips it.
qint64 filesSynced();

// Writes all bytes to an open descriptor, retrying short writes; the error
// number on failure, 0 on success.  `folder` names where the file lies, for
// the disk-full seam below.
int writeAll(int fd, const QByteArray &bytes, const QString &folder);

// Seams for tests: the file system pretends to have no unnamed files or no
// hard links, or a folder's disk pretends to fill up after so many more bytes.
namespace faults {
void setUnnamedFilesAllowed(bool allowed);
void setHardLinksAllowed(bool allowed);
void setSpaceLeft(const QString &folder, qint64 bytes); // bytes < 0: no fault
} // namespace faults

} // namespace keldar::generator

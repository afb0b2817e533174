#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace keldar {

class DrivePaths;

// Everything the program asks of its host goes through here, so tests can
// answer in advance and see what was asked.  Paths given to these calls are
// host paths (already mapped).
class Host
{
public:
    virtual ~Host() = default;

    // Modal box with one OK button and no icon.
    virtual void messageBox(QWidget *parent, const QString &title, const QString &text) = 0;

    // Modal input box; nothing when the user cancels or closes it.
    virtual std::optional<QString> inputBox(QWidget *parent, const QString &prompt,
                                            const QString &title, const QString &proposal) = 0;

    // Modal folder chooser owned by `owner`; "" on cancel.
    virtual QString chooseFolder(QWidget *owner, const QString &prompt) = 0;

    // Starts a program without waiting for it; its process id, or nothing
    // when it could not be started.
    virtual std::optional<qint64> startProgram(const QString &program, const QStringList &arguments,
                                               const QString &workingDirectory) = 0;

    // Whether a process started by startProgram still runs.
    virtual bool isProcessRunning(qint64 pid) = 0;

    // Opens a document in the desktop's viewer for it, without waiting.
    virtual bool openDocument(const QString &path) = 0;

    // Removes a file; true when it is gone afterwards (also when it was
    // never there).
    virtual bool deleteFile(const QString &path) = 0;

    // Makes `path` the process's current directory.
    virtual bool setCurrentDirectory(const QString &path) = 0;

    // Where the program's drive paths live on this host.
    virtual const DrivePaths &drivePaths() const = 0;

    // Ends the program at once, without closing handlers.
    virtual void endProgram() = 0;
};

} // namespace keldar

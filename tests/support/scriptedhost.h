#pragma once

#include "ui/drivepaths.h"
#include "ui/host.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace keldar::test {

// A host that answers from a script and records what it was asked.  Boxes
// are answered at once (no window appears) unless `realBoxes` is set, in
// which case the real Qt boxes run and the test must answer them itself;
// the folder chooser then still takes a scripted answer when there is one.
class ScriptedHost : public Host
{
public:
    explicit ScriptedHost(DrivePaths paths);

    struct Message {
        QString title;
        QString text;
        QString focusedField; // object name of the focus widget while it showed
        QString fieldText;    // that widget's text while it showed
    };
    QList<Message> messages;
    // Runs while a message box "is open", before it returns.
    std::function<void(const Message &)> onMessage;

    struct InputRequest {
        QString prompt, title, proposal;
    };
    QList<InputRequest> inputRequests;
    QList<std::optional<QString>> inputAnswers; // nothing = Cancel

    QList<QString> folderPrompts;
    QList<QString> folderAnswers; // "" = Cancel

    struct Start {
        QString program;
        QStringList arguments;
        QString workingDirectory;
    };
    QList<Start> starts;
    bool startSucceeds = true;
    // Runs when a program is "started"; may inspect the files it would see.
    std::function<void(const Start &)> onStart;
    bool processRunning = false;
    // Programs are started for real (so a test can watch a stand-in run),
    // and asked after for real; they are recorded all the same.
    bool realStarts = false;

    QStringList documentsOpened;
    bool openSucceeds = true;

    QStringList deleted;
    QStringList currentDirectories;
    int endProgramCalls = 0;

    bool realBoxes = false;

    void messageBox(QWidget *parent, const QString &title, const QString &text) override;
    std::optional<QString> inputBox(QWidget *parent, const QString &prompt, const QString &title,
                                    const QString &proposal) override;
    QString chooseFolder(QWidget *owner, const QString &prompt) override;
    std::optional<qint64> startProgram(const QString &program, const QStringList &arguments,
                                       const QString &workingDirectory) override;
    bool isProcessRunning(qint64 pid) override;
    bool openDocument(const QString &path) override;
    bool deleteFile(const QString &path) override;
    bool setCurrentDirectory(const QString &path) override;
    const DrivePaths &drivePaths() const override { return m_paths; }
    void endProgram() override;

    QStringList messageTexts() const;

private:
    DrivePaths m_paths;
};

// Answers the next modal box the real Qt boxes show: waits until one is up,
// records its text and lets `act` press its buttons or type into it.
// Polls every 50 ms from a timer, so it works inside the box's own loop.
class ModalAnswerer
{
public:
    using Action = std::function<void(QWidget *box)>;
    // Schedules `act` for the next modal box that appears.
    static void answerNext(Action act);
    // Text of a QMessageBox, or the label of an input dialog.
    static QString boxText(QWidget *box);
};

} // namespace keldar::test

#include "tests/support/scriptedhost.h"

#include "app/qthost.h"

#include <QApplication>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

namespace keldar::test {

ScriptedHost::ScriptedHost(DrivePaths paths) : m_paths(std::move(paths)) {}

void ScriptedHost::messageBox(QWidget *parent, const QString &title, const QString &text)
{
    Message m{title, text, {}, {}};
    if (QWidget *f = QApplication::focusWidget()) {
        m.focusedField = f->objectName();
        if (auto *edit = qobject_cast<QLineEdit *>(f))
            m.fieldText = edit->text();
    }
    messages.append(m);
    if (realBoxes) {
        QtHost(m_paths).messageBox(parent, title, text);
    }
    if (onMessage)
        onMessage(m);
}

std::optional<QString> ScriptedHost::inputBox(QWidget *parent, const QString &prompt,
                                              const QString &title, const QString &proposal)
{
    inputRequests.append({prompt, title, proposal});
    if (realBoxes)
        return QtHost(m_paths).inputBox(parent, prompt, title, proposal);
    return inputAnswers.isEmpty() ? std::nullopt : inputAnswers.takeFirst();
}

QString ScriptedHost::chooseFolder(QWidget *owner, const QString &prompt)
{
    folderPrompts.append(prompt);
    if (realBoxes && folderAnswers.isEmpty()) {
        QtHost real(m_paths);
        real.setNativeDialogs(false);
        return real.chooseFolder(owner, prompt);
    }
    return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
}

std::optional<qint64> ScriptedHost::startProgram(const QString &program,
                                                 const QStringList &arguments,
                                                 const QString &workingDirectory)
{
    Start s{program, arguments, workingDirectory};
    starts.append(s);
    if (onStart)
        onStart(s);
    if (!startSucceeds)
        return std::nullopt;
    return 4242;
}

bool ScriptedHost::isProcessRunning(qint64)
{
    return processRunning;
}

bool ScriptedHost::openDocument(const QString &path)
{
    documentsOpened.append(path);
    return openSucceeds;
}

bool ScriptedHost::deleteFile(const QString &path)
{
    deleted.append(path);
    QFile file(path);
    return file.remove() || !file.exists();
}

bool ScriptedHost::setCurrentDirectory(const QString &path)
{
    // The test process keeps its own directory.
    currentDirectories.append(path);
    return true;
}

void ScriptedHost::endProgram()
{
    ++endProgramCalls;
}

QStringList ScriptedHost::messageTexts() const
{
    QStringList texts;
    for (const Message &m : messages)
        texts.append(m.text);
    return texts;
}

void ModalAnswerer::answerNext(Action act)
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(50);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box || !box->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(box);
    });
    timer->start();
}

QString ModalAnswerer::boxText(QWidget *box)
{
    if (auto *mb = qobject_cast<QMessageBox *>(box))
        return mb->text();
    if (auto *in = qobject_cast<QInputDialog *>(box))
        return in->labelText();
    return {};
}

} // namespace keldar::test

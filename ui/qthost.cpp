#include "ui/qthost.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <QUrl>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#endif

namespace keldar {

QtHost::QtHost(DrivePaths paths) : m_paths(std::move(paths)) {}

void QtHost::messageBox(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    // Asked for once shown, not left to the window manager: a box that comes
    // after a wait, as the generator's verdict does, may otherwise open
    // unfocused where focus stealing is prevented, and Enter answer nothing.
    QTimer::singleShot(0, &box, [&box] { box.activateWindow(); });
    box.exec();
}

std::optional<QString> QtHost::inputBox(QWidget *parent, const QString &prompt,
                                        const QString &title, const QString &proposal)
{
    bool ok = false;
    const QString answer =
        QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, proposal, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

QString QtHost::chooseFolder(QWidget *owner, const QString &prompt)
{
    QFileDialog::Options options = QFileDialog::ShowDirsOnly;
    if (!m_nativeDialogs)
        options |= QFileDialog::DontUseNativeDialog;
    // No folder of the program's own is offered: the chooser opens at home.
    const QString dir = QFileDialog::getExistingDirectory(owner, prompt, QDir::homePath(), options);
    return dir.isEmpty() ? QString() : QDir::toNativeSeparators(dir);
}

std::optional<qint64> QtHost::startProgram(const QString &program, const QStringList &arguments,
                                           const QString &workingDirectory)
{
    // startDetached would start the program in our own directory instead.
    if (!workingDirectory.isEmpty() && !QFileInfo(workingDirectory).isDir())
        return std::nullopt;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingDirectory);
    qint64 pid = 0;
    if (!process.startDetached(&pid))
        return std::nullopt;
    return pid;
}

bool QtHost::isProcessRunning(qint64 pid)
{
#ifdef Q_OS_UNIX
    if (pid <= 0)
        return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
        return false;
    // A process that has ended but not been reaped yet is no longer running.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        if (close >= 0 && close + 2 < line.size() && line.at(close + 2) == 'Z')
            return false;
    }
    return true;
#else
    // No cheap check here: count on the generator's read mark (or the
    // bounded wait) instead.
    return pid > 0;
#endif
}

bool QtHost::openDocument(const QString &path)
{
    if (!QFileInfo::exists(path))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtHost::deleteFile(const QString &path)
{
    QFile file(path);
    return file.remove() || !file.exists();
}

bool QtHost::setCurrentDirectory(const QString &path)
{
    return QDir::setCurrent(path);
}

void QtHost::endProgram()
{
    // No closing handlers run and no window stays on screen; the main event
    // loop returns as soon as the caller's handler has.
    for (QWidget *w : QApplication::topLevelWidgets())
        w->hide();
    QCoreApplication::exit(0);
}

} // namespace keldar

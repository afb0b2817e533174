#include "app/program.h"

#include "app/keldar.h"
#include "dialogs/frmcontinueanotherform.h"
#include "dialogs/frmdistributiongrades.h"
#include "dialogs/frmoutput.h"
#include "generation/frmfilegeneration.h"
#include "generation/readwait.h"
#include "generator/input/handshake.h"
#include "ui/drivepaths.h"
#include "ui/host.h"
#include "ui/windowroles.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

namespace keldar {

Program::Program(Host &host) : m_host(host), m_readTimeoutMs(generation::ReadTimeoutMs)
{
    // Before any window exists, so that none is ever described without its role.
    installWindowRoles({{&FrmFileGeneration::staticMetaObject, QAccessible::Window},
                        {&frmContinueanotherForm::staticMetaObject, QAccessible::Dialog},
                        {&FrmOutput::staticMetaObject, QAccessible::Window},
                        {&FrmDistributionGrades::staticMetaObject, QAccessible::Window}});
    makeMainWindow();
    m_fileGeneration = std::make_unique<FrmFileGeneration>(host, m_model);
    m_continueForm = std::make_unique<frmContinueanotherForm>(host);
    m_about = std::make_unique<FrmOutput>(host);
    m_distributionGrades = std::make_unique<FrmDistributionGrades>(host);

    const auto unloaded = [this] {
        windowUnloaded();
    };
    m_fileGeneration->setUnloadHandler(unloaded);
    m_continueForm->setUnloadHandler(unloaded);
    m_about->setUnloadHandler(unloaded);
    m_distributionGrades->setUnloadHandler(unloaded);

    FrmFileGeneration *fileGeneration = m_fileGeneration.get();
    QObject::connect(fileGeneration, &FrmFileGeneration::loaded, &m_context,
                     [this] { m_keldar->hide(); });
    QObject::connect(fileGeneration, &FrmFileGeneration::settingsChangeRequested, &m_context,
                     [this] { changeSettings(); });
    QObject::connect(fileGeneration, &FrmFileGeneration::batchStarted, &m_context,
                     [this](qint64 pid) { batchStarted(pid); });
    frmContinueanotherForm *dialog = m_continueForm.get();
    QObject::connect(dialog, &frmContinueanotherForm::loaded, &m_context,
                     [this] { batchFinished(); });
    QObject::connect(dialog, &frmContinueanotherForm::continueChosen, &m_context,
                     [this] { continueBatch(); });
    QObject::connect(dialog, &frmContinueanotherForm::endChosen, &m_context, [this] { end(); });
}

Program::~Program()
{
    // Windows may be busy with each other's signals while they go; unload
    // them first, without asking whether anything is left to show.
    m_ending = true;
    m_distributionGrades->unload();
    m_about->unload();
    m_continueForm->unload();
    m_fileGeneration->unload();
    m_keldar->unload();
    // Discarded controls wait for the event loop, which has ended by now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void Program::makeMainWindow()
{
    m_keldar = std::make_unique<KELDAR>(m_host, m_model);
    m_keldar->setUnloadHandler([this] { windowUnloaded(); });
    KELDAR *main = m_keldar.get();
    QObject::connect(main, &KELDAR::inputConfirmed, &m_context, [this] { confirmInput(); });
    QObject::connect(main, &KELDAR::aboutRequested, &m_context, [this] { showAbout(); });
    QObject::connect(main, &KELDAR::exitChosen, &m_context, [this] { end(); });
}

void Program::start()
{
    m_keldar->show();
}

void Program::confirmInput()
{
    // Loading it hides the main window (see the connection above).
    m_fileGeneration->load();
    m_fileGeneration->show();
}

void Program::changeSettings()
{
    m_keldar->returnToProblemSize();
}

void Program::batchStarted(qint64 pid)
{
    const QString mark =
        m_host.drivePaths().map(paths::InputDataFile) + QLatin1String(generator::ReadMarkSuffix);
    m_fileGeneration->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    generation::waitUntilRead(
        [this](qint64 p) { return m_host.isProcessRunning(p); }, pid, mark, m_readTimeoutMs,
        m_continueForm.get(),
        [this, mark](generation::ReadWait outcome) {
            QApplication::restoreOverrideCursor();
            m_fileGeneration->setEnabled(true);
            if (!m_fileGeneration->reportVerdict(generation::verdictIn(mark))) {
                // Taken and refused: nothing is left to wait for.
                m_host.deleteFile(m_host.drivePaths().map(paths::InputDataFile));
                m_host.deleteFile(mark);
                return;
            }
            m_continueForm->openAfterRead(outcome != generation::ReadWait::TimedOut);
        });
}

void Program::batchFinished()
{
    m_fileGeneration->hide();
    m_fileGeneration->unload();
}

void Program::continueBatch()
{
    // The old main window has no controls left and nothing refers to it but
    // this program; its successor starts where a program starts, while the
    // model keeps the file numbering.
    m_keldar->unload();
    makeMainWindow();
    m_keldar->show();
}

void Program::showAbout()
{
    m_about->load();
    m_about->show();
}

void Program::end()
{
    if (m_ending)
        return;
    m_ending = true;
    m_host.endProgram();
}

void Program::windowUnloaded()
{
    QTimer::singleShot(0, &m_context, [this] {
        if (!m_ending && !anyWindowShown())
            end();
    });
}

bool Program::anyWindowShown() const
{
    const QWidget *windows[] = {m_keldar.get(), m_fileGeneration.get(), m_continueForm.get(),
                                m_about.get(), m_distributionGrades.get()};
    for (const QWidget *w : windows)
        if (w->isVisible())
            return true;
    return false;
}

} // namespace keldar

#include "app/program.h"

#include "app/host.h"
#include "app/keldar.h"
#include "app/windowroles.h"
#include "dialogs/frmcontinueanotherform.h"
#include "dialogs/frmdistributiongrades.h"
#include "dialogs/frmoutput.h"
#include "generation/frmfilegeneration.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

namespace keldar {

Program::Program(Host &host) : m_host(host)
{
    // Before any window exists, so that none is ever described without its role.
    installWindowRoles();
    m_keldar = std::make_unique<KELDAR>(*this);
    m_fileGeneration = std::make_unique<FrmFileGeneration>(*this);
    m_continueForm = std::make_unique<frmContinueanotherForm>(*this);
    m_about = std::make_unique<FrmOutput>(*this);
    m_distributionGrades = std::make_unique<FrmDistributionGrades>(*this);
}

Program::~Program()
{
    // Windows may refer to each other while they go; unload them first.
    m_distributionGrades->unload();
    m_about->unload();
    m_continueForm->unload();
    m_fileGeneration->unload();
    m_keldar->unload();
    // Discarded controls wait for the event loop, which has ended by now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void Program::start()
{
    m_keldar->show();
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
    QTimer::singleShot(0, m_keldar.get(), [this] {
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

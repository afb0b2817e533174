#include "dialogs/frmcontinueanotherform.h"

#include "generator/input/handshake.h"
#include "ui/drivepaths.h"
#include "ui/host.h"
#include "ui_frmcontinueanotherform.h"

#include <QCloseEvent>

namespace keldar {

frmContinueanotherForm::frmContinueanotherForm(Host &host) : Form(host)
{
    setWindowTitle(QStringLiteral("KELDAR"));
}

frmContinueanotherForm::~frmContinueanotherForm() = default;

void frmContinueanotherForm::buildControls()
{
    ui = std::make_unique<Ui::frmContinueanotherForm>();
    ui->setupUi(this);
    setFixedSize(size());
    connect(ui->cmdContinueYes, &QPushButton::clicked, this,
            &frmContinueanotherForm::cmdContinueYes_Click);
    connect(ui->cmdContinueNo, &QPushButton::clicked, this,
            &frmContinueanotherForm::cmdContinueNo_Click);
}

void frmContinueanotherForm::discardControls()
{
    discardChildControls(this);
    ui.reset();
}

void frmContinueanotherForm::openAfterRead(bool inputTaken)
{
    m_inputTaken = inputTaken;
    load();
    show();
    // Asked for, not left to the window manager: one that prevents focus
    // stealing may leave a window opened without a click unfocused, and
    // Enter would then answer nothing.
    activateWindow();
}

void frmContinueanotherForm::Form_Load()
{
    Host &host = this->host();
    const QString file = host.drivePaths().map(paths::InputDataFile);

    // A generator that has not taken the file in the time allowed may still
    // do so: the file stays then, and the next batch replaces it.
    if (m_inputTaken) {
        host.deleteFile(file);
        host.deleteFile(file + QLatin1String(generator::ReadMarkSuffix));
    }
    m_inputTaken = true;

    Q_EMIT loaded();

    ui->cmdContinueYes->setFocus();
}

void frmContinueanotherForm::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (isLoaded())
        cmdContinueYes_Click();
}

void frmContinueanotherForm::cmdContinueYes_Click()
{
    unload();
    Q_EMIT continueChosen();
}

void frmContinueanotherForm::cmdContinueNo_Click()
{
    unload();
    Q_EMIT endChosen();
}

} // namespace keldar

#include "dialogs/frmcontinueanotherform.h"

#include "app/drivepaths.h"
#include "app/host.h"
#include "app/keldar.h"
#include "app/program.h"
#include "generation/frmfilegeneration.h"
#include "generation/readwait.h"
#include "generator/handshake.h"
#include "ui_frmcontinueanotherform.h"

#include <QApplication>
#include <QCloseEvent>

namespace keldar {

frmContinueanotherForm::frmContinueanotherForm(Program &program)
    : Form(program), m_readTimeoutMs(generation::ReadTimeoutMs)
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

void frmContinueanotherForm::openOnceRead(qint64 pid)
{
    Host &host = program().host();
    const QString mark =
        host.drivePaths().map(paths::InputDataFile) + QLatin1String(generator::ReadMarkSuffix);
    program().fileGeneration().setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    generation::waitUntilRead(host, pid, mark, m_readTimeoutMs, this,
                              [this](generation::ReadWait outcome) {
                                  QApplication::restoreOverrideCursor();
                                  program().fileGeneration().setEnabled(true);
                                  m_inputTaken = outcome != generation::ReadWait::TimedOut;
                                  load();
                                  show();
                              });
}

void frmContinueanotherForm::Form_Load()
{
    Host &host = program().host();
    const QString file = host.drivePaths().map(paths::InputDataFile);

    // A generator that has not taken the file in the time allowed may still
    // do so: the file stays then, and the next batch replaces it.
    if (m_inputTaken) {
        host.deleteFile(file);
        host.deleteFile(file + QLatin1String(generator::ReadMarkSuffix));
    }
    m_inputTaken = true;

    FrmFileGeneration &fileGeneration = program().fileGeneration();
    fileGeneration.hide();
    fileGeneration.unload();

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
    KELDAR &main = program().keldar();
    main.unload();
    main.show();
}

void frmContinueanotherForm::cmdContinueNo_Click()
{
    unload();
    program().end();
}

} // namespace keldar

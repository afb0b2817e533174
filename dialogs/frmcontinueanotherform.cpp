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

void frmContinueanotherForm::Form_Load()
{
    Host &host = program().host();
    const QString file = host.drivePaths().map(paths::InputDataFile);
    const QString mark = file + QLatin1String(generator::ReadMarkSuffix);

    // The generator reads the file as it starts; do not pull it away first.
    // One that has not taken it in the time allowed may still do so: the
    // file stays then, and the next batch replaces it.
    bool read = true;
    if (m_generator) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        read = generation::waitUntilRead(host, *m_generator, mark, m_readTimeoutMs) !=
               generation::ReadWait::TimedOut;
        QApplication::restoreOverrideCursor();
    }
    m_generator.reset();
    if (read) {
        host.deleteFile(file);
        host.deleteFile(mark);
    }

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

#include "dialogs/frmoutput.h"

#include "buildinfo/buildid.h"
#include "ui_frmoutput.h"

#include <QLabel>
#include <QPushButton>

namespace keldar {

FrmOutput::FrmOutput(Host &host) : Form(host)
{
    setWindowTitle(QStringLiteral("About KELDAR"));
}

FrmOutput::~FrmOutput() = default;

void FrmOutput::setVisible(bool visible)
{
    const bool wasShown = isVisible();
    Form::setVisible(visible);
    if (visible && wasShown) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        raise();
        activateWindow();
    }
}

void FrmOutput::buildControls()
{
    ui = std::make_unique<Ui::FrmOutput>();
    ui->setupUi(this);
    setFixedSize(463, 368);
    // The notice line names the version, as keldar --version does.
    ui->Label7->setText(QStringLiteral("v" KELDAR_VERSION " \u00a9 2026"));
    // The reference and the address come from the build (CITATION.cff and
    // KELDAR_HOMEPAGE), so they change in one place; a build given no
    // address shows none rather than one that reaches nobody.
    ui->Label13->setText(QStringLiteral(KELDAR_CITATION));
    ui->Label11->setText(QStringLiteral(KELDAR_HOMEPAGE));
    ui->Label11->setVisible(!ui->Label11->text().isEmpty());
    // The commit, as keldar-generate --version and its problem reports name it.
    ui->lblBuild->setText(QStringLiteral("Build ") + QLatin1String(buildId()));

    // Every label in the system's dark-shadow colour; none reacts to clicks,
    // not even the address lines.
    for (QLabel *label : findChildren<QLabel *>()) {
        label->setForegroundRole(QPalette::Shadow);
        label->setTextInteractionFlags(Qt::NoTextInteraction);
        label->setOpenExternalLinks(false);
    }

    connect(ui->CmdOutputok, &QPushButton::clicked, this, &FrmOutput::CmdOutputok_Click);
}

void FrmOutput::discardControls()
{
    discardChildControls(this);
    ui.reset();
}

void FrmOutput::Form_Load()
{
    show();
}

void FrmOutput::CmdOutputok_Click()
{
    hide();
    unload();
}

} // namespace keldar

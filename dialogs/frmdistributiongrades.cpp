#include "dialogs/frmdistributiongrades.h"

#include "ui_frmdistributiongrades.h"

namespace keldar {

FrmDistributionGrades::FrmDistributionGrades(Host &host) : Form(host)
{
    setWindowTitle(QStringLiteral("Distribution Hierarchy Levels"));
}

FrmDistributionGrades::~FrmDistributionGrades() = default;

void FrmDistributionGrades::buildControls()
{
    ui = std::make_unique<Ui::FrmDistributionGrades>();
    ui->setupUi(this);
    setFixedSize(437, 368);
}

void FrmDistributionGrades::discardControls()
{
    discardChildControls(this);
    ui.reset();
}

} // namespace keldar

#include "app/keldar.h"

#include "ui/tutorial.h"
#include "ui_keldar.h"

#include <QFrame>
#include <QPushButton>
#include <QTabBar>

namespace keldar {

KELDAR::KELDAR(Host &host, BatchModel &model) : Form(host), m_model(model)
{
    setWindowTitle(QStringLiteral("KELDAR"));
}

KELDAR::~KELDAR() = default;

void KELDAR::buildControls()
{
    ui = std::make_unique<Ui::KELDAR>();
    ui->setupUi(this);
    // The client area is fixed by the design; the menu bar comes on top.
    const QSize client(464, 455);
    centralWidget()->setFixedSize(client);
    setFixedSize(client.width(), client.height() + menuBar()->sizeHint().height());

    // Welcome page colours: a workspace grey title, dark credit lines.
    ui->lblKELDAR->setForegroundRole(QPalette::Mid);
    for (QWidget *credit :
         {ui->Label3, ui->Label10, ui->Label4, ui->Label8, ui->Label6, ui->Label7, ui->Label9})
        credit->setForegroundRole(QPalette::Shadow);

    // A click on a tab leaves the field being edited like a click on any
    // other control, so the tab strip takes the focus on click.
    ui->TabStrip1->tabBar()->setFocusPolicy(Qt::StrongFocus);
    // All four tabs stay in view, as on a tab strip, even with wide fonts.
    ui->TabStrip1->setUsesScrollButtons(false);
    // The wheel would switch pages without the focus ever leaving the field
    // being edited, so its check would never run.
    ui->TabStrip1->tabBar()->installEventFilter(this);
    ui->TabStrip1->setElideMode(Qt::ElideRight);
    ui->TabStrip1->tabBar()->setAccessibleName(QStringLiteral("Pages"));

    connectFieldEvents();

    connect(ui->TabStrip1, &QTabWidget::currentChanged, this, [this] {
        if (!m_selectingTab)
            TabStrip1_Click();
    });
    // A click on the tab already selected shows its page again.
    connect(ui->TabStrip1, &QTabWidget::tabBarClicked, this, [this](int index) {
        if (index == ui->TabStrip1->currentIndex())
            TabStrip1_Click();
    });
    // Enter clicks a focused button, but Enter in a box confirms nothing.
    ui->cmdGenerate->setAutoDefault(true);
    connect(ui->cmdGenerate, &QPushButton::clicked, this, &KELDAR::cmdGenerate_Click);
    connect(ui->mnuNew, &QAction::triggered, this, &KELDAR::mnuNew_Click);
    connect(ui->mnuSeed, &QAction::triggered, this, &KELDAR::mnuSeed_Click);
    connect(ui->mnuExit, &QAction::triggered, this, &KELDAR::mnuExit_Click);
    connect(ui->mnuTutorial, &QAction::triggered, this, &KELDAR::mnuTutorial_Click);
    connect(ui->mnuInfo, &QAction::triggered, this, &KELDAR::mnuInfo_Click);
}

void KELDAR::discardControls()
{
    if (QWidget *central = takeCentralWidget()) {
        central->hide();
        central->setParent(nullptr);
        central->deleteLater();
    }
    setMenuBar(nullptr);
    discardChildControls(this);
    ui.reset();
}

void KELDAR::Form_Load()
{
    ui->frmWelcome->setVisible(true);
    ui->frmProblem->setVisible(false);
    ui->frmPreference->setVisible(false);
    ui->frmCoverage->setVisible(false);
    ui->frmWelcome->raise();
    m_model.mainWindowLoaded();
}

std::array<QWidget *, 4> KELDAR::pageFrames() const
{
    return {ui->frmWelcome, ui->frmProblem, ui->frmPreference, ui->frmCoverage};
}

QWidget *KELDAR::showPageFrame(Page page)
{
    const std::array<QWidget *, 4> frames = pageFrames();
    QWidget *shown = frames[page - 1];
    shown->setVisible(true);
    for (QWidget *frame : frames)
        if (frame != shown)
            frame->setVisible(false);
    return shown;
}

void KELDAR::showPage(Page page)
{
    showPageFrame(page)->raise();
}

int KELDAR::shownPage() const
{
    if (!ui)
        return 0;
    const std::array<QWidget *, 4> frames = pageFrames();
    for (int i = 0; i < 4; ++i)
        if (!frames[i]->isHidden())
            return i + 1;
    return 0;
}

int KELDAR::selectedTab() const
{
    return ui ? ui->TabStrip1->currentIndex() + 1 : 0;
}

void KELDAR::selectTab(int index)
{
    m_selectingTab = true;
    ui->TabStrip1->setCurrentIndex(index - 1);
    m_selectingTab = false;
}

void KELDAR::returnToProblemSize()
{
    show();
    showPage(ProblemSize);
    ui->txtNurses->setFocus();
}

void KELDAR::TabStrip1_Click()
{
    const int index = selectedTab();
    QWidget *shown = showPageFrame(Page(index));
    // "Yes" is only the default: an answer given before is kept.
    if (index == ProblemSize && !ui->Optyes->isChecked() && !ui->optNo->isChecked())
        ui->Optyes->setChecked(true);
    shown->raise();

    if (index == ProblemSize)
        ui->txtNurses->setFocus();
    else if (index == Preference)
        ui->txtShiftPreferenceDistribution->setFocus();
    else if (index == Coverage)
        ui->txtTotalConstrainedness->setFocus();
}

bool KELDAR::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Wheel && ui && watched == ui->TabStrip1->tabBar())
        return true;
    return Form::eventFilter(watched, event);
}

void KELDAR::mnuExit_Click()
{
    unload();
    Q_EMIT exitChosen();
}

void KELDAR::mnuTutorial_Click()
{
    openTutorial(host(), this);
}

void KELDAR::mnuInfo_Click()
{
    Q_EMIT aboutRequested();
}

} // namespace keldar

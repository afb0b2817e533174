#include "app/keldar.h"

#include "app/fieldevents.h"
#include "app/host.h"
#include "app/program.h"
#include "app/tutorial.h"
#include "dialogs/frmoutput.h"
#include "generation/frmfilegeneration.h"
#include "params/fieldchecks.h"
#include "params/numbers.h"
#include "ui_keldar.h"

#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>

namespace keldar {

KELDAR::KELDAR(Program &program) : Form(program)
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

    using namespace fieldevents;
    const struct {
        QLineEdit *field;
        void (KELDAR::*gotFocus)();
        void (KELDAR::*validate)(bool &);
    } fields[] = {
        {ui->txtNurses, &KELDAR::txtNurses_GotFocus, &KELDAR::txtNurses_Validate},
        {ui->txtDays, &KELDAR::txtDays_GotFocus, &KELDAR::txtDays_Validate},
        {ui->txtShifts, &KELDAR::txtShifts_GotFocus, &KELDAR::txtShifts_Validate},
        {ui->txtShiftPreferenceDistribution, &KELDAR::txtShiftPreferenceDistribution_GotFocus,
         &KELDAR::txtShiftPreferenceDistribution_Validate},
        {ui->txtDayPrefereenceDistribution, &KELDAR::txtDayPrefereenceDistribution_GotFocus,
         &KELDAR::txtDayPrefereenceDistribution_Validate},
        {ui->txtPeriodPreferenceDistribution, &KELDAR::txtPeriodPreferenceDistribution_GotFocus,
         &KELDAR::txtPeriodPreferenceDistribution_Validate},
        {ui->txtTotalConstrainedness, &KELDAR::txtTotalConstrainedness_GotFocus,
         &KELDAR::txtTotalConstrainedness_Validate},
        {ui->txtDayCoverageDistribution, &KELDAR::txtDayCoverageDistribution_GotFocus,
         &KELDAR::txtDayCoverageDistribution_Validate},
        {ui->txtShiftCoverageDistribution, &KELDAR::txtShiftCoverageDistribution_GotFocus,
         &KELDAR::txtShiftCoverageDistribution_Validate},
    };
    for (const auto &f : fields) {
        onGotFocus(f.field, [this, h = f.gotFocus] { (this->*h)(); });
        onValidate(f.field, [this, h = f.validate](bool &cancel) { (this->*h)(cancel); });
    }

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
    m_parameters.seed = DefaultSeed;
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
    if (index == ProblemSize)
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
    program().end();
}

void KELDAR::mnuTutorial_Click()
{
    openTutorial(program().host(), this);
}

void KELDAR::mnuInfo_Click()
{
    FrmOutput &about = program().about();
    about.load();
    about.show();
}

void KELDAR::txtNurses_GotFocus()
{
    fieldevents::selectWholeText(ui->txtNurses);
}
void KELDAR::txtDays_GotFocus()
{
    fieldevents::selectWholeText(ui->txtDays);
}
void KELDAR::txtShifts_GotFocus()
{
    fieldevents::selectWholeText(ui->txtShifts);
}
void KELDAR::txtShiftPreferenceDistribution_GotFocus()
{
    fieldevents::selectWholeText(ui->txtShiftPreferenceDistribution);
}
void KELDAR::txtDayPrefereenceDistribution_GotFocus()
{
    fieldevents::selectWholeText(ui->txtDayPrefereenceDistribution);
}
void KELDAR::txtPeriodPreferenceDistribution_GotFocus()
{
    fieldevents::selectWholeText(ui->txtPeriodPreferenceDistribution);
}
void KELDAR::txtTotalConstrainedness_GotFocus()
{
    fieldevents::selectWholeText(ui->txtTotalConstrainedness);
}
void KELDAR::txtDayCoverageDistribution_GotFocus()
{
    fieldevents::selectWholeText(ui->txtDayCoverageDistribution);
}
void KELDAR::txtShiftCoverageDistribution_GotFocus()
{
    fieldevents::selectWholeText(ui->txtShiftCoverageDistribution);
}

void KELDAR::txtNurses_Validate(bool &cancel)
{
    validateField(ui->txtNurses, &checks::checkCount, cancel);
}
void KELDAR::txtDays_Validate(bool &cancel)
{
    validateField(ui->txtDays, &checks::checkCount, cancel);
}
void KELDAR::txtShifts_Validate(bool &cancel)
{
    validateField(ui->txtShifts, &checks::checkCount, cancel);
}
void KELDAR::txtShiftPreferenceDistribution_Validate(bool &cancel)
{
    validateField(ui->txtShiftPreferenceDistribution, &checks::checkIndicator, cancel);
}
void KELDAR::txtDayPrefereenceDistribution_Validate(bool &cancel)
{
    validateField(ui->txtDayPrefereenceDistribution, &checks::checkIndicator, cancel);
}
void KELDAR::txtPeriodPreferenceDistribution_Validate(bool &cancel)
{
    validateField(ui->txtPeriodPreferenceDistribution, &checks::checkIndicator, cancel);
}
void KELDAR::txtTotalConstrainedness_Validate(bool &cancel)
{
    validateField(ui->txtTotalConstrainedness, &checks::checkIndicator, cancel);
}
void KELDAR::txtDayCoverageDistribution_Validate(bool &cancel)
{
    validateField(ui->txtDayCoverageDistribution, &checks::checkIndicator, cancel);
}
void KELDAR::txtShiftCoverageDistribution_Validate(bool &cancel)
{
    validateField(ui->txtShiftCoverageDistribution, &checks::checkIndicator, cancel);
}

void KELDAR::inputError(const QString &text)
{
    program().host().messageBox(this, checks::InputErrorTitle, text);
}

bool KELDAR::checkNumericInput(QString text)
{
    if (checks::isNumericOrExempt(text, m_parameters.mnuNewClicked))
        return true;
    inputError(checks::NotNumericMessage);
    return false;
}

void KELDAR::validateField(QLineEdit *field, checks::Verdict (*check)(const QString &, bool),
                           bool &cancel)
{
    const QString text = field->text();
    const bool numeric = checkNumericInput(text);
    if (text.isEmpty())
        return;
    if (!numeric) {
        // checkNumericInput has said why; one message per attempt.
        field->clear();
        cancel = true;
        return;
    }
    const checks::Verdict verdict = check(text, m_parameters.mnuNewClicked);
    if (verdict != checks::Verdict::Accepted) {
        inputError(checks::message(verdict));
        field->clear(); // only once the box is closed
        cancel = true;
        return;
    }
    cancel = false;
}

void KELDAR::cmdGenerate_Click()
{
    using checks::checkCount;
    using checks::checkIndicator;
    const struct {
        QLineEdit *field;
        Page page;
        const char *message;
        checks::Verdict (*check)(const QString &, bool);
    } order[] = {
        {ui->txtNurses, ProblemSize, "Please give in the number of nurses", checkCount},
        {ui->txtDays, ProblemSize, "Please give in the number of days", checkCount},
        {ui->txtShifts, ProblemSize, "Please give in the number of shifts", checkCount},
        {ui->txtPeriodPreferenceDistribution, Preference,
         "Please give in the Period Preference Distribution", checkIndicator},
        {ui->txtDayPrefereenceDistribution, Preference,
         "Please give in the Day Preference Distribution", checkIndicator},
        {ui->txtShiftPreferenceDistribution, Preference,
         "Please give in the Shift Preference Distribution", checkIndicator},
        {ui->txtTotalConstrainedness, Coverage, "Please give in the Total Coverage Constrainedness",
         checkIndicator},
        {ui->txtDayCoverageDistribution, Coverage, "Please give in the Day Coverage Distribution",
         checkIndicator},
        {ui->txtShiftCoverageDistribution, Coverage,
         "Please give in the Shift Coverage Distribution", checkIndicator},
    };
    const auto leadTo = [this](QLineEdit *field, Page page) {
        showPage(page);
        if (field == ui->txtNurses) {
            field->setFocus();
            selectTab(page);
        } else {
            selectTab(page);
            field->setFocus();
        }
    };
    for (const auto &entry : order) {
        if (!entry.field->text().isEmpty())
            continue;
        leadTo(entry.field, entry.page);
        inputError(QString::fromLatin1(entry.message));
        return;
    }
    // Every box was checked when it was left; a text that got in some other
    // way is refused here rather than stored as a number nobody typed.
    for (const auto &entry : order) {
        const checks::Verdict verdict = entry.check(entry.field->text(), false);
        if (verdict == checks::Verdict::Accepted)
            continue;
        leadTo(entry.field, entry.page);
        inputError(checks::message(verdict));
        entry.field->clear();
        return;
    }

    ParameterSet &p = m_parameters;
    p.totalCoverage = checks::storedValue(ui->txtTotalConstrainedness->text());
    p.dayCoverage = checks::storedValue(ui->txtDayCoverageDistribution->text());
    p.shiftCoverage = checks::storedValue(ui->txtShiftCoverageDistribution->text());
    p.periodPreference = checks::storedValue(ui->txtPeriodPreferenceDistribution->text());
    p.dayPreference = checks::storedValue(ui->txtDayPrefereenceDistribution->text());
    p.shiftPreference = checks::storedValue(ui->txtShiftPreferenceDistribution->text());
    p.nurses = checks::storedValue(ui->txtNurses->text());
    p.days = checks::storedValue(ui->txtDays->text());
    p.shifts = checks::storedValue(ui->txtShifts->text());
    p.freeShiftInculuded = ui->Optyes->isChecked();

    FrmFileGeneration &next = program().fileGeneration();
    next.load();
    next.show();
}

void KELDAR::mnuNew_Click()
{
    m_parameters.mnuNewClicked = true;
    ui->txtNurses->clear();
    ui->txtDays->clear();
    ui->txtShifts->clear();
    ui->Optyes->setChecked(true);
    ui->optNo->setChecked(false);
    ui->txtPeriodPreferenceDistribution->clear();
    ui->txtDayPrefereenceDistribution->clear();
    ui->txtShiftPreferenceDistribution->clear();
    ui->txtDayCoverageDistribution->clear();
    ui->txtShiftCoverageDistribution->clear();
    ui->txtTotalConstrainedness->clear();
    showPage(Welcome);
    selectTab(Welcome);
    m_parameters.mnuNewClicked = false;
}

void KELDAR::mnuSeed_Click()
{
    const auto answer =
        program().host().inputBox(this, QStringLiteral("Enter the appropriate Seed Value"),
                                  QStringLiteral("Seed Value"), QStringLiteral("100"));
    if (!answer)
        return; // Cancel keeps the seed the user had
    const auto seed = numbers::roundToInt16(numbers::leadingNumber(*answer));
    if (!seed) {
        inputError(QStringLiteral("The seed value should lie between -32768 and 32767"));
        return;
    }
    m_parameters.seed = *seed;
}

} // namespace keldar

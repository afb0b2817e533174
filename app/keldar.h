#pragma once

#include "app/form.h"
#include "params/fieldchecks.h"
#include "params/parameterset.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QLineEdit;

namespace Ui {
class KELDAR;
}

namespace keldar {

// The main window: four pages of entries behind a tab strip, the menu bar and
// "Confirm Input".  It owns the parameter set, which outlives its controls.
class KELDAR : public Form<QMainWindow>
{
    Q_OBJECT

public:
    explicit KELDAR(Program &program);
    ~KELDAR() override;
    Q_DISABLE_COPY_MOVE(KELDAR)

    ParameterSet &parameters() { return m_parameters; }
    const ParameterSet &parameters() const { return m_parameters; }

    // Pages, numbered as the tab strip numbers its tabs.
    enum Page { Welcome = 1, ProblemSize = 2, Preference = 3, Coverage = 4 };

    // Makes one page visible above the tab strip and hides the others.
    void showPage(Page page);
    // The page shown now (0 while not loaded).
    int shownPage() const;
    // The tab the tab strip marks as selected, from 1.
    int selectedTab() const;
    // Marks a tab as selected without running the page switch.
    void selectTab(int index);

    // Back from the File Generation window: the Problem Size page with the
    // focus in the number of nurses; the tab strip keeps its selection.
    void returnToProblemSize();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void buildControls() override;
    void discardControls() override;
    void Form_Load() override;

private:
    // The four page frames, in the order of their tabs.
    std::array<QWidget *, 4> pageFrames() const;
    QWidget *showPageFrame(Page page);
    void TabStrip1_Click();
    void cmdGenerate_Click();
    void mnuNew_Click();
    void mnuSeed_Click();
    void mnuExit_Click();
    void mnuTutorial_Click();
    void mnuInfo_Click();

    // Entering a field selects its text; leaving it checks it.
    void txtNurses_GotFocus();
    void txtDays_GotFocus();
    void txtShifts_GotFocus();
    void txtShiftPreferenceDistribution_GotFocus();
    void txtDayPrefereenceDistribution_GotFocus();
    void txtPeriodPreferenceDistribution_GotFocus();
    void txtTotalConstrainedness_GotFocus();
    void txtDayCoverageDistribution_GotFocus();
    void txtShiftCoverageDistribution_GotFocus();
    void txtNurses_Validate(bool &cancel);
    void txtDays_Validate(bool &cancel);
    void txtShifts_Validate(bool &cancel);
    void txtShiftPreferenceDistribution_Validate(bool &cancel);
    void txtDayPrefereenceDistribution_Validate(bool &cancel);
    void txtPeriodPreferenceDistribution_Validate(bool &cancel);
    void txtTotalConstrainedness_Validate(bool &cancel);
    void txtDayCoverageDistribution_Validate(bool &cancel);
    void txtShiftCoverageDistribution_Validate(bool &cancel);

    bool checkNumericInput(QString text);
    void validateField(QLineEdit *field, checks::Verdict (*check)(const QString &, bool),
                       bool &cancel);
    void inputError(const QString &text);

    std::unique_ptr<Ui::KELDAR> ui;
    ParameterSet m_parameters;
    bool m_selectingTab = false;
};

} // namespace keldar

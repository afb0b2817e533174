#pragma once

#include "params/batchmodel.h"
#include "params/fieldchecks.h"
#include "ui/form.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QLineEdit;

namespace Ui {
class KELDAR;
}

namespace keldar {

// The main window: four pages of entries behind a tab strip, the menu bar and
// "Confirm Input".  The parameter set it shows and fills is the batch
// model's, which outlives any one main window.
class KELDAR : public Form<QMainWindow>
{
    Q_OBJECT

public:
    KELDAR(Host &host, BatchModel &model);
    ~KELDAR() override;
    Q_DISABLE_COPY_MOVE(KELDAR)

    // The parameter set, read and written by name through the main window.
    ParameterSet &parameters() { return m_model.parameters(); }
    const ParameterSet &parameters() const { return m_model.parameters(); }

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

Q_SIGNALS:
    // "Confirm Input" has stored a complete set of entries.
    void inputConfirmed();
    // Help > About.
    void aboutRequested();
    // Menu > Exit, after the window has been unloaded.
    void exitChosen();

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

    // One of the nine entry boxes: its page, what "Confirm Input" says when
    // it is empty, its check and the parameter it fills.
    struct Entry {
        QLineEdit *field;
        Page page;
        const char *emptyMessage;
        checks::Verdict (*check)(const QString &, bool);
        double ParameterSet::*value;
    };
    // The boxes in the order "Confirm Input" checks them.
    std::array<Entry, 9> entries() const;

    // Entering a field selects its text; leaving it runs its check.
    void connectFieldEvents();

    bool checkNumericInput(QString text);
    void validateField(QLineEdit *field, checks::Verdict (*check)(const QString &, bool),
                       bool &cancel);
    void inputError(const QString &text);

    std::unique_ptr<Ui::KELDAR> ui;
    BatchModel &m_model;
    bool m_selectingTab = false;
};

} // namespace keldar

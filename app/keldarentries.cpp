#include "app/keldar.h"

#include "params/fieldchecks.h"
#include "params/numbers.h"
#include "ui/fieldevents.h"
#include "ui/host.h"
#include "ui_keldar.h"

#include <QLineEdit>

// The main window's entries: the field checks, "Confirm Input", and the New
// and Seed commands.
namespace keldar {

std::array<KELDAR::Entry, 9> KELDAR::entries() const
{
    using checks::checkCount;
    using checks::checkIndicator;
    using P = ParameterSet;
    return {{
        {ui->txtNurses, ProblemSize, "Please give in the number of nurses", checkCount, &P::nurses},
        {ui->txtDays, ProblemSize, "Please give in the number of days", checkCount, &P::days},
        {ui->txtShifts, ProblemSize, "Please give in the number of shifts", checkCount, &P::shifts},
        {ui->txtPeriodPreferenceDistribution, Preference,
         "Please give in the Period Preference Distribution", checkIndicator, &P::periodPreference},
        {ui->txtDayPrefereenceDistribution, Preference,
         "Please give in the Day Preference Distribution", checkIndicator, &P::dayPreference},
        {ui->txtShiftPreferenceDistribution, Preference,
         "Please give in the Shift Preference Distribution", checkIndicator, &P::shiftPreference},
        {ui->txtTotalConstrainedness, Coverage, "Please give in the Total Coverage Constrainedness",
         checkIndicator, &P::totalCoverage},
        {ui->txtDayCoverageDistribution, Coverage, "Please give in the Day Coverage Distribution",
         checkIndicator, &P::dayCoverage},
        {ui->txtShiftCoverageDistribution, Coverage,
         "Please give in the Shift Coverage Distribution", checkIndicator, &P::shiftCoverage},
    }};
}

void KELDAR::connectFieldEvents()
{
    // Each box selects its text on entry and runs its check on leaving; no
    // box does more, so one table serves all nine.
    for (const Entry &entry : entries()) {
        QLineEdit *field = entry.field;
        fieldevents::onGotFocus(field, [field] { fieldevents::selectWholeText(field); });
        fieldevents::onValidate(field, [this, field, check = entry.check](bool &cancel) {
            validateField(field, check, cancel);
        });
    }
}

void KELDAR::inputError(const QString &text)
{
    host().messageBox(this, checks::InputErrorTitle, text);
}

bool KELDAR::checkNumericInput(QString text)
{
    if (checks::isNumericOrExempt(text, parameters().mnuNewClicked))
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
    const checks::Verdict verdict = check(text, parameters().mnuNewClicked);
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
    const std::array<Entry, 9> order = entries();
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
        inputError(QString::fromLatin1(entry.emptyMessage));
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

    ParameterSet &p = parameters();
    for (const auto &entry : order)
        p.*entry.value = checks::storedValue(entry.field->text());
    p.freeShiftInculuded = ui->Optyes->isChecked();

    Q_EMIT inputConfirmed();
}

void KELDAR::mnuNew_Click()
{
    parameters().mnuNewClicked = true;
    for (const Entry &entry : entries())
        entry.field->clear();
    ui->Optyes->setChecked(true);
    ui->optNo->setChecked(false);
    showPage(Welcome);
    selectTab(Welcome);
    parameters().mnuNewClicked = false;
}

void KELDAR::mnuSeed_Click()
{
    const auto answer = host().inputBox(this, QStringLiteral("Enter the appropriate Seed Value"),
                                        QStringLiteral("Seed Value"), QStringLiteral("100"));
    if (!answer)
        return; // Cancel keeps the seed the user had
    const auto seed = numbers::roundToInt16(numbers::leadingNumber(*answer));
    if (!seed) {
        inputError(QStringLiteral("The seed value should lie between -32768 and 32767"));
        return;
    }
    parameters().seed = *seed;
}

} // namespace keldar

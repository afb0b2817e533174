#pragma once

#include "app/form.h"

#include <QWidget>
#include <memory>

namespace Ui {
class frmContinueanotherForm;
}

namespace keldar {

// Asked after each batch: another one ("Yes", back to a fresh main window)
// or the end of the program ("No").  Loading it finishes the batch: the
// input-data file goes and the File Generation window closes.
class frmContinueanotherForm : public Form<QWidget>
{
    Q_OBJECT

public:
    explicit frmContinueanotherForm(Program &program);
    ~frmContinueanotherForm() override;
    Q_DISABLE_COPY_MOVE(frmContinueanotherForm)

    // Loads and shows the dialog once the generator `pid` that the batch
    // started has read the input-data file, or after a bounded wait, so that
    // loading does not delete the file before it is read.  The windows stay
    // live meanwhile, under a busy cursor, the File Generation window
    // disabled.
    void openOnceRead(qint64 pid);
    // How long that wait may take.
    void setReadTimeout(int ms) { m_readTimeoutMs = ms; }

protected:
    void buildControls() override;
    void discardControls() override;
    void Form_Load() override;
    // Closing through the frame answers "Yes", so a window stays visible.
    void closeEvent(QCloseEvent *event) override;

private:
    void cmdContinueYes_Click();
    void cmdContinueNo_Click();

    std::unique_ptr<Ui::frmContinueanotherForm> ui;
    // Whether the generator has taken the input-data file (or will read
    // nothing more), so that loading may delete it.
    bool m_inputTaken = true;
    int m_readTimeoutMs;
};

} // namespace keldar

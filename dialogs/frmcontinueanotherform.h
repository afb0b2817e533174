#pragma once

#include "ui/form.h"

#include <QWidget>
#include <memory>

namespace Ui {
class frmContinueanotherForm;
}

namespace keldar {

// Asked after each batch: another one ("Yes", back to a fresh main window)
// or the end of the program ("No").  Loading it finishes the batch: the
// input-data file goes and the File Generation window is to close.
class frmContinueanotherForm : public Form<QWidget>
{
    Q_OBJECT

public:
    explicit frmContinueanotherForm(Host &host);
    ~frmContinueanotherForm() override;
    Q_DISABLE_COPY_MOVE(frmContinueanotherForm)

    // Loads and shows the dialog once the generator has had its chance to
    // read the input-data file.  `inputTaken`: it has taken the file (or
    // will read nothing more), so loading may delete it.
    void openAfterRead(bool inputTaken);

Q_SIGNALS:
    // Loaded: the batch is over and the File Generation window may go.
    void loaded();
    // "Yes" (or the frame's close), after the dialog has gone.
    void continueChosen();
    // "No", after the dialog has gone.
    void endChosen();

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
};

} // namespace keldar

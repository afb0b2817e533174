#pragma once

#include "app/form.h"

#include <QWidget>
#include <memory>
#include <optional>

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

    // The generator the batch started.  Loading waits (a bounded time) until
    // it has read the input-data file before deleting the file.
    void setGeneratorProcess(qint64 pid) { m_generator = pid; }
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
    std::optional<qint64> m_generator;
    int m_readTimeoutMs;
};

} // namespace keldar

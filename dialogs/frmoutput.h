#pragma once

#include "ui/form.h"

#include <memory>

namespace Ui {
class FrmOutput;
}

namespace keldar {

// The About window: title, authors, a reference to the tutorial and the
// documentation that ship with the program, the build, and how to report a
// problem.  Modeless, without an owner, closed with "Ok".
class FrmOutput : public Form<QWidget>
{
    Q_OBJECT

public:
    explicit FrmOutput(Host &host);
    ~FrmOutput() override;
    Q_DISABLE_COPY_MOVE(FrmOutput)

    // Showing the window while it is already open brings it to the front,
    // so choosing About again never leaves it hidden behind the main window.
    void setVisible(bool visible) override;

protected:
    void buildControls() override;
    void discardControls() override;
    void Form_Load() override;

private:
    void CmdOutputok_Click();

    std::unique_ptr<Ui::FrmOutput> ui;
};

} // namespace keldar

#pragma once

#include "app/form.h"

namespace keldar {

// Placeholder until the window is built.
class frmContinueanotherForm : public Form<QWidget>
{
    Q_OBJECT
public:
    explicit frmContinueanotherForm(Program &program) : Form(program) {}

protected:
    void buildControls() override {}
    void discardControls() override { discardChildControls(this); }
};

} // namespace keldar

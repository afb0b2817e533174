#pragma once

#include "ui/form.h"

#include <memory>

namespace Ui {
class FrmDistributionGrades;
}

namespace keldar {

// The hierarchy-levels window: twenty labelled boxes for the share of nurses
// on each level.  Part of the program by its layout only: nothing opens it,
// and neither its buttons nor its boxes act on anything.
class FrmDistributionGrades : public Form<QWidget>
{
    Q_OBJECT

public:
    explicit FrmDistributionGrades(Host &host);
    ~FrmDistributionGrades() override;
    Q_DISABLE_COPY_MOVE(FrmDistributionGrades)

protected:
    void buildControls() override;
    void discardControls() override;

private:
    std::unique_ptr<Ui::FrmDistributionGrades> ui;
};

} // namespace keldar

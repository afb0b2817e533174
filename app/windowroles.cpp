#include "app/windowroles.h"

#include "dialogs/frmcontinueanotherform.h"
#include "dialogs/frmdistributiongrades.h"
#include "dialogs/frmoutput.h"
#include "generation/frmfilegeneration.h"

#include <QAccessibleWidget>

namespace keldar {

namespace {

// Only the role changes: name (the window title), description, children and
// states stay those of a plain widget's interface.
QAccessibleInterface *windowInterface(const QString &, QObject *object)
{
    const QMetaObject *type = object->metaObject();
    QAccessible::Role role = QAccessible::Window;
    if (type == &frmContinueanotherForm::staticMetaObject)
        role = QAccessible::Dialog;
    else if (type != &FrmFileGeneration::staticMetaObject && type != &FrmOutput::staticMetaObject &&
             type != &FrmDistributionGrades::staticMetaObject)
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget *>(object), role);
}

} // namespace

void installWindowRoles()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(windowInterface);
}

} // namespace keldar

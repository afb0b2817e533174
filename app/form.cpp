#include "app/form.h"

#include "app/program.h"

namespace keldar {

void discardChildControls(QWidget *window)
{
    const QObjectList children = window->children();
    for (QObject *child : children) {
        if (auto *w = qobject_cast<QWidget *>(child)) {
            if (w->isWindow())
                continue; // a box owned by the window is not one of its controls
            w->hide();
            w->setParent(nullptr);
            w->deleteLater();
        } else if (auto *a = qobject_cast<QAction *>(child)) {
            a->setParent(nullptr);
            a->deleteLater();
        }
    }
}

void notifyUnloaded(Program &program)
{
    program.windowUnloaded();
}

} // namespace keldar

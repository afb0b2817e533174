#include "app/form.h"

#include "app/program.h"

#include <QFont>
#include <QLineEdit>

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

void applyDesignFontSizes(QWidget *window)
{
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (!w->testAttribute(Qt::WA_SetFont))
            continue;
        QFont font = w->font();
        if (font.pointSizeF() == 10)
            font.setPointSizeF(9.75);
        else if (font.pointSizeF() == 14)
            font.setPointSizeF(14.25);
        else
            continue;
        w->setFont(font);
    }
}

void settleEntryCarets(QWidget *window)
{
    for (QLineEdit *edit : window->findChildren<QLineEdit *>())
        edit->setCursorPosition(edit->cursorPosition());
}

void notifyUnloaded(Program &program)
{
    program.windowUnloaded();
}

} // namespace keldar

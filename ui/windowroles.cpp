#include "ui/windowroles.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace keldar {

namespace {

WindowRoles &installedRoles()
{
    static WindowRoles roles;
    return roles;
}

// Only the role changes: name (the window title), description, children and
// states stay those of a plain widget's interface.
QAccessibleInterface *windowInterface(const QString &, QObject *object)
{
    const QMetaObject *type = object->metaObject();
    for (const auto &[windowType, role] : installedRoles())
        if (type == windowType)
            return new QAccessibleWidget(static_cast<QWidget *>(object), role);
    return nullptr;
}

} // namespace

void installWindowRoles(WindowRoles roles)
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    installedRoles() = std::move(roles);
    QAccessible::installFactory(windowInterface);
}

} // namespace keldar

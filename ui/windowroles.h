#pragma once

#include <QAccessible>
#include <QMetaObject>
#include <utility>
#include <vector>

namespace keldar {

// The program's windows other than the main window are plain widgets standing
// alone, which assistive technology takes for panes and does not announce as
// they open.  Gives each window type listed the role listed with it (a window,
// or a dialog).  Installed once per run, before any such window exists; later
// calls do nothing.
using WindowRoles = std::vector<std::pair<const QMetaObject *, QAccessible::Role>>;
void installWindowRoles(WindowRoles roles);

} // namespace keldar

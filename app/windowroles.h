#pragma once

namespace keldar {

// The program's windows other than the main window are plain widgets standing
// alone, which assistive technology takes for panes and does not announce as
// they open.  Gives each of them the role of a window, and the continue
// dialog that of a dialog.  Installed once per run; later calls do nothing.
void installWindowRoles();

} // namespace keldar

#pragma once

class QIcon;

namespace keldar {

// The program's fonts: the faces its windows name, mapped to the nearest
// faces this system has, and the default window font.
void applyAppearance();

// The windows' icon: the one installed with the program, or the icon theme's
// where the program runs from elsewhere.
QIcon programIcon();

} // namespace keldar

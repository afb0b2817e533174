#pragma once

class QIcon;

namespace keldar {

// The program's fonts: the faces its windows name, mapped to the nearest
// faces this system has, and the default window font.
void applyAppearance();

// The windows' icon, in the sizes window lists and panels show.
QIcon programIcon();

} // namespace keldar

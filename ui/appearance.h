#pragma once

namespace keldar {

// The program's fonts: the faces its windows name, mapped to the nearest
// faces this system has, and the default window font.
void applyAppearance();

} // namespace keldar

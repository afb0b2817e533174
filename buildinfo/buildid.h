#pragma once

namespace keldar {

// Which build this is: the commit it was built from (git describe, "-dirty"
// with changes not committed), or "unknown" outside a git checkout.  Read
// at every build, so that --version and About never name an older commit.
const char *buildId();

} // namespace keldar

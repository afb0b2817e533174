#pragma once

class QCoreApplication;

namespace keldar::commandline {

// keldar takes no arguments of its own, only the usual --help and --version.
// True when the command line asks only for one of those, which are answered
// on the terminal without a display.
bool asksForTextOnly(int argc, const char *const *argv);

// Answers --help and --version and refuses anything else the toolkit has not
// taken for itself; both end the program.  Returns when the program is to run.
void process(const QCoreApplication &app);

} // namespace keldar::commandline

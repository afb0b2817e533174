#pragma once

class QCoreApplication;

namespace keldar::commandline {

// keldar takes no arguments of its own, only the usual --help and --version.
// True when the command line asks only for one of those, which are answered
// on the terminal without a display.
bool asksForTextOnly(int argc, const char *const *argv);

// Answers --help and --version, which end the program there.  Refuses
// anything else the toolkit has not taken for itself and returns the exit
// status for main to return, so that the threads begun at start are joined
// before the program ends; 0 when the program is to run.
int process(const QCoreApplication &app);

} // namespace keldar::commandline

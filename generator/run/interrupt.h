#pragma once

namespace keldar::generator {

// SIGINT, SIGTERM and SIGHUP (Ctrl-C, a batch system's time limit, a closed
// terminal) ask a run to stop: it finishes the files in hand, writes its
// manifest, figure and summary, and exits with status 1.  A second signal
// ends the program at once.
void catchInterrupts();

// The signal that asked the run to stop, or 0.
int interruptSignal();

} // namespace keldar::generator

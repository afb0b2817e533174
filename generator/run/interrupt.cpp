#include "generator/run/interrupt.h"

#include <csignal>
#include <initializer_list>

#include <signal.h>
#include <unistd.h>

namespace keldar::generator {

namespace {

volatile std::sig_atomic_t caught = 0;

void onSignal(int signal)
{
    if (caught != 0) {
        // Asked twice: the user wants it gone now.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    caught = signal;
}

} // namespace

void catchInterrupts()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Writes and syncs in progress go on; the run looks at the flag between
    // files.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

int interruptSignal()
{
    return caught;
}

} // namespace keldar::generator

// Start-up cost: time from starting a program to its first window being
// mapped on the X display, and the program's resident memory once shown,
// for KELDAR beside a bare Qt window.  Run it on an otherwise idle display
// (bench/startup/run.sh starts one with Xvfb).
//
//   keldar-startup-bench [--runs N] BARE_WINDOW_PROGRAM KELDAR_PROGRAM [LABEL=PROGRAM...]
//
// Further programs (an earlier build of keldar, say) take their turns in the
// same run and get a row and a ratio to the bare window each.

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
    double milliseconds;
    double residentMiB;
};

long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// Waits for the next top-level window to be mapped; false on timeout.
bool waitForMap(xcb_connection_t *c, Clock::time_point deadline)
{
    const int fd = xcb_get_file_descriptor(c);
    for (;;) {
        while (xcb_generic_event_t *e = xcb_poll_for_event(c)) {
            const bool mapped = (e->response_type & 0x7f) == XCB_MAP_NOTIFY &&
                                !reinterpret_cast<xcb_map_notify_event_t *>(e)->override_redirect;
            std::free(e);
            if (mapped)
                return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || xcb_connection_has_error(c))
            return false;
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, static_cast<int>(left));
    }
}

std::optional<Sample> measure(xcb_connection_t *c, const std::string &program)
{
    while (xcb_generic_event_t *e = xcb_poll_for_event(c))
        std::free(e);
    char *argv[] = {const_cast<char *>(program.c_str()), nullptr};
    const auto start = Clock::now();
    // The programs' chatter would only clutter the table.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, program.c_str(), &quiet, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (failed != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", program.c_str(), std::strerror(failed));
        return std::nullopt;
    }
    const bool shown = waitForMap(c, start + std::chrono::seconds(20));
    const auto end = Clock::now();
    // Memory once the first paint and the event loop have settled.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long rss = residentKiB(pid);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!shown) {
        std::fprintf(stderr, "%s showed no window\n", program.c_str());
        return std::nullopt;
    }
    return Sample{std::chrono::duration<double, std::milli>(end - start).count(),
                  static_cast<double>(rss) / 1024.0};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Summary {
    double medianMs, fastestMs, medianMiB;
};

Summary summarise(const std::vector<Sample> &samples)
{
    std::vector<double> ms, mib;
    for (const Sample &s : samples) {
        ms.push_back(s.milliseconds);
        mib.push_back(s.residentMiB);
    }
    return {median(ms), *std::min_element(ms.begin(), ms.end()), median(mib)};
}

} // namespace

int main(int argc, char *argv[])
{
    int runs = 15;
    std::vector<std::string> programs, labels;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
            continue;
        }
        const size_t equals = a.find('=');
        const bool labelled = programs.size() >= 2 && equals != std::string::npos;
        labels.push_back(labelled           ? a.substr(0, equals)
                         : programs.empty() ? "bare Qt window"
                                            : "keldar");
        programs.push_back(labelled ? a.substr(equals + 1) : a);
    }
    if (programs.size() < 2) {
        std::fprintf(stderr,
                     "usage: %s [--runs N] BARE_WINDOW_PROGRAM KELDAR_PROGRAM [LABEL=PROGRAM...]\n",
                     argv[0]);
        return 2;
    }

    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "no X display (run under xvfb-run)\n");
        return 1;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    // Both programs draw on this display, whatever the caller's environment.
    setenv("QT_QPA_PLATFORM", "xcb", 1);

    // One unmeasured start each fills the file cache; then the programs take
    // turns so that drift on the machine affects all alike.
    std::vector<std::vector<Sample>> samples(programs.size());
    for (int round = -1; round < runs; ++round) {
        for (size_t k = 0; k < programs.size(); ++k) {
            const std::optional<Sample> s = measure(c, programs[k]);
            if (!s)
                return 1;
            if (round >= 0)
                samples[k].push_back(*s);
        }
    }
    xcb_disconnect(c);

    std::vector<Summary> summaries;
    for (const std::vector<Sample> &s : samples)
        summaries.push_back(summarise(s));
    const Summary &bare = summaries.front();
    std::printf("start-up to first window shown, %d runs each\n", runs);
    std::printf("%-16s %12s %12s %14s\n", "", "median ms", "fastest ms", "resident MiB");
    for (size_t k = 0; k < programs.size(); ++k)
        std::printf("%-16s %12.1f %12.1f %14.1f\n", labels[k].c_str(), summaries[k].medianMs,
                    summaries[k].fastestMs, summaries[k].medianMiB);
    for (size_t k = 1; k < programs.size(); ++k)
        std::printf("%-16s %12.2f %12.2f %14.2f\n", (labels[k] + " / bare").c_str(),
                    summaries[k].medianMs / bare.medianMs, summaries[k].fastestMs / bare.fastestMs,
                    summaries[k].medianMiB / bare.medianMiB);
    return 0;
}

#pragma once

#include <thread>

namespace keldar {

// Work on the way to the first window that needs no part of the toolkit,
// begun on other threads as the program starts so that it overlaps the
// toolkit's own start instead of following it: reading the system's font
// configuration, and connecting to the session bus.
class EarlyStart
{
public:
    EarlyStart();
    ~EarlyStart();
    EarlyStart(const EarlyStart &) = delete;
    EarlyStart &operator=(const EarlyStart &) = delete;

    // Waits until the font configuration is read; call before the first
    // window is built, so that the toolkit never reads it a second time.
    void waitForFonts();

private:
    std::thread m_fonts;
    std::thread m_sessionBus;
};

} // namespace keldar

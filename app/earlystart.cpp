#include "app/earlystart.h"

#include <dlfcn.h>

#ifdef KELDAR_EARLY_SESSION_BUS
#include <QDBusConnection>
#include <QThread>
#endif

namespace keldar {

namespace {

// The toolkit reads the font configuration (some fifty files of rules) when
// the first text is measured: about 7 ms, the largest single step before the
// main window shows.  fontconfig reads it once per process, from whichever
// thread asks first, and keeps it.  Only the library the toolkit has loaded
// is asked, so none is loaded that it would not use.
void readFontConfiguration()
{
    void *fontconfig = dlopen("libfontconfig.so.1", RTLD_LAZY | RTLD_NOLOAD);
    if (!fontconfig)
        return;
    using Init = int (*)();
    if (auto init = reinterpret_cast<Init>(dlsym(fontconfig, "FcInit")))
        init();
    dlclose(fontconfig);
}

} // namespace

EarlyStart::EarlyStart() : m_fonts(readFontConfiguration)
{
#ifdef KELDAR_EARLY_SESSION_BUS
    // Qt takes the first thread that asks it anything, while that thread
    // lives, for the program's main thread; asking from here first keeps it
    // this one, however far the thread below gets before the application.
    QThread::currentThread();
    // The first control built wakes the accessibility bridge, which connects
    // to the session bus and waits for it; where none runs yet, one is
    // started first, which takes longer than building all the windows.
    m_sessionBus = std::thread([] { QDBusConnection::sessionBus(); });
#endif
}

EarlyStart::~EarlyStart()
{
    waitForFonts();
    if (m_sessionBus.joinable())
        m_sessionBus.join();
}

void EarlyStart::waitForFonts()
{
    if (m_fonts.joinable())
        m_fonts.join();
}

} // namespace keldar

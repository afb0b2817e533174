// The threads begun as the program starts must leave Qt taking the program's
// first thread for its main thread, however far they get before the
// application object exists.
#include "app/earlystart.h"

#include <QCoreApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool mainThreadLost = false;

void record(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (message.contains(QLatin1String("not created in the main() thread")))
        mainThreadLost = true;
}

int fail(const char *why)
{
    std::printf("FAIL: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(record);
    // A session bus that takes the connection and never answers holds the
    // early thread inside Qt while the application object is made, as a
    // slow bus does.
    char dir[] = "/tmp/keldar-bus-XXXXXX";
    if (!mkdtemp(dir))
        return fail("no scratch folder");
    const std::string path = std::string(dir) + "/bus";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const int bus = socket(AF_UNIX, SOCK_STREAM, 0);
    if (bind(bus, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(bus, 1) != 0)
        return fail("cannot listen as a session bus");
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);
    {
        keldar::EarlyStart early;
        pollfd waiting{bus, POLLIN, 0};
        if (poll(&waiting, 1, 10000) != 1)
            return fail("the early thread never called the session bus");
        const int caller = accept(bus, nullptr, nullptr);
        QCoreApplication app(argc, argv);
        // The caller gives up, and its thread ends.
        close(caller);
        close(bus);
    }
    unlink(path.c_str());
    rmdir(dir);
    if (mainThreadLost)
        return fail("an early thread became Qt's main thread");
    std::puts("PASS: the program's first thread stays Qt's main thread");
    return 0;
}

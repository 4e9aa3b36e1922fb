#include "ProgramEnd.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iterator>
#include <map>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// The socket pair from the signal handler to the event loop; -1 until
// signals are caught.
int s_signalSocket = -1;
int s_loopSocket = -1;
QPointer<ProgramEnd> s_receiver;
bool s_requested = false;

// Never destroyed: exit() runs the clean-ups after the statics made since
// they were registered are gone.
std::map<int, std::function<void()>> &cleanUps()
{
    static auto *hooks = new std::map<int, std::function<void()>>;
    return *hooks;
}

extern "C" void onSignal(int number)
{
    const int saved = errno;
    const char byte = char(number);
    (void)!write(s_signalSocket, &byte, 1);
    errno = saved;
}

extern "C" void runCleanUps()
{
    s_requested = true;
    // Taken out before each runs: one that ends the process again (a
    // clean-up that calls exit()) does not run twice.
    auto &hooks = cleanUps();
    while (!hooks.empty()) {
        const auto last = std::prev(hooks.end());
        const std::function<void()> hook = last->second;
        hooks.erase(last);
        try {
            hook();
        } catch (...) {
            // The process is ending; the next clean-up still runs.
        }
    }
}
} // namespace

ProgramEnd::ProgramEnd(int socket) : QObject(QCoreApplication::instance()), m_socket(socket)
{
    auto *notifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &ProgramEnd::signalled);
}

void ProgramEnd::CatchSignals()
{
    if (s_receiver || !QCoreApplication::instance())
        return;
    if (s_signalSocket < 0) {
        int sockets[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, sockets) != 0)
            return;
        s_signalSocket = sockets[0];
        s_loopSocket = sockets[1];
    }
    s_receiver = new ProgramEnd(s_loopSocket);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        sigaction(number, &action, nullptr);
}

void ProgramEnd::signalled()
{
    char bytes[16];
    while (read(m_socket, bytes, sizeof bytes) > 0) {
    }
    s_requested = true;
    // quit() closes the windows (the main window saves its settings) and
    // tells a running conversion to stop; exit() then ends every event loop,
    // a message box's too, whatever a window answered.
    QCoreApplication::quit();
    QCoreApplication::exit(0);
}

bool ProgramEnd::Requested()
{
    return s_requested;
}

int ProgramEnd::AtExit(std::function<void()> cleanUp)
{
    static int next = 0;
    static const bool registered = std::atexit(runCleanUps) == 0;
    Q_UNUSED(registered);
    cleanUps()[++next] = std::move(cleanUp);
    return next;
}

void ProgramEnd::Remove(int key)
{
    cleanUps().erase(key);
}

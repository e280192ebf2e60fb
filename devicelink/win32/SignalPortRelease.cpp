#include "SignalPortRelease.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/ioctl.h>

namespace ZORVI {
namespace Communication {
namespace Serial {

namespace {

constexpr int FREE = -1;
constexpr int FILLING = -2; // taken by track(), settings not yet written

struct TrackedPort {
    std::atomic<int> fd{FREE};
    termios original{};
};

static_assert(std::atomic<int>::is_always_lock_free, "the handler needs lock-free atomics");

TrackedPort g_ports[SignalPortRelease::CAPACITY];

const int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// SA_RESETHAND has put the default action back: raising the signal again
// ends the program as the signal would have without us (once the handler
// returns, since the signal is blocked while it runs).
void releaseAndStop(int signalNumber)
{
    const int savedErrno = errno;
    SignalPortRelease::releaseAll();
    errno = savedErrno;
    raise(signalNumber);
}

bool isIgnored(int signalNumber)
{
    struct sigaction current {};
    return sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

} // namespace

void SignalPortRelease::install()
{
    struct sigaction action {};
    action.sa_handler = releaseAndStop;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : STOP_SIGNALS)
        sigaddset(&action.sa_mask, signalNumber);
    action.sa_flags = SA_RESETHAND;
    for (int signalNumber : STOP_SIGNALS) {
        if (!isIgnored(signalNumber))
            sigaction(signalNumber, &action, nullptr);
    }
}

void SignalPortRelease::track(int fd, const termios& original)
{
    for (TrackedPort& port : g_ports) {
        int expected = FREE;
        if (port.fd.compare_exchange_strong(expected, FILLING)) {
            port.original = original;
            port.fd.store(fd, std::memory_order_release);
            return;
        }
    }
}

void SignalPortRelease::untrack(int fd)
{
    for (TrackedPort& port : g_ports) {
        int expected = fd;
        if (port.fd.compare_exchange_strong(expected, FREE))
            return;
    }
}

void SignalPortRelease::releaseAll()
{
    for (TrackedPort& port : g_ports) {
        const int fd = port.fd.load(std::memory_order_acquire);
        if (fd < 0)
            continue;
        tcsetattr(fd, TCSANOW, &port.original);
        ioctl(fd, TIOCNXCL);
    }
}

} // namespace Serial
} // namespace Communication
} // namespace ZORVI

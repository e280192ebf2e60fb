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

std::atomic<bool> g_holding{false};
std::atomic<int> g_heldSignal{0};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler needs lock-free atomics");

// Written once by install(), before any signal can reach the handler.
struct sigaction g_stopAction {};

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

// During a hold the first signal is noted and the handler put back (the
// kernel took it away), so that a second one ends the program at once.
void onStopSignal(int signalNumber)
{
    const int savedErrno = errno;
    int none = 0;
    if (g_holding.load() && g_heldSignal.compare_exchange_strong(none, signalNumber)) {
        sigaction(signalNumber, &g_stopAction, nullptr);
        errno = savedErrno;
        return;
    }
    errno = savedErrno;
    releaseAndStop(signalNumber);
}

bool isIgnored(int signalNumber)
{
    struct sigaction current {};
    return sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

} // namespace

void SignalPortRelease::install()
{
    g_stopAction.sa_handler = onStopSignal;
    sigemptyset(&g_stopAction.sa_mask);
    for (int signalNumber : STOP_SIGNALS)
        sigaddset(&g_stopAction.sa_mask, signalNumber);
    // The flag is the sign bit of the int that holds the flags.
    g_stopAction.sa_flags = static_cast<int>(SA_RESETHAND);
    for (int signalNumber : STOP_SIGNALS) {
        if (!isIgnored(signalNumber))
            sigaction(signalNumber, &g_stopAction, nullptr);
    }
}

void SignalPortRelease::holdStops()
{
    g_heldSignal.store(0);
    g_holding.store(true);
}

int SignalPortRelease::letStopsThrough()
{
    g_holding.store(false);
    return g_heldSignal.exchange(0);
}

int SignalPortRelease::heldStop()
{
    return g_heldSignal.load();
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

#include "PtyEndpoint.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace ZORVI {
namespace Simulator {

namespace {

// How long a write waits for room before the bytes are given up: the host
// has stopped reading, as a real line would lose them too.
constexpr int WRITE_ROOM_TIMEOUT_MS = 200;
constexpr uint64_t NS_PER_SECOND = 1000000000ull;
// A paced line wakes up for every character (86.8 us apart). The default
// timer slack of 50 us would let each of those wake-ups, and so the first
// and the last character of every answer, come up to that much late.
constexpr unsigned long PACING_TIMER_SLACK_NS = 1;

// steady_clock is CLOCK_MONOTONIC, the clock the pacing sleeps on.
uint64_t nanosecondsOf(std::chrono::steady_clock::time_point time)
{
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count());
}

uint64_t monotonicNs()
{
    return nanosecondsOf(std::chrono::steady_clock::now());
}

void sleepUntilNs(uint64_t deadline)
{
    timespec until{};
    until.tv_sec = static_cast<time_t>(deadline / NS_PER_SECOND);
    until.tv_nsec = static_cast<long>(deadline % NS_PER_SECOND);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

} // namespace

PtyEndpoint::~PtyEndpoint()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyEndpoint::open(std::string& error)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        error = std::string("pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (ptsname_r(m_master, name, sizeof name) != 0) {
        error = std::string("pseudo-terminal name: ") + std::strerror(errno);
        return false;
    }
    m_devicePath = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        error = m_devicePath + ": " + std::strerror(errno);
        return false;
    }
    const int flags = fcntl(m_master, F_GETFL);
    if (flags < 0 || fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = std::string("pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    return configureRaw(error);
}

// No echo, no line editing, no character translation: the host sees the
// bytes the device sends and nothing else.
bool PtyEndpoint::configureRaw(std::string& error)
{
    termios settings{};
    if (tcgetattr(m_slave, &settings) != 0) {
        error = m_devicePath + ": " + std::strerror(errno);
        return false;
    }
    cfmakeraw(&settings);
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    settings.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(m_slave, TCSANOW, &settings) != 0) {
        error = m_devicePath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

ssize_t PtyEndpoint::read(uint8_t* buffer, size_t size)
{
    for (;;) {
        const ssize_t count = ::read(m_master, buffer, size);
        if (count >= 0)
            return count;
        if (errno == EINTR)
            continue;
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    }
}

void PtyEndpoint::setPaced(bool paced)
{
    m_paced = paced;
    if (paced)
        prctl(PR_SET_TIMERSLACK, PACING_TIMER_SLACK_NS);
}

void PtyEndpoint::write(const std::vector<uint8_t>& bytes,
                        std::chrono::steady_clock::time_point arrival)
{
    if (bytes.empty())
        return;
    if (m_paced)
        writePaced(bytes, nanosecondsOf(arrival));
    else
        writeAll(bytes.data(), bytes.size());
}

bool PtyEndpoint::writeAll(const uint8_t* data, size_t length)
{
    while (length > 0) {
        const ssize_t count = ::write(m_master, data, length);
        if (count > 0) {
            data += count;
            length -= static_cast<size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        pollfd room{m_master, POLLOUT, 0};
        if (poll(&room, 1, WRITE_ROOM_TIMEOUT_MS) <= 0 || !(room.revents & POLLOUT))
            return false;
    }
    return true;
}

// Our probe of the lock only runs while the port is marked exclusive, when
// no other program (but root) can open the port anyway, and it holds the
// lock only for the moment it takes to clear the mark.
bool PtyEndpoint::clearAbandonedExclusivity()
{
    int exclusive = 0;
    if (ioctl(m_slave, TIOCGEXCL, &exclusive) != 0 || !exclusive)
        return false;
    if (flock(m_slave, LOCK_EX | LOCK_NB) != 0)
        return false; // the holder still runs
    const bool cleared = ioctl(m_slave, TIOCNXCL) == 0;
    flock(m_slave, LOCK_UN);
    return cleared;
}

// When character n (counted from 1) of the current busy period has fully
// arrived: its stop bit ends n character times after the period began.
uint64_t PtyEndpoint::dueNs(uint64_t character) const
{
    return m_periodStartNs + character * BITS_PER_CHARACTER * NS_PER_SECOND / LINE_BAUD;
}

// The deadlines are absolute, so time spent writing does not add up; a line
// that is idle when the host's bytes arrive starts a new period then. Each
// write hands over only characters whose moment has come: normally one, and
// after a late wake-up all that are overdue at once, so the line catches up
// without any character arriving early.
void PtyEndpoint::writePaced(const std::vector<uint8_t>& bytes, uint64_t arrivalNs)
{
    if (arrivalNs >= dueNs(m_periodCharacters)) {
        m_periodStartNs = arrivalNs;
        m_periodCharacters = 0;
    }
    size_t sent = 0;
    while (sent < bytes.size()) {
        sleepUntilNs(dueNs(m_periodCharacters + 1));
        const uint64_t now = monotonicNs();
        size_t due = 1;
        while (sent + due < bytes.size() && dueNs(m_periodCharacters + due + 1) <= now)
            ++due;
        m_periodCharacters += due;
        if (!writeAll(bytes.data() + sent, due))
            return;
        sent += due;
    }
}

} // namespace Simulator
} // namespace ZORVI

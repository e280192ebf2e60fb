// The Win32 serial functions on termios and poll. A handle is a SerialHandle
// on the heap; the functions keep the Win32 meaning that SerialWin relies on:
// an exclusive open, COMMTIMEOUTS read and write time-outs measured on the
// monotonic clock, and modem-line calls that fail (or are ignored) on a port
// without modem lines, as Windows drivers do for virtual ports.

#include "KernelSerialPorts.h"
#include "LinuxWin32.h"
#include "OpenProblemText.h"
#include "PortHolders.h"
#include "PortMap.h"
#include "SignalPortRelease.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// steady_clock is CLOCK_MONOTONIC: time-outs do not jump with the wall clock.
using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;

constexpr const char DEVICE_PREFIX[] = "\\\\.\\";
constexpr const char DEVICE_DIRECTORY[] = "/dev/";
// Longer total time-outs (about 35 years) count as none.
constexpr uint64_t LONGEST_TIMEOUT_MS = uint64_t(1) << 40;

struct SerialHandle {
    int fd = -1;
    COMMTIMEOUTS timeouts{};
    DCB dcb{};
    termios original{}; // the terminal settings before we opened it
};

thread_local DWORD t_lastError = ERROR_SUCCESS;
// What the system can tell about the last failed CreateFileA of this thread
// (who holds the port, which group may open it), for FormatMessageA.
thread_local DWORD t_openProblemError = ERROR_SUCCESS;
thread_local std::string t_openProblem;

std::mutex g_handlesMutex;
// The handles given out and not yet closed, so that a stale or foreign
// handle fails with ERROR_INVALID_HANDLE instead of touching freed memory.
std::set<SerialHandle*> g_handles;

BOOL fail(DWORD error)
{
    t_lastError = error;
    return FALSE;
}

SerialHandle* lookUp(HANDLE handle)
{
    auto* serial = static_cast<SerialHandle*>(handle);
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    return g_handles.count(serial) ? serial : nullptr;
}

// ---- opening ---------------------------------------------------------------

DWORD errorFromOpen(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case EBUSY: // another holder set TIOCEXCL
    case EWOULDBLOCK: // another holder has the flock
        return ERROR_SHARING_VIOLATION;
    default:
        return ERROR_FILE_NOT_FOUND;
    }
}

// Fails CreateFileA for an open of the device node that ended in errno
// `error`, keeping what the system can say about it.
void failOpen(const std::string& devicePath, int error)
{
    fail(errorFromOpen(error));
    t_openProblemError = t_lastError;
    t_openProblem = ZORVI::Communication::Serial::OpenProblemText::describe(devicePath, error);
}

// "\\.\NAME" -> NAME, or empty for anything that is not a plain port name.
std::string portNameOf(LPCSTR fileName)
{
    const size_t prefixLength = sizeof DEVICE_PREFIX - 1;
    if (!fileName || std::strncmp(fileName, DEVICE_PREFIX, prefixLength) != 0)
        return std::string();
    const std::string name = fileName + prefixLength;
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return std::string();
    return name;
}

bool existsInDeviceDirectory(const std::string& portName)
{
    struct stat st;
    return lstat((DEVICE_DIRECTORY + portName).c_str(), &st) == 0;
}

// The device node of a port the port list would list: the port map's
// entry, else the kernel's serial port of that name. Anything else is
// refused: a name nothing answers to as "no such port", something in /dev
// that is not a serial port (tty, console, null, ...) as "not a serial
// port", so that the message says which.
std::string devicePathOf(const std::string& portName, DWORD* refusal)
{
    const std::string mapped = ZORVI::Communication::Serial::PortMap::resolve(portName);
    if (!mapped.empty())
        return mapped;
    if (ZORVI::Communication::Serial::KernelSerialPorts::contains(portName))
        return DEVICE_DIRECTORY + portName;
    *refusal = existsInDeviceDirectory(portName) ? ERROR_NOT_SUPPORTED : ERROR_FILE_NOT_FOUND;
    return std::string();
}

bool isTerminal(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && isatty(fd);
}

// No sharing, as on Windows: the flock keeps out every other opener that
// plays by the same rule (root included); TIOCEXCL also keeps out programs
// that do not, except root.
bool takeExclusively(int fd)
{
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return false;
    return ioctl(fd, TIOCEXCL) == 0;
}

// A program that opened the line without a lock of its own (cat, a terminal
// program) is kept out by neither flock nor TIOCEXCL, and what we write would
// reach it instead of an adapter. The kernel's list of open files tells.
bool heldByAnotherProgram(const std::string& devicePath)
{
    const pid_t self = getpid();
    for (const auto& holder : ZORVI::Communication::Serial::PortHolders::of(devicePath))
        if (holder.pid != self)
            return true;
    return false;
}

const struct {
    DWORD rate;
    speed_t speed;
} BAUD_RATES[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
    {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400},
    {460800, B460800}, {921600, B921600},
};

std::optional<speed_t> speedOf(DWORD rate)
{
    for (const auto& entry : BAUD_RATES)
        if (entry.rate == rate)
            return entry.speed;
    return std::nullopt;
}

DWORD rateOf(speed_t speed)
{
    for (const auto& entry : BAUD_RATES)
        if (entry.speed == speed)
            return entry.rate;
    return 0;
}

// The control block a freshly opened port has: its line settings as the
// kernel reports them, DTR and RTS on (opening a tty raises both).
DCB initialControlBlock(int fd)
{
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    termios tio;
    if (tcgetattr(fd, &tio) != 0)
        return dcb;
    dcb.BaudRate = rateOf(cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
    }
    if (tio.c_cflag & PARENB)
        dcb.Parity = (tio.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    dcb.StopBits = (tio.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    return dcb;
}

// ---- line settings ---------------------------------------------------------

bool asksForFlowControl(const DCB& dcb)
{
    return dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fDsrSensitivity || dcb.fOutX || dcb.fInX
        || dcb.fDtrControl > DTR_CONTROL_ENABLE || dcb.fRtsControl > RTS_CONTROL_ENABLE;
}

// DTR control 3 does not exist; RTS control 3 (toggle) is flow control.
bool isValidControlBlock(const DCB& dcb)
{
    return speedOf(dcb.BaudRate) && dcb.ByteSize >= 5 && dcb.ByteSize <= 8
        && dcb.Parity <= EVENPARITY && (dcb.StopBits == ONESTOPBIT || dcb.StopBits == TWOSTOPBITS)
        && dcb.fDtrControl != 3;
}

tcflag_t characterSizeFlag(BYTE byteSize)
{
    switch (byteSize) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

// A pseudo-terminal has no wire: it keeps CS8 without parity whatever it is
// given, and glibc reports that as EINVAL although the rest took effect.
bool tookAllButFraming(int fd, const termios& wanted)
{
    termios now;
    if (tcgetattr(fd, &now) != 0)
        return false;
    constexpr tcflag_t FRAMING = CSIZE | PARENB | PARODD;
    return (now.c_cflag & ~FRAMING) == (wanted.c_cflag & ~FRAMING)
        && now.c_iflag == wanted.c_iflag && now.c_oflag == wanted.c_oflag
        && now.c_lflag == wanted.c_lflag && cfgetispeed(&now) == cfgetispeed(&wanted)
        && cfgetospeed(&now) == cfgetospeed(&wanted);
}

// Raw bytes, no flow control, the receiver on and modem status ignored for
// opening and reading. Received bytes pass unchecked, parity or not.
bool applyLineSettings(int fd, const DCB& dcb)
{
    termios tio;
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | characterSizeFlag(dcb.ByteSize);
    if (dcb.Parity != NOPARITY)
        tio.c_cflag |= PARENB | (dcb.Parity == ODDPARITY ? PARODD : 0);
    if (dcb.StopBits == TWOSTOPBITS)
        tio.c_cflag |= CSTOPB;
    // VMIN 1 makes a non-blocking read without data fail with EAGAIN, so
    // that a read of 0 bytes can only mean the port went away.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = *speedOf(dcb.BaudRate);
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0)
        return false;
    if (tcsetattr(fd, TCSANOW, &tio) == 0)
        return true;
    return errno == EINVAL && tookAllButFraming(fd, tio);
}

bool hasNoModemLines(int error)
{
    return error == ENOTTY || error == EINVAL;
}

bool changeLines(int fd, unsigned long request, int lines)
{
    if (lines == 0 || ioctl(fd, request, &lines) == 0)
        return true;
    return hasNoModemLines(errno);
}

// Sets DTR and RTS as the control block asks. A port without modem lines (a
// pseudo-terminal) accepts the setting and ignores it, as Windows drivers do
// for virtual ports.
bool applyControlLines(int fd, const DCB& dcb)
{
    int raise = 0;
    int lower = 0;
    (dcb.fDtrControl == DTR_CONTROL_ENABLE ? raise : lower) |= TIOCM_DTR;
    (dcb.fRtsControl == RTS_CONTROL_ENABLE ? raise : lower) |= TIOCM_RTS;
    return changeLines(fd, TIOCMBIS, raise) && changeLines(fd, TIOCMBIC, lower);
}

// ---- waiting ---------------------------------------------------------------

enum class Wait { Ready, TimedOut, Failed };

// Waits for `events` on fd until the deadline (none: for ever). Ready also
// covers hang-up and error, which the next read or write then reports.
Wait waitFor(int fd, short events, const Deadline& deadline)
{
    for (;;) {
        timespec timeout{};
        timespec* timeoutPointer = nullptr;
        if (deadline) {
            const auto left = *deadline - Clock::now();
            if (left <= Clock::duration::zero())
                return Wait::TimedOut;
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            timeoutPointer = &timeout;
        }
        pollfd pfd{fd, events, 0};
        const int ready = ppoll(&pfd, 1, timeoutPointer, nullptr);
        if (ready > 0)
            return (pfd.revents & POLLNVAL) ? Wait::Failed : Wait::Ready;
        if (ready < 0 && errno != EINTR)
            return Wait::Failed;
        // Time-out or signal: the deadline check above decides.
    }
}

Deadline totalDeadline(Clock::time_point start, DWORD multiplier, DWORD constant, DWORD bytes)
{
    if (multiplier == 0 && constant == 0)
        return std::nullopt;
    const uint64_t ms = uint64_t(multiplier) * bytes + constant;
    if (ms > LONGEST_TIMEOUT_MS)
        return std::nullopt;
    return start + std::chrono::milliseconds(ms);
}

// ---- reading ---------------------------------------------------------------

// How one ReadFile call ends, from the port's COMMTIMEOUTS.
struct ReadPlan {
    bool returnAtOnce = false;       // take what is there, do not wait
    bool returnWhenAnyAtStart = false; // what is there already ends the read
    bool returnOnFirstBytes = false; // the first bytes to arrive end the read
    std::optional<Clock::duration> interval; // longest gap after the first byte
    Deadline total;
};

ReadPlan planRead(const COMMTIMEOUTS& t, DWORD bytesToRead, Clock::time_point start)
{
    ReadPlan plan;
    if (t.ReadIntervalTimeout == MAXDWORD) {
        // The special "return quickly" settings of the Win32 serial driver.
        if (t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
            plan.returnAtOnce = true;
        } else if (t.ReadTotalTimeoutMultiplier == MAXDWORD) {
            plan.returnWhenAnyAtStart = plan.returnOnFirstBytes = true;
            plan.total = totalDeadline(start, 0, t.ReadTotalTimeoutConstant, 0);
        } else {
            plan.returnWhenAnyAtStart = true;
            plan.total = totalDeadline(start, t.ReadTotalTimeoutMultiplier,
                                       t.ReadTotalTimeoutConstant, bytesToRead);
        }
        return plan;
    }
    if (t.ReadIntervalTimeout != 0)
        plan.interval = std::chrono::milliseconds(t.ReadIntervalTimeout);
    plan.total = totalDeadline(start, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                               bytesToRead);
    return plan;
}

// Takes what the port has, up to `room` bytes, without waiting. -1 when the
// port failed or hung up before any byte was taken.
ssize_t takeAvailable(int fd, uint8_t* buffer, size_t room)
{
    size_t taken = 0;
    while (taken < room) {
        const ssize_t count = ::read(fd, buffer + taken, room - taken);
        if (count > 0) {
            taken += static_cast<size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        return taken > 0 ? static_cast<ssize_t>(taken) : -1;
    }
    return static_cast<ssize_t>(taken);
}

Deadline earlier(const Deadline& a, const Deadline& b)
{
    if (!a)
        return b;
    if (!b)
        return a;
    return std::min(*a, *b);
}

// The body of ReadFile: reads until the bytes asked for are there or a
// time-out ends the read. A time-out is success with what has arrived.
BOOL readWithTimeouts(SerialHandle& port, uint8_t* buffer, DWORD bytesToRead, DWORD* bytesRead)
{
    const ReadPlan plan = planRead(port.timeouts, bytesToRead, Clock::now());
    DWORD got = 0;
    Clock::time_point lastArrival{};
    for (bool firstPass = true;; firstPass = false) {
        const ssize_t taken = takeAvailable(port.fd, buffer + got, bytesToRead - got);
        if (taken < 0)
            return fail(ERROR_GEN_FAILURE);
        if (taken > 0) {
            got += static_cast<DWORD>(taken);
            *bytesRead = got;
            lastArrival = Clock::now();
        }
        if (got == bytesToRead || plan.returnAtOnce
            || (got > 0 && (plan.returnOnFirstBytes || (firstPass && plan.returnWhenAnyAtStart))))
            return TRUE;
        const Deadline intervalEnd =
            got > 0 && plan.interval ? Deadline(lastArrival + *plan.interval) : std::nullopt;
        const Wait wait = waitFor(port.fd, POLLIN, earlier(plan.total, intervalEnd));
        if (wait == Wait::TimedOut)
            return TRUE;
        if (wait == Wait::Failed)
            return fail(ERROR_GEN_FAILURE);
    }
}

// ---- writing ---------------------------------------------------------------

// The body of WriteFile: writes until all bytes are out or the write total
// time-out passes; a time-out is success with the count written.
BOOL writeWithTimeout(SerialHandle& port, const uint8_t* buffer, DWORD bytesToWrite,
                      DWORD* bytesWritten)
{
    const Deadline deadline = totalDeadline(Clock::now(), port.timeouts.WriteTotalTimeoutMultiplier,
                                            port.timeouts.WriteTotalTimeoutConstant, bytesToWrite);
    DWORD written = 0;
    while (written < bytesToWrite) {
        const ssize_t count = ::write(port.fd, buffer + written, bytesToWrite - written);
        if (count > 0) {
            written += static_cast<DWORD>(count);
            *bytesWritten = written;
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return fail(ERROR_GEN_FAILURE);
        const Wait wait = waitFor(port.fd, POLLOUT, deadline);
        if (wait == Wait::TimedOut)
            return TRUE;
        if (wait == Wait::Failed)
            return fail(ERROR_GEN_FAILURE);
    }
    return TRUE;
}

} // namespace

// The port is checked before it is opened (opening a terminal can have
// effects of its own), and the terminal that opened is checked again.
HANDLE CreateFileA(LPCSTR fileName, DWORD /*desiredAccess*/, DWORD /*shareMode*/,
                   LPSECURITY_ATTRIBUTES /*securityAttributes*/, DWORD /*creationDisposition*/,
                   DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/)
{
    t_openProblemError = ERROR_SUCCESS;
    t_openProblem.clear();
    const std::string portName = portNameOf(fileName);
    if (portName.empty()) {
        fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    DWORD refusal = ERROR_SUCCESS;
    const std::string devicePath = devicePathOf(portName, &refusal);
    if (devicePath.empty()) {
        fail(refusal);
        return INVALID_HANDLE_VALUE;
    }
    // O_NOCTTY: a port never becomes our controlling terminal. O_NONBLOCK:
    // the open does not wait for carrier, and reads and writes wait in poll
    // under the time-outs instead of in the kernel.
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failOpen(devicePath, errno);
        return INVALID_HANDLE_VALUE;
    }
    termios original;
    if (!isTerminal(fd) || tcgetattr(fd, &original) != 0) {
        ::close(fd);
        fail(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    if (!takeExclusively(fd)) {
        const int error = errno;
        ::close(fd);
        failOpen(devicePath, error);
        return INVALID_HANDLE_VALUE;
    }
    if (heldByAnotherProgram(devicePath)) {
        // TIOCEXCL stays with the terminal: give it back before leaving.
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        failOpen(devicePath, EBUSY);
        return INVALID_HANDLE_VALUE;
    }
    auto* port = new SerialHandle;
    port->fd = fd;
    port->original = original;
    port->dcb = initialControlBlock(fd);
    ZORVI::Communication::Serial::SignalPortRelease::track(fd, port->original);
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    g_handles.insert(port);
    return port;
}

BOOL CloseHandle(HANDLE handle)
{
    auto* port = static_cast<SerialHandle*>(handle);
    {
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        if (!g_handles.erase(port))
            return fail(ERROR_INVALID_HANDLE);
    }
    ZORVI::Communication::Serial::SignalPortRelease::untrack(port->fd);
    // The next program finds the terminal as we found it. TIOCEXCL belongs
    // to the tty, not to our descriptor: clear it before the next program
    // opens the port.
    tcsetattr(port->fd, TCSANOW, &port->original);
    ioctl(port->fd, TIOCNXCL);
    ::close(port->fd);
    delete port;
    return TRUE;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped)
{
    if (bytesRead)
        *bytesRead = 0;
    SerialHandle* port = lookUp(handle);
    if (!port)
        return fail(ERROR_INVALID_HANDLE);
    if (overlapped || !bytesRead || (!buffer && bytesToRead > 0))
        return fail(ERROR_INVALID_PARAMETER);
    if (bytesToRead == 0)
        return TRUE;
    return readWithTimeouts(*port, static_cast<uint8_t*>(buffer), bytesToRead, bytesRead);
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped)
{
    if (bytesWritten)
        *bytesWritten = 0;
    SerialHandle* port = lookUp(handle);
    if (!port)
        return fail(ERROR_INVALID_HANDLE);
    if (overlapped || !bytesWritten || (!buffer && bytesToWrite > 0))
        return fail(ERROR_INVALID_PARAMETER);
    if (bytesToWrite == 0)
        return TRUE;
    return writeWithTimeout(*port, static_cast<const uint8_t*>(buffer), bytesToWrite,
                            bytesWritten);
}

BOOL GetCommState(HANDLE handle, LPDCB dcb)
{
    SerialHandle* port = lookUp(handle);
    if (!port)
        return fail(ERROR_INVALID_HANDLE);
    if (!dcb)
        return fail(ERROR_INVALID_PARAMETER);
    *dcb = port->dcb;
    return TRUE;
}

BOOL SetCommState(HANDLE handle, LPDCB dcb)
{
    SerialHandle* port = lookUp(handle);
    if (!port)
        return fail(ERROR_INVALID_HANDLE);
    if (!dcb || !isValidControlBlock(*dcb))
        return fail(ERROR_INVALID_PARAMETER);
    if (asksForFlowControl(*dcb))
        return fail(ERROR_NOT_SUPPORTED);
    if (!applyLineSettings(port->fd, *dcb) || !applyControlLines(port->fd, *dcb))
        return fail(ERROR_GEN_FAILURE);
    port->dcb = *dcb;
    port->dcb.DCBlength = sizeof(DCB);
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts)
{
    SerialHandle* port = lookUp(handle);
    if (!port)
        return fail(ERROR_INVALID_HANDLE);
    if (!timeouts)
        return fail(ERROR_INVALID_PARAMETER);
    *timeouts = port->timeouts;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts)
{
    SerialHandle* port = lookUp(handle);
    if (!port)
        return fail(ERROR_INVALID_HANDLE);
    if (!timeouts)
        return fail(ERROR_INVALID_PARAMETER);
    port->timeouts = *timeouts;
    return TRUE;
}

BOOL PurgeComm(HANDLE handle, DWORD flags)
{
    SerialHandle* port = lookUp(handle);
    if (!port)
        return fail(ERROR_INVALID_HANDLE);
    constexpr DWORD KNOWN = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
    if (flags & ~KNOWN)
        return fail(ERROR_INVALID_PARAMETER);
    // Reads and writes are synchronous, so there is nothing pending to abort.
    const bool input = flags & PURGE_RXCLEAR;
    const bool output = flags & PURGE_TXCLEAR;
    if (!input && !output)
        return TRUE;
    const int queue = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    return tcflush(port->fd, queue) == 0 ? TRUE : fail(ERROR_GEN_FAILURE);
}

BOOL GetCommModemStatus(HANDLE handle, LPDWORD modemStatus)
{
    SerialHandle* port = lookUp(handle);
    if (!port)
        return fail(ERROR_INVALID_HANDLE);
    if (!modemStatus)
        return fail(ERROR_INVALID_PARAMETER);
    *modemStatus = 0;
    int lines = 0;
    if (ioctl(port->fd, TIOCMGET, &lines) != 0)
        return fail(hasNoModemLines(errno) ? ERROR_NOT_SUPPORTED : ERROR_GEN_FAILURE);
    *modemStatus = ((lines & TIOCM_CTS) ? MS_CTS_ON : 0) | ((lines & TIOCM_DSR) ? MS_DSR_ON : 0)
        | ((lines & TIOCM_RI) ? MS_RING_ON : 0) | ((lines & TIOCM_CD) ? MS_RLSD_ON : 0);
    return TRUE;
}

void Sleep(DWORD milliseconds)
{
    // An absolute deadline: a signal cannot stretch or shorten the wait.
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

DWORD GetLastError()
{
    return t_lastError;
}

// Only the messages this stand-in has something to say in: the last failed
// CreateFileA's, in a sentence that names what to do. Any other id has no
// message (Windows would give its generic text).
DWORD FormatMessageA(DWORD flags, LPCVOID /*source*/, DWORD messageId, DWORD /*languageId*/,
                     LPSTR buffer, DWORD size, va_list* /*arguments*/)
{
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer) {
        fail(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (messageId == ERROR_SUCCESS || messageId != t_openProblemError || t_openProblem.empty()) {
        fail(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    if (t_openProblem.size() >= size) {
        fail(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, t_openProblem.c_str(), t_openProblem.size() + 1);
    return static_cast<DWORD>(t_openProblem.size());
}

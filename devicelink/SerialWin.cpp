#include "SerialWin.h"

#include "FrameAssembler.h"
#include "Packet.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>

namespace ZORVI {
namespace Communication {
namespace Serial {

namespace {

constexpr const char* DEVICE_PREFIX = "\\\\.\\";
constexpr const char* SERIALCOMM_KEY = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr DWORD VALUE_NAME_SIZE = 260;
constexpr DWORD MESSAGE_SIZE = 2048;

} // namespace

SerialWin::~SerialWin()
{
    close();
}

bool SerialWin::open(const char* portName, int mode)
{
    close();
    m_openError = ERROR_INVALID_PARAMETER;
    m_openMessage.clear();
    std::memset(m_devicePath, 0, sizeof m_devicePath);
    if (!portName || std::strlen(portName) + std::strlen(DEVICE_PREFIX) >= DEVICE_PATH_SIZE)
        return false;
    std::strcpy(m_devicePath, DEVICE_PREFIX);
    std::strcat(m_devicePath, portName);

    HANDLE handle = CreateFileA(m_devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        m_openError = GetLastError();
        m_openMessage = systemMessage(m_openError);
        return false;
    }
    // From here the handle is held, even when the settings are refused:
    // the next open, close or the destructor releases it.
    m_portHandle = handle;
    if (!configure(mode)) {
        m_openError = ERROR_NOT_SUPPORTED;
        return false;
    }
    purge();
    m_openError = ERROR_SUCCESS;
    m_isOpen = true;
    return true;
}

bool SerialWin::configure(int mode)
{
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (mode == 0 || mode == 1) {
        dcb.BaudRate = CBR_115200;
        dcb.ByteSize = 8;
        dcb.Parity = mode == 0 ? EVENPARITY : NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fRtsControl = mode == 0 ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
    }
    if (!SetCommState(m_portHandle, &dcb))
        return false;
    return setReadTotalConstant(READ_TOTAL_CONSTANT_MS);
}

COMMTIMEOUTS SerialWin::linkTimeouts(DWORD readTotalConstantMs)
{
    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = READ_INTERVAL_MS;
    timeouts.ReadTotalTimeoutMultiplier = READ_TOTAL_MULTIPLIER_MS;
    timeouts.ReadTotalTimeoutConstant = readTotalConstantMs;
    timeouts.WriteTotalTimeoutMultiplier = WRITE_TOTAL_MULTIPLIER_MS;
    timeouts.WriteTotalTimeoutConstant = WRITE_TOTAL_CONSTANT_MS;
    return timeouts;
}

bool SerialWin::setReadTotalConstant(DWORD milliseconds)
{
    COMMTIMEOUTS timeouts = linkTimeouts(milliseconds);
    if (!SetCommTimeouts(m_portHandle, &timeouts))
        return false;
    m_readTotalConstantMs = milliseconds;
    return true;
}

void SerialWin::close()
{
    if (m_portHandle)
        CloseHandle(m_portHandle);
    m_portHandle = nullptr;
    m_isOpen = false;
}

void SerialWin::purge()
{
    PurgeComm(m_portHandle, PURGE_TXCLEAR | PURGE_RXCLEAR);
}

bool SerialWin::write(const uint8_t* buffer, uint32_t length, uint32_t* written)
{
    if (written)
        *written = 0;
    purge();
    DWORD count = 0;
    if (!WriteFile(m_portHandle, buffer, length, &count, nullptr))
        return false;
    if (written)
        *written = count;
    return true;
}

bool SerialWin::read(uint8_t* buffer, uint32_t length, uint32_t* got)
{
    if (got)
        *got = 0;
    DWORD count = 0;
    if (!ReadFile(m_portHandle, buffer, length, &count, nullptr))
        return false;
    if (got)
        *got = count;
    return true;
}

bool SerialWin::readExpected(uint8_t* buffer, uint32_t expected, uint32_t length, uint32_t* got)
{
    if (got)
        *got = 0;
    DWORD count = 0;
    if (!ReadFile(m_portHandle, buffer, std::min(expected, length), &count, nullptr))
        return false;
    DWORD behind = 0;
    if (count == expected && count < length
        && !readTrailing(buffer + count, length - count, &behind))
        return false;
    if (got)
        *got = count + behind;
    return true;
}

// The bytes already received, else the first to come within
// TRAILING_BYTES_WAIT_MS: what the serial driver does with an interval and
// a multiplier of MAXDWORD. A byte that arrives later is the next read's.
bool SerialWin::readTrailing(uint8_t* buffer, uint32_t length, DWORD* count)
{
    COMMTIMEOUTS quick = linkTimeouts(m_readTotalConstantMs);
    quick.ReadIntervalTimeout = MAXDWORD;
    quick.ReadTotalTimeoutMultiplier = MAXDWORD;
    quick.ReadTotalTimeoutConstant = TRAILING_BYTES_WAIT_MS;
    const bool read = SetCommTimeouts(m_portHandle, &quick)
        && ReadFile(m_portHandle, buffer, length, count, nullptr);
    // Every later read waits under the port's own time-outs again.
    return setReadTotalConstant(m_readTotalConstantMs) && read;
}

bool SerialWin::readByte(uint8_t* byte, Clock::time_point deadline)
{
    DWORD count = 0;
    return limitReadTo(deadline) && ReadFile(m_portHandle, byte, 1, &count, nullptr)
        && count == 1;
}

// Each one-byte read waits under the port's time-outs; near the frame's
// deadline the read total time-out is cut so that the read ends by the
// deadline, and it is given back when a frame that begins late moves the
// deadline on. It is set anew only when the one in force would end the read
// more than one read interval after the deadline, or before it; not for
// every byte.
bool SerialWin::limitReadTo(Clock::time_point deadline)
{
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return false;
    const long long untilDeadline = left - static_cast<long long>(READ_TOTAL_MULTIPLIER_MS);
    const DWORD fitting = static_cast<DWORD>(
        std::clamp<long long>(untilDeadline, 0, static_cast<long long>(READ_TOTAL_CONSTANT_MS)));
    const bool overruns = m_readTotalConstantMs > fitting + READ_INTERVAL_MS;
    const bool endsEarly = m_readTotalConstantMs < fitting;
    if (!overruns && !endsEarly)
        return true;
    return setReadTotalConstant(fitting);
}

bool SerialWin::assemble(Communication::FrameAssembler& assembler, Clock::time_point deadline)
{
    for (;;) {
        uint8_t byte = 0;
        if (!readByte(&byte, deadline))
            return false;
        noteReceived(byte);
        const bool awaitingStart = assembler.length() == 0;
        const FrameAssembler::Step step = assembler.push(byte);
        // A frame that begins just before the deadline may take the line
        // time of the longest frame, and no more: a start byte now and then
        // cannot buy a line a new time-out.
        if (awaitingStart && assembler.length() > 0)
            deadline = std::max(deadline, Clock::now() + std::chrono::milliseconds(LATE_FRAME_MS));
        if (step == FrameAssembler::Step::Complete)
            return true;
        if (step != FrameAssembler::Step::NeedMore)
            return false;
    }
}

uint8_t* SerialWin::readFrame(uint16_t* frameLength)
{
    *frameLength = 0;
    if (!m_isOpen)
        return nullptr;
    // 8 KiB is too much for the stack of a GUI thread that may be deep in
    // nested event loops.
    auto assembler = std::make_unique<FrameAssembler>();
    const bool complete = assemble(
        *assembler, Clock::now() + std::chrono::milliseconds(FRAME_READ_DEADLINE_MS));
    // The next read waits the whole time-out again. A port that refuses
    // that would end every later read early: it fails this one.
    if (m_readTotalConstantMs != READ_TOTAL_CONSTANT_MS
        && !setReadTotalConstant(READ_TOTAL_CONSTANT_MS))
        return nullptr;
    if (!complete)
        return nullptr;
    uint8_t* frame = new (std::nothrow) uint8_t[assembler->length()];
    if (!frame)
        return nullptr;
    std::memcpy(frame, assembler->frame(), assembler->length());
    *frameLength = assembler->length();
    return frame;
}

bool SerialWin::isPortOpen() const
{
    return m_isOpen;
}

// What was received before the request is stale: the answer to it must be
// the next frame.
bool SerialWin::writeFrame(const uint8_t* frame, uint16_t length)
{
    purge();
    DWORD written = 0;
    return WriteFile(m_portHandle, frame, length, &written, nullptr) && written == length;
}

bool SerialWin::nextFrame(std::vector<uint8_t>& frame)
{
    uint16_t length = 0;
    const std::unique_ptr<uint8_t[]> bytes(readFrame(&length));
    if (!bytes)
        return false;
    frame.assign(bytes.get(), bytes.get() + length);
    return true;
}

bool SerialWin::setDTR(bool on)
{
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(m_portHandle, &dcb))
        return false;
    dcb.fDtrControl = on ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    return SetCommState(m_portHandle, &dcb) != FALSE;
}

bool SerialWin::setRTS(bool on)
{
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(m_portHandle, &dcb))
        return false;
    dcb.fRtsControl = on ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    return SetCommState(m_portHandle, &dcb) != FALSE;
}

bool SerialWin::getModemLines(uint8_t flags[4])
{
    flags[0] = flags[1] = flags[2] = flags[3] = 0;
    DWORD status = 0;
    if (!GetCommModemStatus(m_portHandle, &status))
        return false;
    flags[0] = (status & MS_CTS_ON) ? 1 : 0;
    flags[1] = (status & MS_DSR_ON) ? 1 : 0;
    flags[2] = (status & MS_RING_ON) ? 1 : 0;
    flags[3] = (status & MS_RLSD_ON) ? 1 : 0;
    return true;
}

bool SerialWin::enumeratePort(uint32_t index, char* buffer, uint32_t bufferSize)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERIALCOMM_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char valueName[VALUE_NAME_SIZE];
    DWORD valueNameLength = VALUE_NAME_SIZE;
    DWORD dataLength = bufferSize;
    const LONG result = RegEnumValueA(key, index, valueName, &valueNameLength, nullptr, nullptr,
                                      reinterpret_cast<LPBYTE>(buffer), &dataLength);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

// Windows ends its messages with a line break; the Linux stand-in says who
// holds the port or which group may open it.
std::string SerialWin::systemMessage(DWORD error)
{
    char text[MESSAGE_SIZE] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, text, MESSAGE_SIZE, nullptr);
    std::string message(text, length < MESSAGE_SIZE ? length : 0);
    while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back())))
        message.pop_back();
    return message;
}

// The system's words when it has them, else ours.
const char* SerialWin::openError() const
{
    if (!m_openMessage.empty())
        return m_openMessage.c_str();
    switch (m_openError) {
    case ERROR_SUCCESS:
        return "";
    case ERROR_FILE_NOT_FOUND:
        return "no such port";
    case ERROR_ACCESS_DENIED:
        return "access denied (the port is in use by another program, or you lack "
               "permission to open its device node)";
    case ERROR_SHARING_VIOLATION:
        return "the port is in use by another program";
    case ERROR_NOT_SUPPORTED:
        return "not a serial port, or it refuses the serial settings";
    case ERROR_INVALID_PARAMETER:
        return "invalid port name";
    default:
        return "the port could not be opened";
    }
}

SerialBase::OpenFailure SerialWin::openFailure() const
{
    switch (m_openError) {
    case ERROR_SUCCESS: return OpenFailure::None;
    case ERROR_FILE_NOT_FOUND: return OpenFailure::NoSuchPort;
    case ERROR_SHARING_VIOLATION: return OpenFailure::InUse;
#ifdef _WIN32
    // Windows answers a port that another program holds with "access denied".
    case ERROR_ACCESS_DENIED: return OpenFailure::InUse;
#else
    case ERROR_ACCESS_DENIED: return OpenFailure::PermissionDenied;
#endif
    case ERROR_NOT_SUPPORTED: return OpenFailure::NotSerial;
    case ERROR_INVALID_PARAMETER: return OpenFailure::InvalidName;
    default: return OpenFailure::Other;
    }
}

void SerialWin::sleep(uint32_t milliseconds)
{
    Sleep(milliseconds);
}

} // namespace Serial
} // namespace Communication
} // namespace ZORVI

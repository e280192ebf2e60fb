// The Win32 serial and registry stand-in over real pseudo-terminals.

#include "LinuxWin32.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "PtyPair.h"
#include "TerminalState.h"

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using ZORVI::Communication::Serial::PortMap;

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

long long msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

std::string devicePath(const std::string& portName)
{
    return "\\\\.\\" + portName;
}

HANDLE openPort(const std::string& portName)
{
    return CreateFileA(devicePath(portName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

DCB controlBlock(DWORD baudRate, BYTE byteSize, BYTE parity, BYTE stopBits)
{
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = baudRate;
    dcb.ByteSize = byteSize;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    return dcb;
}

// The time-outs the device link uses.
constexpr COMMTIMEOUTS LINK_TIMEOUTS = {50, 10, 2500, 10, 100};

// A port opened through the port map on the slave of a fresh pty, set to
// 115200 8N1 as the device link sets it.
class PtyPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isReady());
        ASSERT_TRUE(pty.isOpen());
        portName = PrivateRuntimeDir::uniquePortName("ttyPTY");
        ASSERT_TRUE(PortMap::add(portName, pty.slavePath()));
        handle = openPort(portName);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
        DCB dcb = controlBlock(CBR_115200, 8, NOPARITY, ONESTOPBIT);
        ASSERT_TRUE(SetCommState(handle, &dcb));
        setTimeouts(LINK_TIMEOUTS);
    }

    void TearDown() override
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }

    void setTimeouts(COMMTIMEOUTS timeouts) { ASSERT_TRUE(SetCommTimeouts(handle, &timeouts)); }

    PrivateRuntimeDir runtime;
    PtyPair pty;
    std::string portName;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

// ---- ReadFile time-outs -----------------------------------------------------

// Bytes the far end sends `atMs` after the read started.
struct Burst {
    int atMs;
    size_t count;
};

struct ReadCase {
    const char* name;
    COMMTIMEOUTS timeouts;
    size_t preloaded; // bytes already waiting when the read starts
    std::vector<Burst> bursts;
    DWORD bytesToRead;
    DWORD expectedBytes;
    int referenceBurst; // the expected time counts from this burst, -1: from the start
    int expectedMs;
};

std::ostream& operator<<(std::ostream& out, const ReadCase& c)
{
    return out << c.name;
}

const ReadCase READ_CASES[] = {
    {"OneByteAlreadyThereReturnsAtOnce", LINK_TIMEOUTS, 1, {}, 1, 1, -1, 0},
    {"OneByteReturnsWhenItArrives", LINK_TIMEOUTS, 0, {{300, 1}}, 1, 1, 0, 0},
    {"OneByteNothingArrivesGivesUpAfter2510ms", LINK_TIMEOUTS, 0, {}, 1, 0, -1, 2510},
    {"ManyBytesReturnIntervalAfterTheLast", LINK_TIMEOUTS, 0, {{100, 3}, {125, 4}}, 256, 7, 1, 50},
    {"GapLongerThanIntervalEndsTheRead", LINK_TIMEOUTS, 0, {{100, 3}, {500, 4}}, 256, 3, 0, 50},
    {"ManyBytesNothingArrivesGivesUpAfter5060ms", LINK_TIMEOUTS, 0, {}, 256, 0, -1, 5060},
    {"AllBytesAskedForReturnAtOnce", LINK_TIMEOUTS, 0, {{100, 4}}, 4, 4, 0, 0},
    {"TotalTimeoutAloneBoundsTheRead", {0, 10, 100, 0, 0}, 0, {{50, 3}}, 10, 3, -1, 200},
    {"NoTimeoutsWaitForEveryByte", {0, 0, 0, 0, 0}, 0, {{50, 2}, {400, 2}}, 4, 4, 1, 0},
    {"MaxIntervalAloneTakesWhatIsThere", {MAXDWORD, 0, 0, 0, 0}, 0, {}, 10, 0, -1, 0},
    {"MaxIntervalAndMultiplierReturnOnFirstBytes", {MAXDWORD, MAXDWORD, 1000, 0, 0}, 0,
     {{200, 2}}, 10, 2, 0, 0},
    {"MaxIntervalAndMultiplierTakeWhatIsThereAtOnce", {MAXDWORD, MAXDWORD, 1000, 0, 0}, 3, {},
     10, 3, -1, 0},
    {"MaxIntervalAndMultiplierGiveUpAfterTheConstant", {MAXDWORD, MAXDWORD, 300, 0, 0}, 0, {},
     10, 0, -1, 300},
};

class ReadTimeouts : public PtyPort, public ::testing::WithParamInterface<ReadCase> {};

std::vector<uint8_t> numberedBytes(size_t first, size_t count)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(first + i + 1);
    return bytes;
}

TEST_P(ReadTimeouts, ReturnsWithTheBytesAtTheExpectedTime)
{
    const ReadCase& c = GetParam();
    setTimeouts(c.timeouts);
    ASSERT_TRUE(pty.writeMaster(numberedBytes(0, c.preloaded)));

    const Clock::time_point start = Clock::now();
    std::vector<Clock::time_point> sentAt(c.bursts.size());
    // Paces the far end's bytes; the port under test does the waiting.
    std::thread farEnd([&] {
        size_t sent = c.preloaded;
        for (size_t i = 0; i < c.bursts.size(); ++i) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(c.bursts[i].atMs));
            // Taken before the write, so that no byte can arrive before it.
            sentAt[i] = Clock::now();
            pty.writeMaster(numberedBytes(sent, c.bursts[i].count));
            sent += c.bursts[i].count;
        }
    });
    std::vector<uint8_t> buffer(c.bytesToRead);
    DWORD got = 12345;
    const BOOL ok = ReadFile(handle, buffer.data(), c.bytesToRead, &got, nullptr);
    const Clock::time_point returned = Clock::now();
    farEnd.join();

    ASSERT_TRUE(ok);
    ASSERT_EQ(got, c.expectedBytes);
    buffer.resize(got);
    EXPECT_EQ(buffer, numberedBytes(0, got));
    const Clock::time_point reference = c.referenceBurst < 0 ? start : sentAt[c.referenceBurst];
    const long long elapsed = msBetween(reference, returned);
    EXPECT_GE(elapsed, c.expectedMs - 1);
    EXPECT_LE(elapsed, c.expectedMs + 500);
}

INSTANTIATE_TEST_SUITE_P(Pty, ReadTimeouts, ::testing::ValuesIn(READ_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the rest of the port ---------------------------------------------------

TEST_F(PtyPort, WrittenBytesReachTheFarEnd)
{
    const uint8_t probe[] = {'Z', 'O', 'R', 'V', 'I', 'K', 0};
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(handle, probe, sizeof probe, &written, nullptr));
    EXPECT_EQ(written, sizeof probe);
    EXPECT_EQ(pty.readMaster(sizeof probe, 2000), std::vector<uint8_t>(probe, probe + sizeof probe));
}

TEST_F(PtyPort, WriteStopsAtItsTotalTimeoutWhenNobodyReads)
{
    setTimeouts({0, 0, 0, 0, 100});
    std::vector<uint8_t> lots(4 << 20, 0x55);
    DWORD written = 0;
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(WriteFile(handle, lots.data(), static_cast<DWORD>(lots.size()), &written, nullptr));
    const long long elapsed = msSince(start);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, lots.size());
    EXPECT_GE(elapsed, 90);
    EXPECT_LE(elapsed, 600);
}

TEST_F(PtyPort, PurgeDiscardsReceivedBytes)
{
    ASSERT_TRUE(pty.writeMaster({1, 2, 3, 4, 5, 6, 7, 8}));
    uint8_t byte = 0;
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(handle, &byte, 1, &got, nullptr));
    ASSERT_EQ(got, 1u);

    ASSERT_TRUE(PurgeComm(handle, PURGE_TXCLEAR | PURGE_RXCLEAR));
    setTimeouts({0, 0, 300, 0, 0});
    uint8_t rest[8];
    ASSERT_TRUE(ReadFile(handle, rest, sizeof rest, &got, nullptr));
    EXPECT_EQ(got, 0u);
}

TEST_F(PtyPort, ReadFailsWhenTheFarEndGoesAway)
{
    pty.closeMaster();
    uint8_t byte = 0;
    DWORD got = 0;
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(ReadFile(handle, &byte, 1, &got, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_LT(msSince(start), 1000);
}

TEST_F(PtyPort, IsHeldExclusivelyUntilClosed)
{
    EXPECT_EQ(openPort(portName), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    ASSERT_TRUE(CloseHandle(handle));
    handle = openPort(portName);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE);
}

TEST(CreateFileA, ClosingRestoresTheSettingsThePortHadAndItsSharing)
{
    PrivateRuntimeDir runtime;
    PtyPair pty;
    const std::string name = PrivateRuntimeDir::uniquePortName("ttyPTY");
    ASSERT_TRUE(PortMap::add(name, pty.slavePath()));
    const termios before = setCookedSettings(pty.slave());

    HANDLE handle = openPort(name);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_TRUE(isMarkedExclusive(pty.slave()));
    DCB dcb = controlBlock(CBR_115200, 8, NOPARITY, ONESTOPBIT);
    ASSERT_TRUE(SetCommState(handle, &dcb));
    ASSERT_FALSE(sameSettings(terminalSettings(pty.slave()), before)) << "set up raw at 115200";

    ASSERT_TRUE(CloseHandle(handle));
    EXPECT_TRUE(sameSettings(terminalSettings(pty.slave()), before));
    EXPECT_FALSE(isMarkedExclusive(pty.slave()));
}

TEST_F(PtyPort, ModemLinesOfAPtyAreAcceptedButNotReadable)
{
    DCB dcb = controlBlock(CBR_115200, 8, NOPARITY, ONESTOPBIT);
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    ASSERT_TRUE(SetCommState(handle, &dcb));
    DCB current;
    ASSERT_TRUE(GetCommState(handle, &current));
    EXPECT_EQ(current.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(current.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));

    DWORD status = 0xFFFF;
    EXPECT_FALSE(GetCommModemStatus(handle, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(status, 0u);
}

struct LineCase {
    DWORD baudRate;
    speed_t speed;
    BYTE byteSize;
    BYTE parity;
    BYTE stopBits;
};

void PrintTo(const LineCase& c, std::ostream* out)
{
    *out << c.baudRate << " baud, " << int(c.byteSize) << " bits, parity " << int(c.parity)
         << ", stop " << int(c.stopBits);
}

class LineSettings : public PtyPort, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineSettings, ReachTheTerminalRawAndWithoutFlowControl)
{
    const LineCase& c = GetParam();
    DCB dcb = controlBlock(c.baudRate, c.byteSize, c.parity, c.stopBits);
    ASSERT_TRUE(SetCommState(handle, &dcb)) << GetLastError() << " errno " << errno;

    termios tio;
    ASSERT_EQ(tcgetattr(pty.slave(), &tio), 0);
    EXPECT_EQ(cfgetispeed(&tio), c.speed);
    EXPECT_EQ(cfgetospeed(&tio), c.speed);
    // A pty always reports CS8 without parity, whatever it is given; the
    // rest shows.
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.stopBits == TWOSTOPBITS);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);

    DCB current;
    ASSERT_TRUE(GetCommState(handle, &current));
    EXPECT_EQ(current.BaudRate, c.baudRate);
    EXPECT_EQ(current.ByteSize, c.byteSize);
    EXPECT_EQ(current.Parity, c.parity);
    EXPECT_EQ(current.StopBits, c.stopBits);
}

INSTANTIATE_TEST_SUITE_P(Pty, LineSettings,
                         ::testing::Values(LineCase{115200, B115200, 8, NOPARITY, ONESTOPBIT},
                                           LineCase{115200, B115200, 8, EVENPARITY, ONESTOPBIT},
                                           LineCase{9600, B9600, 7, ODDPARITY, TWOSTOPBITS},
                                           LineCase{57600, B57600, 5, NOPARITY, TWOSTOPBITS}));

TEST_F(PtyPort, RefusesSettingsItCannotMakeAndKeepsTheOldOnes)
{
    struct Refused {
        DCB dcb;
        long error;
    };
    auto withFlowControl = controlBlock(CBR_115200, 8, NOPARITY, ONESTOPBIT);
    withFlowControl.fOutxCtsFlow = 1;
    auto withXonXoff = controlBlock(CBR_115200, 8, NOPARITY, ONESTOPBIT);
    withXonXoff.fInX = 1;
    const Refused cases[] = {
        {controlBlock(0, 8, NOPARITY, ONESTOPBIT), ERROR_INVALID_PARAMETER},
        {controlBlock(12345, 8, NOPARITY, ONESTOPBIT), ERROR_INVALID_PARAMETER},
        {controlBlock(CBR_115200, 4, NOPARITY, ONESTOPBIT), ERROR_INVALID_PARAMETER},
        {controlBlock(CBR_115200, 9, NOPARITY, ONESTOPBIT), ERROR_INVALID_PARAMETER},
        {controlBlock(CBR_115200, 8, 3, ONESTOPBIT), ERROR_INVALID_PARAMETER},
        {controlBlock(CBR_115200, 8, NOPARITY, 1), ERROR_INVALID_PARAMETER},
        {withFlowControl, ERROR_NOT_SUPPORTED},
        {withXonXoff, ERROR_NOT_SUPPORTED},
    };
    for (const Refused& c : cases) {
        DCB dcb = c.dcb;
        EXPECT_FALSE(SetCommState(handle, &dcb)) << dcb.BaudRate << " " << int(dcb.ByteSize);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.error));
    }
    DCB current;
    ASSERT_TRUE(GetCommState(handle, &current));
    EXPECT_EQ(current.BaudRate, CBR_115200);
    EXPECT_EQ(current.ByteSize, 8);
    EXPECT_EQ(current.Parity, NOPARITY);
}

// ---- opening ----------------------------------------------------------------

HANDLE openPath(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

// Map entries whose target is no serial line count as missing: the port
// list does not show them either.
TEST(CreateFileA, RefusesWhatIsNotAnExistingSerialPort)
{
    PrivateRuntimeDir runtime;
    ASSERT_TRUE(runtime.isReady());
    const std::string regularFile = runtime.path() + "/file";
    const std::string fifo = runtime.path() + "/fifo";
    ASSERT_EQ(close(open(regularFile.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> paths = {
        devicePath(PrivateRuntimeDir::uniquePortName("ttyMISSING")),
        devicePath("../dev/null"),
        devicePath(""),
        "/dev/ptmx",
        "COM1",
    };
    for (const char* target : {"/dev/null", "/dev/zero", "/dev/tty", "/dev/console", "/dev/ptmx",
                               "/dev", regularFile.c_str(), fifo.c_str()}) {
        const std::string name = PrivateRuntimeDir::uniquePortName("ttyNOTALINE");
        ASSERT_TRUE(PortMap::add(name, target));
        paths.push_back(devicePath(name));
    }
    for (const std::string& path : paths) {
        EXPECT_EQ(openPath(path), INVALID_HANDLE_VALUE) << path;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << path;
    }
}

// Devices in /dev that are no serial ports are refused without being
// opened: the probe must never reach the user's own terminal.
TEST(CreateFileA, RefusesDevicesThatAreNoSerialPorts)
{
    PrivateRuntimeDir runtime;
    for (const char* name : {"tty", "console", "tty0", "tty1", "null", "zero", "ptmx", "mem"}) {
        struct stat st;
        if (lstat((std::string("/dev/") + name).c_str(), &st) != 0)
            continue;
        EXPECT_EQ(openPort(name), INVALID_HANDLE_VALUE) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED)) << name;
    }
}

TEST(CreateFileA, OtherCallsRefuseHandlesItDidNotGiveOut)
{
    uint8_t byte = 0;
    DWORD count = 7;
    DCB dcb;
    for (HANDLE bad : {HANDLE(nullptr), INVALID_HANDLE_VALUE}) {
        EXPECT_FALSE(ReadFile(bad, &byte, 1, &count, nullptr));
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(WriteFile(bad, &byte, 1, &count, nullptr));
        EXPECT_FALSE(GetCommState(bad, &dcb));
        EXPECT_FALSE(PurgeComm(bad, PURGE_RXCLEAR));
        EXPECT_FALSE(CloseHandle(bad));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

TEST(CreateFileA, ClosingTwiceFailsTheSecondTime)
{
    PrivateRuntimeDir runtime;
    PtyPair pty;
    const std::string name = PrivateRuntimeDir::uniquePortName("ttyPTY");
    ASSERT_TRUE(PortMap::add(name, pty.slavePath()));
    HANDLE handle = openPort(name);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_FALSE(CloseHandle(handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// ---- Sleep ------------------------------------------------------------------

void ignoreAlarm(int) {}

TEST(Sleep, LastsItsTimeEvenWhenSignalsInterruptIt)
{
    struct sigaction action {};
    action.sa_handler = ignoreAlarm; // no SA_RESTART: the wait sees EINTR
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    itimerval every20ms{{0, 20000}, {0, 20000}};
    ASSERT_EQ(setitimer(ITIMER_REAL, &every20ms, nullptr), 0);

    const Clock::time_point start = Clock::now();
    Sleep(150);
    const long long elapsed = msSince(start);

    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_GE(elapsed, 150);
    EXPECT_LE(elapsed, 650);
}

// ---- the SERIALCOMM key -----------------------------------------------------

const char SERIALCOMM[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

struct ValueRead {
    LONG result;
    std::string name;
    std::string data;
    DWORD type;
};

ValueRead readValue(HKEY key, DWORD index)
{
    char name[260] = {};
    char data[250] = {};
    DWORD nameLength = sizeof name;
    DWORD dataLength = sizeof data;
    DWORD type = 0;
    const LONG result = RegEnumValueA(key, index, name, &nameLength, nullptr, &type,
                                      reinterpret_cast<LPBYTE>(data), &dataLength);
    return {result, name, data, type};
}

std::vector<std::string> listedPorts(HKEY key)
{
    std::vector<std::string> ports;
    for (DWORD index = 0;; ++index) {
        const ValueRead value = readValue(key, index);
        if (value.result != ERROR_SUCCESS)
            break;
        ports.push_back(value.data);
    }
    return ports;
}

bool contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

TEST(SerialCommKey, OnlyThatKeyExists)
{
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\VIDEO", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(uintptr_t(0x80000001u)), SERIALCOMM, 0,
                            KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "hardware\\devicemap\\serialcomm", 0, KEY_READ,
                            &key),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

// What the programs do: open the key for every index (SerialWin's
// enumeratePort), with a 250-byte buffer.
ValueRead readValueOfNewKey(DWORD index)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERIALCOMM, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {ERROR_FILE_NOT_FOUND, "", "", 0};
    const ValueRead value = readValue(key, index);
    RegCloseKey(key);
    return value;
}

std::vector<std::string> listedPortsOneKeyPerIndex(DWORD firstIndex = 0)
{
    std::vector<std::string> ports;
    for (DWORD index = firstIndex;; ++index) {
        const ValueRead value = readValueOfNewKey(index);
        if (value.result != ERROR_SUCCESS)
            break;
        ports.push_back(value.data);
    }
    return ports;
}

TEST(SerialCommKey, ListsPortMapEntriesAfterTheKernelsPorts)
{
    PrivateRuntimeDir runtime;
    PtyPair pty;
    const std::string name = PrivateRuntimeDir::uniquePortName("ttyMAP");
    ASSERT_TRUE(PortMap::add(name, pty.slavePath()));
    const std::vector<std::string> ports = listedPortsOneKeyPerIndex();
    ASSERT_FALSE(ports.empty());
    EXPECT_EQ(ports.back(), name);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERIALCOMM, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(listedPorts(key), ports);
    const DWORD index = static_cast<DWORD>(ports.size() - 1);
    const ValueRead value = readValue(key, index);
    EXPECT_EQ(value.name, "\\Device\\Serial" + std::to_string(index));
    EXPECT_EQ(value.type, REG_SZ);
    EXPECT_EQ(readValue(key, index + 1).result, ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

// A pass reads one snapshot, taken at index 0, however many times it opens
// the key: a port that comes while the pass runs shows in the next pass,
// and a pass on another thread in between does not change this one's list.
TEST(SerialCommKey, AnEnumerationPassReadsOneSnapshot)
{
    PrivateRuntimeDir runtime;
    PtyPair first;
    PtyPair late;
    const std::string firstName = PrivateRuntimeDir::uniquePortName("ttyMAPa");
    const std::string lateName = PrivateRuntimeDir::uniquePortName("ttyMAPz");
    ASSERT_TRUE(PortMap::add(firstName, first.slavePath()));

    const ValueRead start = readValueOfNewKey(0);
    ASSERT_EQ(start.result, ERROR_SUCCESS);
    ASSERT_TRUE(PortMap::add(lateName, late.slavePath()));
    std::vector<std::string> otherThreadsPass;
    std::thread([&] { otherThreadsPass = listedPortsOneKeyPerIndex(); }).join();
    EXPECT_TRUE(contains(otherThreadsPass, lateName));

    std::vector<std::string> pass = listedPortsOneKeyPerIndex(1);
    pass.insert(pass.begin(), start.data);
    EXPECT_TRUE(contains(pass, firstName));
    EXPECT_FALSE(contains(pass, lateName)) << "the pass began before the port came";
    EXPECT_TRUE(contains(listedPortsOneKeyPerIndex(), lateName)) << "the next pass shows it";
}

// Where a map entry bears a kernel port's name, the entry is what opens.
TEST(SerialCommKey, AMapEntryHidesTheKernelPortOfItsName)
{
    PrivateRuntimeDir runtime;
    PtyPair pty;
    const std::vector<std::string> kernelPorts = listedPortsOneKeyPerIndex();
    if (kernelPorts.empty())
        GTEST_SKIP() << "this machine has no serial port";
    ASSERT_TRUE(PortMap::add(kernelPorts.front(), pty.slavePath()));
    const std::vector<std::string> ports = listedPortsOneKeyPerIndex();
    EXPECT_EQ(std::count(ports.begin(), ports.end(), kernelPorts.front()), 1);
    EXPECT_EQ(ports.back(), kernelPorts.front());
}

// Entries that are no serial lines, or whose names a 250-byte buffer
// cannot hold or that would break a line of output, are left out; the
// entries after them are still listed.
TEST(SerialCommKey, ListsOnlyEntriesAPortListCanShow)
{
    PrivateRuntimeDir runtime;
    PtyPair pty;
    const size_t kernelPorts = listedPortsOneKeyPerIndex().size();
    const std::string mapDirectory = PortMap::directory(true);
    ASSERT_FALSE(mapDirectory.empty());
    const std::string longest(PortMap::LONGEST_NAME, 'm');
    const std::string tooLong(PortMap::LONGEST_NAME + 1, 'n');
    for (const std::string& name : {std::string("ttyA"), longest, tooLong, std::string("ttyB\nttyC"),
                                    std::string("ttyD\x1b[2J"), std::string("ttyE\x7f"),
                                    std::string("zzLast")})
        ASSERT_EQ(symlink(pty.slavePath().c_str(), (mapDirectory + "/" + name).c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", (mapDirectory + "/ttyNull").c_str()), 0);

    std::vector<std::string> ports = listedPortsOneKeyPerIndex();
    ASSERT_GE(ports.size(), kernelPorts);
    ports.erase(ports.begin(), ports.begin() + static_cast<long>(kernelPorts));
    EXPECT_EQ(ports, (std::vector<std::string>{longest, "ttyA", "zzLast"}));
}

TEST(SerialCommKey, ListsNoVirtualTerminals)
{
    PrivateRuntimeDir runtime;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERIALCOMM, 0, KEY_READ, &key), ERROR_SUCCESS);
    const std::vector<std::string> ports = listedPorts(key);
    RegCloseKey(key);
    for (const char* notAPort : {"tty", "tty0", "tty1", "console", "ptmx"})
        EXPECT_FALSE(contains(ports, notAPort)) << notAPort;
    for (const std::string& port : ports) {
        struct stat st;
        EXPECT_EQ(stat(("/dev/" + port).c_str(), &st), 0) << port;
    }
}

TEST(SerialCommKey, SaysMoreDataWhenABufferIsTooShort)
{
    PrivateRuntimeDir runtime;
    PtyPair pty;
    const std::string name = PrivateRuntimeDir::uniquePortName("ttyMAP");
    ASSERT_TRUE(PortMap::add(name, pty.slavePath()));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERIALCOMM, 0, KEY_READ, &key), ERROR_SUCCESS);
    const DWORD index = static_cast<DWORD>(listedPorts(key).size() - 1);
    const std::string valueName = "\\Device\\Serial" + std::to_string(index);

    std::vector<char> nameBuffer(260, 'x');
    std::vector<uint8_t> data(name.size() + 1, 'x');
    auto enumerate = [&](DWORD nameRoom, DWORD* dataLength) {
        DWORD nameLength = nameRoom;
        return RegEnumValueA(key, index, nameBuffer.data(), &nameLength, nullptr, nullptr,
                             data.data(), dataLength);
    };
    DWORD dataLength = static_cast<DWORD>(data.size());
    EXPECT_EQ(enumerate(static_cast<DWORD>(valueName.size()), &dataLength), ERROR_MORE_DATA);

    dataLength = static_cast<DWORD>(name.size());
    EXPECT_EQ(enumerate(260, &dataLength), ERROR_MORE_DATA);
    EXPECT_EQ(dataLength, name.size() + 1);
    EXPECT_EQ(data.back(), 'x') << "nothing written past a short buffer";

    dataLength = static_cast<DWORD>(name.size() + 1);
    ASSERT_EQ(enumerate(static_cast<DWORD>(valueName.size() + 1), &dataLength), ERROR_SUCCESS);
    EXPECT_EQ(dataLength, name.size() + 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data())), name);
    EXPECT_EQ(std::string(nameBuffer.data()), valueName);
    RegCloseKey(key);
}

} // namespace

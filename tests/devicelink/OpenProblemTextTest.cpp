// What a user reads when a port does not open on Linux: the group to join
// and the command for it, the program that holds the port. The texts from
// made-up facts (any user, any group, any holder), the holder's full name
// from made-up process folders, then a real pseudo-terminal held by a named
// child process, through the serial functions and the port.

#include "ControlText.h"
#include "ExecHolder.h"
#include "OpenProblemText.h"
#include "PortHog.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "PtyPair.h"
#include "SerialWin.h"
#include "TempFolder.h"
#include "TestCaseName.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using namespace std::string_literals;
using ZORVI::ControlText;
using ZORVI::Communication::Serial::OpenProblemText;
using ZORVI::Communication::Serial::PortHolders;
using ZORVI::Communication::Serial::PortMap;
using ZORVI::Communication::Serial::SerialWin;
using OpenFailure = ZORVI::Communication::Serial::SerialBase::OpenFailure;

constexpr int KORLINK_MODE = 1;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// ---- missing permission ------------------------------------------------------

struct PermissionCase {
    const char* what;
    OpenProblemText::NodeAccess access;
    std::vector<std::string> said;
    std::vector<std::string> notSaid;
};

void PrintTo(const PermissionCase& c, std::ostream* out)
{
    *out << c.what;
}

class PermissionText : public testing::TestWithParam<PermissionCase> {};

TEST_P(PermissionText, SaysWhatThisUserMustDo)
{
    const PermissionCase& c = GetParam();
    const std::string text = OpenProblemText::permission(c.access);
    EXPECT_TRUE(contains(text, c.access.node)) << text;
    for (const std::string& part : c.said)
        EXPECT_TRUE(contains(text, part)) << part << "\n" << text;
    for (const std::string& part : c.notSaid)
        EXPECT_FALSE(contains(text, part)) << part << "\n" << text;
}

// NodeAccess: node, owner, group, mode, user, listed in the group, the
// session has the group.
INSTANTIATE_TEST_SUITE_P(
    Nodes, PermissionText,
    testing::Values(
        PermissionCase{"not in dialout",
                       {"/dev/ttyUSB0", "root", "dialout", 0660, "alice", false, false},
                       {"group dialout", "as root with \"adduser alice dialout\"",
                        "log out and log in again"},
                       {"administrator"}},
        PermissionCase{"not in the node's own group",
                       {"/dev/ttyACM1", "root", "uucp", 0660, "bob", false, false},
                       {"\"adduser bob uucp\""},
                       {"dialout"}},
        PermissionCase{"joined but not logged in again",
                       {"/dev/ttyUSB0", "root", "dialout", 0660, "alice", true, false},
                       {"after this session began", "Log out and log in again"},
                       {"adduser"}},
        PermissionCase{"group may not read and write",
                       {"/dev/ttyUSB0", "root", "dialout", 0600, "alice", false, false},
                       {"owner root", "mode 0600", "administrator"},
                       {"adduser"}},
        PermissionCase{"in the group and still refused",
                       {"/dev/ttyUSB0", "root", "dialout", 0660, "alice", true, true},
                       {"mode 0660", "administrator"},
                       {"adduser", "log out"}}),
    NameFromWhat());

// ---- busy port ----------------------------------------------------------------

struct BusyCase {
    const char* what;
    std::vector<PortHolders::Holder> holders;
    std::vector<std::string> runningProbers;
    std::vector<std::string> said;
    std::vector<std::string> notSaid;
};

void PrintTo(const BusyCase& c, std::ostream* out)
{
    *out << c.what;
}

class BusyText : public testing::TestWithParam<BusyCase> {};

TEST_P(BusyText, NamesTheHolderWhereItIsKnown)
{
    const BusyCase& c = GetParam();
    const std::string text = OpenProblemText::busy("/dev/ttyUSB0", c.holders, c.runningProbers);
    EXPECT_TRUE(contains(text, "/dev/ttyUSB0 is in use by")) << text;
    for (const std::string& part : c.said)
        EXPECT_TRUE(contains(text, part)) << part << "\n" << text;
    for (const std::string& part : c.notSaid)
        EXPECT_FALSE(contains(text, part)) << part << "\n" << text;
}

INSTANTIATE_TEST_SUITE_P(
    Holders, BusyText,
    testing::Values(
        BusyCase{"ModemManager probing", {{812, "ModemManager"}}, {},
                 {"ModemManager (process 812)", "try again shortly", "\"Ports on Linux\""},
                 {"Close"}},
        BusyCase{"brltty keeping it", {{97, "brltty"}}, {},
                 {"brltty (process 97)", "braille", "unplug and replug", "\"Ports on Linux\""},
                 {"Close"}},
        BusyCase{"another program", {{4242, "minicom"}}, {"ModemManager"},
                 {"minicom (process 4242)", "Close that program"},
                 {"ModemManager", "another program"}},
        BusyCase{"two programs", {{10, "screen"}, {11, "cu"}}, {},
                 {"screen (process 10) and cu (process 11)", "Close these programs"}, {}},
        BusyCase{"unseen holder, ModemManager running", {}, {"ModemManager"},
                 {"another program", "ModemManager is running", "try again shortly"}, {}},
        BusyCase{"unseen holder", {}, {},
                 {"another program", "Close it"}, {"ModemManager", "brltty"}}),
    NameFromWhat());

// ---- a real port held by another process ---------------------------------------

std::string messageOf(DWORD error, DWORD size = 2048)
{
    std::vector<char> text(size, '\0');
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text.data(), size, nullptr);
    return std::string(text.data(), length);
}

struct HeldCase {
    const char* what;
    bool holderProvidesThePort; // also holds the pseudo-terminal's master
};

void PrintTo(const HeldCase& c, std::ostream* out)
{
    *out << c.what;
}

class HeldPort : public testing::TestWithParam<HeldCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.isOpen());
        portName = PrivateRuntimeDir::uniquePortName("ttyHELD");
        ASSERT_TRUE(PortMap::add(portName, pty.slavePath()));
    }

    PrivateRuntimeDir runtime;
    PtyPair pty;
    std::string portName;
};

TEST_P(HeldPort, IsInUseNamingTheProgramThatUsesIt)
{
    const HeldCase& c = GetParam();
    PortHog hog("porthog", pty.slavePath(), c.holderProvidesThePort ? pty.master() : -1);
    ASSERT_TRUE(hog.isHolding());
    const std::string named = "porthog (process " + std::to_string(hog.pid()) + ")";

    // The serial functions: the code, then the system's words for it.
    const std::string device = "\\\\.\\" + portName;
    HANDLE handle = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(handle, INVALID_HANDLE_VALUE);
    const DWORD error = GetLastError();
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    const std::string message = messageOf(error);
    EXPECT_TRUE(contains(message, pty.slavePath() + " is in use by")) << message;
    EXPECT_EQ(contains(message, named), !c.holderProvidesThePort) << message;
    // Only that failure has words; a buffer too small gets none.
    EXPECT_EQ(messageOf(ERROR_ACCESS_DENIED), "");
    EXPECT_EQ(messageOf(error, static_cast<DWORD>(message.size())), "");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    // The port says the same.
    SerialWin port;
    EXPECT_FALSE(port.open(portName.c_str(), KORLINK_MODE));
    EXPECT_EQ(port.openFailure(), OpenFailure::InUse);
    EXPECT_EQ(port.openError(), message);

    ASSERT_TRUE(hog.release());
    EXPECT_TRUE(port.open(portName.c_str(), KORLINK_MODE)) << port.openError();
    EXPECT_STREQ(port.openError(), "");
    port.close();
    // A later failure without words has none left over from this one.
    EXPECT_FALSE(port.open("ttyNOSUCHPORT", KORLINK_MODE));
    EXPECT_STREQ(port.openError(), "no such port");
}

INSTANTIATE_TEST_SUITE_P(
    Holders, HeldPort,
    testing::Values(HeldCase{"by a program that uses it", false},
                    // The provider keeps the slave open too: it is not the holder.
                    HeldCase{"by its provider", true}),
    NameFromWhat());

// cat /dev/pts/N takes no lock, so neither flock nor TIOCEXCL keeps the port
// from opening; the probe would be written into that program. The open is
// refused as busy, naming it, and nothing reaches the line.
TEST(LockFreeHolder, MakesThePortBusyAndNothingIsWrittenToIt)
{
    PrivateRuntimeDir runtime;
    PtyPair pty;
    ASSERT_TRUE(pty.isOpen());
    const std::string portName = PrivateRuntimeDir::uniquePortName("ttyREAD");
    ASSERT_TRUE(PortMap::add(portName, pty.slavePath()));
    PortHog reader("lockfreecat", pty.slavePath(), -1, false);
    ASSERT_TRUE(reader.isHolding());

    SerialWin port;
    EXPECT_FALSE(port.open(portName.c_str(), KORLINK_MODE));
    EXPECT_EQ(port.openFailure(), OpenFailure::InUse);
    EXPECT_TRUE(contains(port.openError(), pty.slavePath() + " is in use by lockfreecat (process "
                                               + std::to_string(reader.pid()) + ")"))
        << port.openError();
    uint8_t written[64];
    uint32_t count = 99;
    EXPECT_FALSE(port.write(written, sizeof written, &count));
    char byte = 0;
    EXPECT_EQ(read(pty.master(), &byte, 1), -1) << "the line received a byte";
    EXPECT_EQ(errno, EAGAIN);

    ASSERT_TRUE(reader.release());
    EXPECT_TRUE(port.open(portName.c_str(), KORLINK_MODE)) << port.openError();
}

// ---- the holder's full name ---------------------------------------------------

// The kernel keeps 15 bytes of a program's name (/proc/PID/comm); the rest
// comes from argv[0] or the program file, where one begins with that cut.
struct NameCase {
    const char* what;
    std::string comm;
    std::string cmdline; // the NUL-separated arguments
    std::string exe;     // where /proc/PID/exe points; empty: not readable
    std::string named;
};

void PrintTo(const NameCase& c, std::ostream* out)
{
    *out << c.what;
}

class HolderName : public testing::TestWithParam<NameCase> {};

// A process folder as /proc has it, holding the pseudo-terminal's slave.
TEST_P(HolderName, IsTheFullProgramName)
{
    const NameCase& c = GetParam();
    PtyPair pty;
    ASSERT_TRUE(pty.isOpen());
    TempFolder processes;
    ASSERT_TRUE(processes.isReady());
    const std::filesystem::path process = processes.path() / "4242";
    std::filesystem::create_directories(process / "fd");
    std::filesystem::create_symlink(pty.slavePath(), process / "fd" / "3");
    std::ofstream(process / "comm", std::ios::binary) << c.comm << '\n';
    std::ofstream(process / "cmdline", std::ios::binary) << c.cmdline;
    if (!c.exe.empty())
        std::filesystem::create_symlink(c.exe, process / "exe");

    const std::vector<PortHolders::Holder> holders =
        PortHolders::of(pty.slavePath(), processes.path().string());
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_EQ(holders[0].pid, 4242);
    EXPECT_EQ(holders[0].name, c.named);
}

INSTANTIATE_TEST_SUITE_P(
    Processes, HolderName,
    testing::Values(
        NameCase{"cut, started by its path", "ZORVIKMicroSett",
                 "/usr/bin/ZORVIKMicroSettings\0--port\0ttyUSB0\0"s,
                 "/usr/bin/ZORVIKMicroSettings", "ZORVIKMicroSettings"},
        NameCase{"cut, started by name, program file not readable", "ZORVIKMicroSett",
                 "./ZORVIKMicroSettings\0"s, "", "ZORVIKMicroSettings"},
        NameCase{"cut, arguments rewritten, program file tells", "serial-console-",
                 "console: logging ttyUSB0\0"s, "/opt/tools/serial-console-logger",
                 "serial-console-logger"},
        NameCase{"cut, program file replaced since it started", "ZORVIKMicroSett", "",
                 "/usr/bin/ZORVIKMicroSettings (deleted)", "ZORVIKMicroSettings"},
        NameCase{"shorter than the cut, whole whatever argv[0] says", "minicom",
                 "/usr/bin/minicom-wrapper\0"s, "/usr/bin/minicom-wrapper", "minicom"},
        NameCase{"cut, nothing longer begins with it", "python3-serial-",
                 "python3\0tool.py\0"s, "/usr/bin/python3.11", "python3-serial-"},
        NameCase{"fifteen bytes that are the whole name", "zorvik-updater1",
                 "/usr/bin/zorvik-updater1\0"s, "/usr/bin/zorvik-updater1", "zorvik-updater1"},
        // Passed on as it is: whoever shows it escapes it.
        NameCase{"control characters kept", "holder\x1b[2Jwith-",
                 "/tmp/holder\x1b[2Jwith-long-name\0"s, "", "holder\x1b[2Jwith-long-name"}),
    NameFromWhat());

// A program started by a long name holds a real port: the open's words name
// it in full, and shown, its control characters are escaped.
struct ExecCase {
    const char* what;
    std::string name;
};

void PrintTo(const ExecCase& c, std::ostream* out)
{
    *out << c.what;
}

class LongNamedHolder : public testing::TestWithParam<ExecCase> {};

TEST_P(LongNamedHolder, IsNamedInFullAndShownEscaped)
{
    const ExecCase& c = GetParam();
    PrivateRuntimeDir runtime;
    PtyPair pty;
    ASSERT_TRUE(pty.isOpen());
    const std::string portName = PrivateRuntimeDir::uniquePortName("ttyLONG");
    ASSERT_TRUE(PortMap::add(portName, pty.slavePath()));
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    ExecHolder holder(folder.file(c.name), pty.slavePath());
    ASSERT_TRUE(holder.isHolding());

    SerialWin port;
    EXPECT_FALSE(port.open(portName.c_str(), KORLINK_MODE));
    EXPECT_EQ(port.openFailure(), OpenFailure::InUse);
    const std::string message = port.openError();
    const std::string named = pty.slavePath() + " is in use by " + c.name + " (process "
        + std::to_string(holder.pid()) + ")";
    EXPECT_TRUE(contains(message, named)) << ControlText::escaped(message);

    const std::string shown = ControlText::escaped(message);
    EXPECT_TRUE(contains(shown, ControlText::escaped(c.name) + " (process ")) << shown;
    EXPECT_FALSE(contains(shown, "\x1b")) << shown;
}

INSTANTIATE_TEST_SUITE_P(
    Names, LongNamedHolder,
    testing::Values(ExecCase{"the settings program's name", "ZORVIKMicroSettings"},
                    ExecCase{"a name with a control sequence", "holder\x1b[2Jwith-long-name"}),
    NameFromWhat());

TEST(DeniedPort, NamesTheNodeAndWhyAsOnlyAUserCanBeRefused)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root opens the port whatever its mode";
    PrivateRuntimeDir runtime;
    PtyPair pty;
    ASSERT_TRUE(pty.isOpen());
    const std::string portName = PrivateRuntimeDir::uniquePortName("ttyDENIED");
    ASSERT_TRUE(PortMap::add(portName, pty.slavePath()));
    struct stat before;
    ASSERT_EQ(stat(pty.slavePath().c_str(), &before), 0);
    ASSERT_EQ(chmod(pty.slavePath().c_str(), 0), 0);
    SerialWin port;
    const bool opened = port.open(portName.c_str(), KORLINK_MODE);
    chmod(pty.slavePath().c_str(), before.st_mode & 07777);
    EXPECT_FALSE(opened);
    EXPECT_EQ(port.openFailure(), OpenFailure::PermissionDenied);
    EXPECT_TRUE(contains(port.openError(), "You may not open " + pty.slavePath()))
        << port.openError();
    EXPECT_TRUE(contains(port.openError(), "mode 0000")) << port.openError();
}

} // namespace

// What a user reads when a port does not open on Linux: the group to join
// and the command for it, the program that holds the port. The texts from
// made-up facts (any user, any group, any holder), then a real pseudo-
// terminal held by a named child process, through the serial functions and
// the port.

#include "OpenProblemText.h"
#include "PortHog.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "PtyPair.h"
#include "SerialWin.h"
#include "TestCaseName.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

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
                       {"group dialout", "\"sudo adduser alice dialout\"",
                        "log out and log in again"},
                       {"administrator"}},
        PermissionCase{"not in the node's own group",
                       {"/dev/ttyACM1", "root", "uucp", 0660, "bob", false, false},
                       {"\"sudo adduser bob uucp\""},
                       {"dialout"}},
        PermissionCase{"joined but not logged in again",
                       {"/dev/ttyUSB0", "root", "dialout", 0660, "alice", true, false},
                       {"after this session began", "Log out and log in again"},
                       {"sudo adduser"}},
        PermissionCase{"group may not read and write",
                       {"/dev/ttyUSB0", "root", "dialout", 0600, "alice", false, false},
                       {"owner root", "mode 0600", "administrator"},
                       {"sudo adduser"}},
        PermissionCase{"in the group and still refused",
                       {"/dev/ttyUSB0", "root", "dialout", 0660, "alice", true, true},
                       {"mode 0660", "administrator"},
                       {"sudo adduser", "log out"}}),
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

// The per-user map of virtual serial ports.

#include "PortClaim.h"
#include "PortList.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "PtyPair.h"
#include "SerialWin.h"
#include "TerminalDrivers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using ZORVI::Communication::PortList;
using ZORVI::Communication::Serial::PortClaim;
using ZORVI::Communication::Serial::SerialWin;
using ZORVI::Communication::Serial::PortMap;
using ZORVI::Communication::Serial::TerminalDrivers;

namespace {

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

class PortMapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isReady());
        ASSERT_TRUE(pty.isOpen());
    }

    std::string mapDirectory() const { return runtime.path() + "/serialcomm"; }

    PrivateRuntimeDir runtime;
    PtyPair pty;
};

TEST_F(PortMapTest, DirectoryIsCreatedPrivateOnlyWhenAsked)
{
    EXPECT_EQ(PortMap::directory(false), "");
    EXPECT_TRUE(PortMap::entries().empty());
    EXPECT_EQ(PortMap::directory(true), mapDirectory());
    EXPECT_EQ(modeOf(mapDirectory()), 0700u);
    EXPECT_EQ(PortMap::directory(false), mapDirectory());
}

TEST_F(PortMapTest, EntriesAppearSortedResolveAndDisappear)
{
    PtyPair other;
    ASSERT_TRUE(PortMap::add("ttySIMb", pty.slavePath()));
    ASSERT_TRUE(PortMap::add("ttySIMa", other.slavePath()));
    EXPECT_EQ(PortMap::entries(), (std::vector<std::string>{"ttySIMa", "ttySIMb"}));
    EXPECT_EQ(PortMap::resolve("ttySIMb"), pty.slavePath());

    ASSERT_TRUE(PortMap::add("ttySIMb", other.slavePath()));
    EXPECT_EQ(PortMap::resolve("ttySIMb"), other.slavePath()) << "add replaces";

    EXPECT_TRUE(PortMap::remove("ttySIMb"));
    EXPECT_EQ(PortMap::entries(), std::vector<std::string>{"ttySIMa"});
    EXPECT_EQ(PortMap::resolve("ttySIMb"), "");
    EXPECT_TRUE(PortMap::remove("ttySIMb")) << "removing a missing entry is no error";
}

// Only serial lines are ports: an entry pointing anywhere else is neither
// listed nor resolved.
TEST_F(PortMapTest, EntriesWhoseTargetIsNoSerialLineAreSkipped)
{
    const std::string regularFile = runtime.path() + "/file";
    const std::string fifo = runtime.path() + "/fifo";
    ASSERT_EQ(close(open(regularFile.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string targets[] = {runtime.path() + "/gone", "/dev/null", "/dev/zero", "/dev/tty",
                                   "/dev/console", "/dev/ptmx", "/dev", regularFile, fifo};
    int n = 0;
    for (const std::string& target : targets)
        ASSERT_TRUE(PortMap::add("ttyNOT" + std::to_string(n++), target)) << target;
    ASSERT_TRUE(PortMap::add("ttySIMlive", pty.slavePath()));

    EXPECT_EQ(PortMap::entries(), std::vector<std::string>{"ttySIMlive"});
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(PortMap::resolve("ttyNOT" + std::to_string(i)), "") << targets[i];
}

TEST_F(PortMapTest, RefusesNamesThatAreNotPlainAndRelativeTargets)
{
    const std::string tooLong(PortMap::LONGEST_NAME + 1, 'n');
    for (const std::string& name : {std::string(), std::string(".hidden"), std::string(".."),
                                    std::string("a/b"), std::string("../ttySIM0"), tooLong,
                                    std::string("ttySIM\n0"), std::string("tty\tSIM"),
                                    std::string("tty\x1b[2J"), std::string("tty\x7f"),
                                    std::string("tty\xc2\x9b" "2J"), std::string("tty\x9b"),
                                    std::string("tty\xff"), std::string("tty\xc3"),
                                    std::string("tty\xc0\xaf"), std::string("tty\xed\xa0\x80")}) {
        EXPECT_FALSE(PortMap::add(name, pty.slavePath())) << name;
        EXPECT_FALSE(PortMap::nameProblem(name).empty()) << name;
    }
    EXPECT_FALSE(PortMap::add("ttySIM0", "pts/0"));
    EXPECT_TRUE(PortMap::entries().empty());

    const std::string longest(PortMap::LONGEST_NAME, 'm');
    const std::string accented = "Port\xc3\xa9\xe2\x82\xac\xf0\x9f\x9a\x81"; // e-acute, euro, helicopter
    for (const std::string& name : {longest, accented}) {
        EXPECT_EQ(PortMap::nameProblem(name), "") << name;
        ASSERT_TRUE(PortMap::add(name, pty.slavePath())) << name;
    }
    EXPECT_EQ(PortMap::entries(), (std::vector<std::string>{accented, longest}));
}

// Names that reached the map some other way than add() are not listed:
// a port list could not show them whole or on one line.
TEST_F(PortMapTest, EntriesWithUnusableNamesAreSkipped)
{
    const std::string map = PortMap::directory(true);
    ASSERT_FALSE(map.empty());
    const std::string tooLong(PortMap::LONGEST_NAME + 1, 'n');
    for (const std::string& name : {tooLong, std::string("a\nb"), std::string("ttyOK")})
        ASSERT_EQ(symlink(pty.slavePath().c_str(), (map + "/" + name).c_str()), 0) << name;
    EXPECT_EQ(PortMap::entries(), std::vector<std::string>{"ttyOK"});
    EXPECT_EQ(PortMap::resolve(tooLong), "");
}

struct Distrust {
    const char* name;
    bool needsRoot;
    std::function<int(const std::string& runtimeDir, const std::string& mapDir)> apply;
};

std::ostream& operator<<(std::ostream& out, const Distrust& d)
{
    return out << d.name;
}

class UntrustedMap : public PortMapTest, public ::testing::WithParamInterface<Distrust> {};

TEST_P(UntrustedMap, ReadsEmptyAndTakesNoEntries)
{
    if (GetParam().needsRoot && geteuid() != 0)
        GTEST_SKIP() << "giving a directory to another user needs root";
    ASSERT_TRUE(PortMap::add("ttySIM0", pty.slavePath()));
    ASSERT_EQ(GetParam().apply(runtime.path(), mapDirectory()), 0);

    EXPECT_EQ(PortMap::directory(false), "");
    std::string problem;
    EXPECT_EQ(PortMap::directory(true, &problem), "");
    EXPECT_NE(problem.find(runtime.path()), std::string::npos) << problem;
    EXPECT_TRUE(PortMap::entries().empty());
    EXPECT_EQ(PortMap::resolve("ttySIM0"), "");
    EXPECT_FALSE(PortMap::add("ttySIM1", pty.slavePath()));
    EXPECT_FALSE(PortMap::remove("ttySIM0"));
}

const Distrust DISTRUSTS[] = {
    {"MapWritableByOthers", false,
     [](const std::string&, const std::string& map) { return chmod(map.c_str(), 0777); }},
    {"MapWritableByGroup", false,
     [](const std::string&, const std::string& map) { return chmod(map.c_str(), 0770); }},
    {"RuntimeDirWritableByOthers", false,
     [](const std::string& runtime, const std::string&) { return chmod(runtime.c_str(), 0777); }},
    {"MapOwnedByAnotherUser", true,
     [](const std::string&, const std::string& map) { return chown(map.c_str(), 65534, 65534); }},
    {"RuntimeDirOwnedByAnotherUser", true,
     [](const std::string& runtime, const std::string&) {
         return chown(runtime.c_str(), 65534, 65534);
     }},
    {"MapIsASymlink", false,
     [](const std::string& runtime, const std::string& map) {
         const std::string elsewhere = runtime + "/elsewhere";
         return rename(map.c_str(), elsewhere.c_str()) | symlink(elsewhere.c_str(), map.c_str());
     }},
};

INSTANTIATE_TEST_SUITE_P(Dir, UntrustedMap, ::testing::ValuesIn(DISTRUSTS),
                         [](const auto& info) { return std::string(info.param.name); });

// Without XDG_RUNTIME_DIR (or with an invalid, relative one) every program of
// the user meets in one fixed private directory.
TEST_F(PortMapTest, FallsBackToOnePrivateDirectoryPerUser)
{
    const std::string fallback = "/tmp/zorvik-serialcomm-" + std::to_string(geteuid());
    const std::string name = PrivateRuntimeDir::uniquePortName("ttyFALLBACK");
    for (bool unset : {true, false}) {
        if (unset)
            unsetenv("XDG_RUNTIME_DIR");
        else
            setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
        ASSERT_EQ(PortMap::directory(true), fallback);
        EXPECT_EQ(modeOf(fallback) & 077, 0u);
        ASSERT_TRUE(PortMap::add(name, pty.slavePath()));
        EXPECT_EQ(PortMap::resolve(name), pty.slavePath());
        EXPECT_TRUE(PortMap::remove(name));
        EXPECT_EQ(PortMap::resolve(name), "");
    }
}

// ---- terminal drivers ------------------------------------------------------

const char DRIVERS[] = "/dev/tty             /dev/tty        5       0 system:/dev/tty\n"
                       "/dev/console         /dev/console    5       1 system:console\n"
                       "/dev/ptmx            /dev/ptmx       5       2 system\n"
                       "/dev/vc/0            /dev/vc/0       4       0 system:vtmaster\n"
                       "usbserial            /dev/ttyUSB   188 0-511 serial\n"
                       "serial               /dev/ttyS       4 64-95 serial\n"
                       "pty_slave            /dev/pts      136 0-1048575 pty:slave\n"
                       "pty_master           /dev/ptm      128 0-1048575 pty:master\n"
                       "unknown              /dev/tty        4 1-63 console\n"
                       "broken line\n"
                       "odd                  /dev/odd       77 9-3 serial\n";

struct DeviceCase {
    unsigned major;
    unsigned minor;
    bool serialLine;
};

class DriverTable : public ::testing::TestWithParam<DeviceCase> {};

TEST_P(DriverTable, TellsSerialLinesFromOtherTerminals)
{
    const DeviceCase& c = GetParam();
    EXPECT_EQ(TerminalDrivers::parse(DRIVERS).isSerialLine(makedev(c.major, c.minor)),
              c.serialLine)
        << c.major << ":" << c.minor;
}

INSTANTIATE_TEST_SUITE_P(
    Devices, DriverTable,
    ::testing::Values(DeviceCase{5, 0, false},   // /dev/tty
                      DeviceCase{5, 1, false},   // /dev/console
                      DeviceCase{5, 2, false},   // /dev/ptmx
                      DeviceCase{4, 0, false},   // tty0
                      DeviceCase{4, 1, false},   // tty1
                      DeviceCase{4, 63, false},  // tty63
                      DeviceCase{4, 64, true},   // ttyS0
                      DeviceCase{4, 95, true},   // ttyS31
                      DeviceCase{4, 96, false},  // past the serial range
                      DeviceCase{188, 0, true},  // ttyUSB0
                      DeviceCase{136, 7, true},  // a pty slave
                      DeviceCase{128, 7, false}, // a pty master
                      DeviceCase{1, 3, false},   // /dev/null
                      DeviceCase{77, 5, false})); // a range that ends before it starts

TEST(TerminalDrivers, NoListMeansNoSerialLines)
{
    const TerminalDrivers none = TerminalDrivers::load("/nonexistent/tty/drivers");
    EXPECT_FALSE(none.isSerialLine(makedev(136, 0)));
    EXPECT_FALSE(TerminalDrivers::parse("").isSerialLine(makedev(4, 64)));
}

// ---- a provider's claim on its name ------------------------------------------

TEST_F(PortMapTest, ClaimEntersTheNameAndReleaseRemovesIt)
{
    std::string problem = "stale";
    {
        PortClaim claim;
        ASSERT_TRUE(claim.claim("ttySIM0", pty.slavePath(), problem)) << problem;
        EXPECT_TRUE(claim.isHeld());
        EXPECT_EQ(PortMap::resolve("ttySIM0"), pty.slavePath());
        EXPECT_EQ(PortMap::entries(), std::vector<std::string>{"ttySIM0"});
    }
    EXPECT_EQ(PortMap::resolve("ttySIM0"), "");
}

// The lock is per open file, so a second claim in this process stands for
// a second provider.
TEST_F(PortMapTest, AClaimedNameIsRefusedNamingItsHolder)
{
    PtyPair other;
    PortClaim first;
    std::string problem;
    ASSERT_TRUE(first.claim("ttySIM0", pty.slavePath(), problem)) << problem;

    PortClaim second;
    EXPECT_FALSE(second.claim("ttySIM0", other.slavePath(), problem));
    EXPECT_FALSE(second.isHeld());
    EXPECT_NE(problem.find("in use"), std::string::npos) << problem;
    EXPECT_NE(problem.find("process " + std::to_string(getpid())), std::string::npos) << problem;
    EXPECT_NE(problem.find(pty.slavePath()), std::string::npos) << problem;
    second.release();
    EXPECT_EQ(PortMap::resolve("ttySIM0"), pty.slavePath()) << "the first keeps its port";

    first.release();
    EXPECT_TRUE(second.claim("ttySIM0", other.slavePath(), problem)) << problem;
    EXPECT_EQ(PortMap::resolve("ttySIM0"), other.slavePath());
}

// An entry nobody holds (its provider was killed) is taken over.
TEST_F(PortMapTest, AnUnheldEntryIsTakenOver)
{
    PtyPair other;
    ASSERT_TRUE(PortMap::add("ttySIM0", pty.slavePath()));
    const std::string lockFile = PortMap::directory(false) + "/.ttySIM0.lock";
    ASSERT_EQ(close(open(lockFile.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
    PortClaim claim;
    std::string problem;
    ASSERT_TRUE(claim.claim("ttySIM0", other.slavePath(), problem)) << problem;
    EXPECT_EQ(PortMap::resolve("ttySIM0"), other.slavePath());
}

// A provider that claims the name and then ends without giving it back, as a
// killed simulator does; true once it has ended.
bool claimAndVanish(const std::string& name, const std::string& node)
{
    const pid_t child = fork();
    if (child == 0) {
        PortClaim claim;
        std::string problem;
        // _exit: no destructor runs, the entry stays as a SIGKILL leaves it.
        _exit(claim.claim(name, node, problem) ? 0 : 1);
    }
    int status = -1;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)
        && WEXITSTATUS(status) == 0;
}

// The terminal a killed provider's entry points at goes to whatever
// program the kernel gives the next one (here the test's own terminal): the
// entry is neither listed nor opened, so nothing is written into it.
TEST_F(PortMapTest, AnEntryWhoseProviderIsGoneIsNeitherListedNorOpened)
{
    ASSERT_TRUE(claimAndVanish("ttySIM0", pty.slavePath()));
    ASSERT_TRUE(PortMap::add("ttyHAND", pty.slavePath())) << "made by hand: no provider's lock";

    EXPECT_EQ(PortMap::entries(), std::vector<std::string>{"ttyHAND"});
    EXPECT_EQ(PortMap::resolve("ttySIM0"), "");
    const PortList::Names listed = PortList().present();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "ttySIM0"), 0);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "ttyHAND"), 1);
    SerialWin port;
    EXPECT_FALSE(port.open("ttySIM0", 1));
    EXPECT_EQ(port.openFailure(), SerialWin::OpenFailure::NoSuchPort);

    // A provider that claims the name again is listed at once.
    PortClaim claim;
    std::string problem;
    ASSERT_TRUE(claim.claim("ttySIM0", pty.slavePath(), problem)) << problem;
    EXPECT_EQ(PortMap::resolve("ttySIM0"), pty.slavePath());
}

// Whoever replaced the entry since keeps it.
TEST_F(PortMapTest, ReleaseLeavesAnEntryThatPointsElsewhere)
{
    PtyPair other;
    PortClaim claim;
    std::string problem;
    ASSERT_TRUE(claim.claim("ttySIM0", pty.slavePath(), problem)) << problem;
    ASSERT_TRUE(PortMap::add("ttySIM0", other.slavePath()));
    claim.release();
    EXPECT_EQ(PortMap::resolve("ttySIM0"), other.slavePath());
}

TEST_F(PortMapTest, ClaimSaysWhyItCannotEnterAName)
{
    PortClaim claim;
    std::string problem;
    EXPECT_FALSE(claim.claim("tty\nSIM", pty.slavePath(), problem));
    EXPECT_NE(problem.find("control characters"), std::string::npos) << problem;
    EXPECT_FALSE(claim.claim(std::string(PortMap::LONGEST_NAME + 1, 'n'), pty.slavePath(),
                             problem));
    EXPECT_NE(problem.find(std::to_string(PortMap::LONGEST_NAME)), std::string::npos) << problem;

    ASSERT_EQ(chmod(runtime.path().c_str(), 0777), 0);
    EXPECT_FALSE(claim.claim("ttySIM0", pty.slavePath(), problem));
    EXPECT_NE(problem.find(runtime.path()), std::string::npos) << problem;
    EXPECT_NE(problem.find("other users"), std::string::npos) << problem;
}

} // namespace

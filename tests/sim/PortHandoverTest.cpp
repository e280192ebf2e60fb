// A port outlives the program that held it: a program stopped by a signal,
// or killed outright while the simulator provides the port, leaves it free
// for the next; and a simulator never takes the port map entry of another
// one that still runs.

#include "ChildProgram.h"
#include "LinuxWin32.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "PtyPair.h"
#include "SimulatorProcess.h"
#include "TerminalState.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <functional>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using ZORVI::Communication::Serial::PortMap;
using ZORVI::Testing::SimulatorProcess;

namespace {

using Clock = std::chrono::steady_clock;

// Generous: the machine may be loaded, and each bound only ends a wait for
// something that normally happens at once.
constexpr int WAIT_MS = 10000;

bool waitUntil(const std::function<bool()>& condition, int timeoutMs = WAIT_MS)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string signalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGKILL: return "SIGKILL";
    default: return std::to_string(signalNumber);
    }
}

bool endedBy(int status, int signalNumber)
{
    return status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == signalNumber;
}

bool opensAndCloses(const std::string& portName)
{
    const std::string path = "\\\\.\\" + portName;
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    return handle != INVALID_HANDLE_VALUE && CloseHandle(handle);
}

// `zorvik info PORT`: opens the port and sends the interface probe.
ChildProgram startInfo(const std::string& portName, const std::vector<int>& ignored = {})
{
    return ChildProgram(ZORVIK_CLI_PATH, {"info", portName}, ignored);
}

// The test plays a KORLINK interface that never echoes, so zorvik is still
// waiting when a signal comes. Nobody but zorvik can give the port back
// here.
class StopSignal : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isReady() && pty.isOpen());
        ASSERT_TRUE(PortMap::add(name, pty.slavePath()));
        before = setCookedSettings(pty.slave());
    }

    // Once zorvik has the port, sends the signals in turn; zorvik must end
    // by the last one, with the port as it found it.
    void stopZorvik(ChildProgram& zorvik, const std::vector<int>& signalNumbers)
    {
        ASSERT_TRUE(zorvik.isStarted());
        ASSERT_FALSE(pty.readMaster(1, WAIT_MS).empty()) << "no probe: the port never opened";
        ASSERT_TRUE(isMarkedExclusive(pty.slave()));

        for (int signalNumber : signalNumbers)
            ASSERT_TRUE(zorvik.signal(signalNumber));
        const int status = zorvik.finish(WAIT_MS);
        EXPECT_TRUE(endedBy(status, signalNumbers.back()))
            << "status " << status << ": " << zorvik.output();
        EXPECT_FALSE(isMarkedExclusive(pty.slave()));
        EXPECT_TRUE(sameSettings(terminalSettings(pty.slave()), before));
        EXPECT_TRUE(opensAndCloses(name)) << GetLastError();
    }

    PrivateRuntimeDir runtime;
    PtyPair pty;
    const std::string name = PrivateRuntimeDir::uniquePortName("ttySTOP");
    termios before{};
};

TEST_P(StopSignal, EndsZorvikWithThePortGivenBack)
{
    ChildProgram zorvik = startInfo(name);
    stopZorvik(zorvik, {GetParam()});
}

// Started as nohup starts it, zorvik keeps ignoring SIGHUP; the SIGTERM
// sent after it is what ends it (an ignored signal is dropped when sent, so
// the order is certain).
TEST_F(StopSignal, LeavesAnIgnoredHangUpIgnored)
{
    ChildProgram zorvik = startInfo(name, {SIGHUP});
    stopZorvik(zorvik, {SIGHUP, SIGTERM});
}

INSTANTIATE_TEST_SUITE_P(Zorvik, StopSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return signalName(info.param); });

class KilledClient : public ::testing::TestWithParam<int> {};

// Looked at with a descriptor of its own, opened only for the look: one
// kept open would be another program holding the port, and zorvik would
// refuse it as busy. Only root opens a marked terminal; anyone else is
// refused with EBUSY, which says the same.
bool nodeIsMarkedExclusive(const std::string& node)
{
    const int fd = open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    const bool marked = isMarkedExclusive(fd);
    close(fd);
    return marked;
}

// SIGKILL leaves the mark behind; the simulator, which keeps the terminal
// open, clears it once nobody holds the port's lock.
TEST_P(KilledClient, LeavesTheSimulatorsPortFree)
{
    SimulatorProcess sim({"--no-echo"});
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    const std::string node = PortMap::resolve(sim.portName());
    ASSERT_FALSE(node.empty());

    ChildProgram zorvik = startInfo(sim.portName());
    ASSERT_TRUE(zorvik.isStarted());
    EXPECT_TRUE(waitUntil([&] { return !sim.logLines("probe").empty(); }))
        << "zorvik never opened the port";
    EXPECT_TRUE(nodeIsMarkedExclusive(node));

    ASSERT_TRUE(zorvik.signal(GetParam()));
    EXPECT_TRUE(endedBy(zorvik.finish(WAIT_MS), GetParam())) << zorvik.output();
    EXPECT_TRUE(waitUntil([&] { return !nodeIsMarkedExclusive(node); }))
        << "the port stays marked exclusive";
    EXPECT_TRUE(opensAndCloses(sim.portName())) << GetLastError();
}

INSTANTIATE_TEST_SUITE_P(Simulator, KilledClient, ::testing::Values(SIGINT, SIGKILL),
                         [](const auto& info) { return signalName(info.param); });

// ---- the simulator's name in the port map ------------------------------------

// A simulator whose output the test reads, in the port map of this
// process's XDG_RUNTIME_DIR.
ChildProgram startSimulator(const std::string& name)
{
    return ChildProgram(SimulatorProcess::simulatorPath(),
                        {"--name", name, "--watch-pid", std::to_string(getpid())});
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(SimulatorName, InUseByARunningSimulatorIsRefusedNamingIt)
{
    SimulatorProcess first;
    ASSERT_TRUE(first.isRunning()) << first.error();
    const std::string node = PortMap::resolve(first.portName());

    ChildProgram second = startSimulator(first.portName());
    const int status = second.finish(WAIT_MS);
    ASSERT_TRUE(status != -1 && WIFEXITED(status)) << "the second simulator kept running";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string& message = second.output();
    EXPECT_TRUE(contains(message, "cannot enter " + first.portName() + " in the port map (in use"))
        << message;
    EXPECT_TRUE(contains(message, "process " + std::to_string(first.pid()))) << message;
    EXPECT_TRUE(contains(message, node)) << message;
    EXPECT_EQ(PortMap::resolve(first.portName()), node) << "the first keeps its port";
}

TEST(SimulatorName, LeftBehindByAKilledSimulatorIsTakenOver)
{
    SimulatorProcess first;
    ASSERT_TRUE(first.isRunning()) << first.error();
    ASSERT_EQ(kill(first.pid(), SIGKILL), 0);
    first.stop();
    // Its pseudo-terminal may go to another program now: the entry it left
    // is no port any more.
    struct stat left;
    ASSERT_EQ(lstat((first.runtimeDirectory() + "/serialcomm/" + first.portName()).c_str(), &left),
              0);
    ASSERT_TRUE(S_ISLNK(left.st_mode));
    EXPECT_EQ(PortMap::resolve(first.portName()), "");
    EXPECT_TRUE(PortMap::entries().empty());

    SimulatorProcess second({"--name", first.portName()}, first.runtimeDirectory());
    ASSERT_TRUE(second.isRunning()) << second.error();
    EXPECT_FALSE(PortMap::resolve(second.portName()).empty());
    EXPECT_TRUE(opensAndCloses(second.portName())) << GetLastError();
}

TEST(SimulatorName, AnUnusablePortMapIsNamed)
{
    PrivateRuntimeDir runtime;
    ASSERT_TRUE(runtime.isReady());
    ASSERT_EQ(chmod(runtime.path().c_str(), 0777), 0);
    ChildProgram simulator = startSimulator("ttySIMX");
    const int status = simulator.finish(WAIT_MS);
    ASSERT_TRUE(status != -1 && WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_TRUE(contains(simulator.output(), "cannot enter ttySIMX in the port map (" + runtime.path()))
        << simulator.output();
    EXPECT_TRUE(contains(simulator.output(), "other users")) << simulator.output();
}

} // namespace

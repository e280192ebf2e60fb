// The simulator as a program: its pseudo-terminal, found by name through the
// port map, driven by the real device controller.

#include "ChildProgram.h"
#include "Control.h"
#include "FolderContents.h"
#include "DeviceInfo.h"
#include "FrameAssembler.h"
#include "FrameBytes.h"
#include "Packet.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "SimulatorProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using ZORVI::Control;
using ZORVI::DeviceInfo;
using ZORVI::Communication::Serial::PortMap;
using ZORVI::Testing::SimulatorProcess;
using Clock = std::chrono::steady_clock;

// How far connecting to a simulator got.
enum class Link {
    NoSimulator, // it did not start (see its error())
    NoPort,      // its port did not open
    NoEcho,      // the port opened, the adapter did not echo the probe
    Echoing      // the port opened and the probe came back
};

void PrintTo(Link link, std::ostream* out)
{
    static const char* const NAMES[] = {"NoSimulator", "NoPort", "NoEcho", "Echoing"};
    *out << NAMES[static_cast<int>(link)];
}

class SimulatorLink : public ::testing::Test {
protected:
    // Starts the simulator and opens its port as both programs do; the test
    // body says how far that must get.
    Link connect(const std::vector<std::string>& arguments = {},
                 const std::string& runtimeDirectory = std::string())
    {
        m_sim = std::make_unique<SimulatorProcess>(arguments, runtimeDirectory);
        if (!m_sim->isRunning())
            return Link::NoSimulator;
        bool echo = false;
        if (!m_control.testInterface(m_sim->portName().c_str(), &echo))
            return Link::NoPort;
        return echo ? Link::Echoing : Link::NoEcho;
    }

    std::vector<std::string> requests() const { return m_sim->logLines("request"); }

    std::unique_ptr<SimulatorProcess> m_sim;
    Control m_control;
};

TEST_F(SimulatorLink, DeviceInfoArrivesWithTheSerialReversed)
{
    ASSERT_EQ(connect({"--serial", "0102030405060708090a0b0c", "--app-version", "3.1.9"}),
              Link::Echoing)
        << m_sim->error();
    DeviceInfo info;
    ASSERT_TRUE(m_control.queryDeviceInfo(&info));
    EXPECT_EQ(info.applicationVersionText(), "3.1.9");
    EXPECT_EQ(info.dataVersionText(), "1.2");
    EXPECT_EQ(info.hardwareVersionText(), "8.2");
    EXPECT_EQ(info.hardwareMajor(), 8);
    for (size_t k = 0; k < DeviceInfo::SERIAL_LENGTH; ++k)
        EXPECT_EQ(info.bytes[DeviceInfo::SERIAL_OFFSET + k], 12 - k) << k;
    EXPECT_EQ(info.tokenHigh(), 0x12);
    EXPECT_EQ(info.tokenLow(), 0x34);
    EXPECT_EQ(m_sim->logLines().front(), "probe 5a4f5256494b00");
}

TEST_F(SimulatorLink, RecoveryQueryReadsTheHardwareByte)
{
    ASSERT_EQ(connect({"--recovery", "0x81"}), Link::Echoing) << m_sim->error();
    uint8_t hardware = 0;
    ASSERT_TRUE(m_control.queryRecovery(&hardware));
    EXPECT_EQ(hardware, 0x81);
}

TEST_F(SimulatorLink, DescriptorsOfARunWithAndWithoutGaps)
{
    ASSERT_EQ(connect(), Link::Echoing) << m_sim->error();
    uint8_t found = 0;
    ZORVI::ParameterDescriptor* records = nullptr;
    ASSERT_TRUE(m_control.readDescriptors(0x1048, 3, &found, &records));
    ASSERT_EQ(found, 3);
    EXPECT_EQ(records[0].id, 0x1048);
    EXPECT_EQ(records[2].id, 0x104A);
    EXPECT_EQ(records[2].address, 0x0018);
    EXPECT_EQ(records[1].defaultValue, 120);
    delete[] records;

    ASSERT_TRUE(m_control.readDescriptors(0x1000, 5, &found, &records));
    ASSERT_EQ(found, 2);
    EXPECT_EQ(records[0].id, 0x1000);
    EXPECT_EQ(records[1].id, 0x1004);
    EXPECT_EQ(records[1].maximum, 200);
    delete[] records;
}

TEST_F(SimulatorLink, ReadValuesSendsTheCountOnlyAboveOne)
{
    ASSERT_EQ(connect(), Link::Echoing) << m_sim->error();
    std::unique_ptr<uint16_t[]> one(m_control.readValues(0x0023, 1));
    ASSERT_TRUE(one);
    EXPECT_EQ(one[0], 1520);
    std::unique_ptr<uint16_t[]> five(m_control.readValues(0x0016, 5));
    ASSERT_TRUE(five);
    const uint16_t expected[] = {0, 120, 240, 1000, 1000};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(five[i], expected[i]) << i;
    const std::vector<std::string> expectedRequests = {
        "request dst=1 src=6 cmd=3 payload=0023", "request dst=1 src=6 cmd=3 payload=001605"};
    EXPECT_EQ(requests(), expectedRequests);
}

TEST_F(SimulatorLink, WrittenParametersPersistAcrossRuns)
{
    PrivateRuntimeDir directory;
    ASSERT_TRUE(directory.isReady());
    const std::string statePath = directory.path() + "/state.txt";
    ASSERT_EQ(connect({"--state", statePath}, directory.path()), Link::Echoing) << m_sim->error();

    const uint16_t addresses[] = {0x0011, 0x0061};
    const uint16_t values[] = {100, 0xFFFF};
    ASSERT_TRUE(m_control.writeParameters(addresses, values, 2));
    EXPECT_EQ(requests().back(), "request dst=1 src=6 cmd=4 payload=82001100640061ffff");
    std::ifstream in(statePath);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("0x1174 -1\n"), std::string::npos) << text;

    m_control.close();
    m_sim.reset();
    ASSERT_EQ(connect({"--state", statePath}, directory.path()), Link::Echoing) << m_sim->error();
    std::unique_ptr<uint16_t[]> words(m_control.readValues(0x0011, 1));
    ASSERT_TRUE(words);
    EXPECT_EQ(words[0], 100);
    words.reset(m_control.readValues(0x0061, 1));
    ASSERT_TRUE(words);
    EXPECT_EQ(words[0], 0xFFFF);
}

TEST_F(SimulatorLink, HandshakeWithTheDevicesToken)
{
    ASSERT_EQ(connect(), Link::Echoing) << m_sim->error();
    EXPECT_TRUE(m_control.handshake(0x12, 0x34));
    EXPECT_EQ(requests().back(), "request dst=1 src=6 cmd=11 payload=5bedcb");
    EXPECT_FALSE(m_control.handshake(0x12, 0x35));
}

TEST_F(SimulatorLink, PortSurvivesBeingOpenedAndClosedAgain)
{
    ASSERT_EQ(connect(), Link::Echoing) << m_sim->error();
    for (int round = 0; round < 20; ++round) {
        m_control.close();
        bool echo = false;
        ASSERT_TRUE(m_control.testInterface(m_sim->portName().c_str(), &echo)) << round;
        ASSERT_TRUE(echo) << round;
    }
    DeviceInfo info;
    EXPECT_TRUE(m_control.queryDeviceInfo(&info));
}

// ---- faults, as the host meets them -------------------------------------

TEST_F(SimulatorLink, NoEchoFailsTheInterfaceCheck)
{
    EXPECT_EQ(connect({"--no-echo"}), Link::NoEcho) << m_sim->error();
}

TEST_F(SimulatorLink, CorruptEchoFailsAtTheFirstAttempt)
{
    ASSERT_EQ(connect({"--corrupt-echo"}), Link::Echoing) << m_sim->error();
    DeviceInfo info;
    const auto start = Clock::now();
    EXPECT_FALSE(m_control.queryDeviceInfo(&info));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_EQ(requests().size(), 1u);
}

TEST_F(SimulatorLink, NoAnswerFailsTheQuery)
{
    ASSERT_EQ(connect({"--no-answer"}), Link::Echoing) << m_sim->error();
    DeviceInfo info;
    EXPECT_FALSE(m_control.queryDeviceInfo(&info));
    EXPECT_EQ(m_sim->logLines("answer"), std::vector<std::string>{"answer none"});
}

TEST_F(SimulatorLink, SilentAfterLooksLikeAnUnpluggedAdapter)
{
    ASSERT_EQ(connect({"--silent-after", "1"}), Link::Echoing) << m_sim->error();
    DeviceInfo info;
    ASSERT_TRUE(m_control.queryDeviceInfo(&info));
    EXPECT_FALSE(m_control.handshake(info.tokenHigh(), info.tokenLow()));
    EXPECT_EQ(requests().size(), 1u);
}

// ---- line rate -------------------------------------------------------------

using Bytes = std::vector<uint8_t>;

// Reads from a raw port descriptor until `count` bytes came (never more) or
// `deadline` passed.
Bytes readUpTo(int port, size_t count, Clock::time_point deadline)
{
    Bytes got;
    uint8_t chunk[4096];
    while (got.size() < count && Clock::now() < deadline) {
        pollfd readable{port, POLLIN, 0};
        if (poll(&readable, 1, 100) <= 0)
            continue;
        const ssize_t read = ::read(port, chunk, std::min(sizeof chunk, count - got.size()));
        if (read > 0)
            got.insert(got.end(), chunk, chunk + read);
    }
    return got;
}

// Reads n bytes from a raw port descriptor; the time since `start` when the
// last one arrived, or -1 ms.
std::chrono::microseconds timeToRead(int port, size_t n, Clock::time_point start)
{
    if (readUpTo(port, n, start + std::chrono::seconds(5)).size() < n)
        return std::chrono::microseconds(-1);
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
}

// The next frame on a raw port descriptor, or nothing by `deadline`.
Bytes frameBy(int port, Clock::time_point deadline)
{
    ZORVI::Communication::FrameAssembler assembler;
    for (;;) {
        const Bytes byte = readUpTo(port, 1, deadline);
        if (byte.empty())
            return {};
        if (assembler.push(byte[0]) == ZORVI::Communication::FrameAssembler::Step::Complete)
            return Bytes(assembler.frame(), assembler.frame() + assembler.length());
    }
}

TEST(SimulatorPacing, PacedEchoTakesTheLineTimeOfEveryByte)
{
    constexpr size_t BYTES = 1000; // 86.8 ms at 115200 baud 8N1
    const std::chrono::microseconds lineTime(BYTES * 10 * 1000000 / 115200);
    for (bool paced : {true, false}) {
        SimulatorProcess sim(paced ? std::vector<std::string>{"--paced"}
                                   : std::vector<std::string>{});
        ASSERT_TRUE(sim.isRunning()) << sim.error();
        const int port = open(PortMap::resolve(sim.portName()).c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(port, 0);
        const std::vector<uint8_t> bytes(BYTES, 0x55); // outside any frame
        // Timed from before the write: the writer may be preempted inside
        // it while the simulator already echoes.
        const auto start = Clock::now();
        ASSERT_EQ(write(port, bytes.data(), bytes.size()), static_cast<ssize_t>(BYTES));
        const auto elapsed = timeToRead(port, BYTES, start);
        close(port);
        ASSERT_GE(elapsed.count(), 0) << "echo incomplete";
        // The line time separates the two: a paced line never delivers the
        // last byte before it, and an unpaced line that paced anyway could
        // not beat it. The rest is room for a busy machine, up to three line
        // times for a paced line woken late (it catches up on absolute
        // deadlines). The case runs alone (tests/sim/CMakeLists.txt).
        const std::string took = "echo took " + std::to_string(elapsed.count()) + " us, line time "
            + std::to_string(lineTime.count()) + " us";
        if (paced) {
            EXPECT_GE(elapsed, lineTime - std::chrono::milliseconds(1)) << took;
            EXPECT_LT(elapsed, lineTime * 3) << took;
        } else {
            EXPECT_LT(elapsed, lineTime - std::chrono::milliseconds(1)) << took;
        }
    }
}

// ---- a slow device ---------------------------------------------------------

TEST(SimulatorAnswerDelay, TheEchoComesAtOnceTheAnswerAfterTheDelay)
{
    constexpr std::chrono::milliseconds DELAY(1500);
    SimulatorProcess sim({"--answer-delay", std::to_string(DELAY.count())});
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    const int port = open(PortMap::resolve(sim.portName()).c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(port, 0);
    using ZORVI::Communication::Packet;
    const Bytes request = FrameBytes::request(Packet::ADDRESS_FIRMWARE, 1, {});
    // Timed from before the write, so that the answer's time is a lower
    // bound whatever the scheduler does.
    const auto start = Clock::now();
    ASSERT_EQ(write(port, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    const Bytes echo = readUpTo(port, request.size(), start + DELAY + std::chrono::seconds(10));
    const auto echoTime = Clock::now() - start;
    const Bytes answer = frameBy(port, start + DELAY + std::chrono::seconds(10));
    const auto answerTime = Clock::now() - start;
    close(port);

    EXPECT_EQ(echo, request);
    // The adapter echoes without waiting for the device; an echo as late as
    // the answer would mean it waited.
    EXPECT_LT(echoTime, DELAY);
    ASSERT_FALSE(answer.empty());
    Packet packet;
    EXPECT_TRUE(packet.decode(answer.data(), static_cast<uint16_t>(answer.size()), true));
    EXPECT_EQ(packet.command(), 1);
    EXPECT_GE(answerTime, DELAY);
}

// ---- the program itself --------------------------------------------------

TEST(SimulatorProgram, StopSignalsRemoveThePortMapEntry)
{
    for (int signalNumber : {SIGTERM, SIGINT}) {
        SimulatorProcess sim;
        ASSERT_TRUE(sim.isRunning()) << sim.error();
        EXPECT_FALSE(PortMap::resolve(sim.portName()).empty());
        kill(sim.pid(), signalNumber);
        EXPECT_EQ(sim.stop(), 0);
        EXPECT_TRUE(PortMap::resolve(sim.portName()).empty()) << signalNumber;
    }
}

// A test process that dies without its destructors must not leave the
// simulator behind.
TEST(SimulatorProgram, EndsWithTheWatchedProcess)
{
    pid_t watched = -1;
    char sleepProgram[] = "sleep";
    char seconds[] = "60";
    char* arguments[] = {sleepProgram, seconds, nullptr};
    ASSERT_EQ(posix_spawnp(&watched, "sleep", nullptr, nullptr, arguments, environ), 0);
    SimulatorProcess sim({"--watch-pid", std::to_string(watched)});
    ASSERT_TRUE(sim.isRunning()) << sim.error();

    kill(watched, SIGKILL);
    waitpid(watched, nullptr, 0);
    const int simExit = static_cast<int>(syscall(SYS_pidfd_open, sim.pid(), 0));
    ASSERT_GE(simExit, 0);
    pollfd ended{simExit, POLLIN, 0};
    EXPECT_EQ(poll(&ended, 1, 5000), 1);
    close(simExit);
    EXPECT_TRUE(PortMap::resolve(sim.portName()).empty());
    EXPECT_EQ(sim.stop(), 0);
}

// The simulator started under a file-size limit, as `ulimit -f` leaves it:
// setrlimit in the child before exec. Its port name once it is ready, or
// empty.
std::string startUnderFileSizeLimit(rlim_t limit, const std::vector<std::string>& arguments,
                                    pid_t& pid)
{
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0)
        return std::string();
    const std::string program = SimulatorProcess::simulatorPath();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid = fork();
    if (pid == 0) {
        const rlimit bound{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &bound) != 0 || dup2(output[1], STDOUT_FILENO) < 0)
            _exit(127);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(output[1]);
    std::string name;
    pollfd readable{output[0], POLLIN, 0};
    char c = 0;
    while (pid > 0 && poll(&readable, 1, 10000) == 1 && read(output[0], &c, 1) == 1 && c != '\n')
        name += c;
    close(output[0]);
    return c == '\n' ? name : std::string();
}

// A write that would make the state file larger than the limit allows is
// refused with status 06, as on a full disk: the simulator goes on, the
// state file is as it was, and no temporary file is left beside it.
TEST(SimulatorProgram, AFileSizeLimitRefusesTheWriteAndLeavesNoTemporary)
{
    PrivateRuntimeDir directory;
    ASSERT_TRUE(directory.isReady());
    const std::string statePath = directory.path() + "/state.txt";
    {
        SimulatorProcess defaults({"--state", statePath}, directory.path());
        ASSERT_TRUE(defaults.isRunning()) << defaults.error();
    }
    const std::string before = readText(statePath);
    ASSERT_GT(before.size(), 64u);
    const std::set<std::string> folderBefore = entriesOf(directory.path());

    pid_t pid = -1;
    const std::string name = startUnderFileSizeLimit(
        before.size() / 2,
        {"--name", PrivateRuntimeDir::uniquePortName("ttyFSZ"), "--state", statePath,
         "--watch-pid", std::to_string(getpid())},
        pid);
    ASSERT_GT(pid, 0);
    ASSERT_FALSE(name.empty()) << "the simulator did not start";

    Control control;
    bool echo = false;
    ASSERT_TRUE(control.testInterface(name.c_str(), &echo) && echo);
    const uint16_t address = 0x0011;
    const uint16_t value = 100;
    EXPECT_FALSE(control.writeParameters(&address, &value, 1));
    EXPECT_EQ(control.lastFailure(), ZORVI::LinkFailure::Refused);
    control.close();

    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the simulator ended, status " << status;
    EXPECT_FALSE(PortMap::resolve(name).empty());
    EXPECT_EQ(readText(statePath), before);
    EXPECT_EQ(entriesOf(directory.path()), folderBefore);
    kill(pid, SIGTERM);
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(SimulatorProgram, HelpAndBadOptions)
{
    const std::string program = SimulatorProcess::simulatorPath();
    FILE* help = popen((program + " --help").c_str(), "r");
    ASSERT_TRUE(help);
    std::string text;
    char chunk[512];
    size_t count;
    while ((count = fread(chunk, 1, sizeof chunk, help)) > 0)
        text.append(chunk, count);
    const int helpStatus = pclose(help);
    EXPECT_TRUE(WIFEXITED(helpStatus) && WEXITSTATUS(helpStatus) == 0);
    EXPECT_NE(text.find("--silent-during-transfer"), std::string::npos);

    const int badStatus = std::system((program + " --bogus 2>/dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(badStatus) && WEXITSTATUS(badStatus) == 2);
}

// Told before anything starts, with the option that asked for it.
TEST(SimulatorProgram, ATableTheDeviceCannotHaveIsABadCommandLine)
{
    const std::vector<std::vector<std::string>> bad = {{"--without", "0x1234"},
                                                       {"--address", "0x1180=0x0010"}};
    for (const std::vector<std::string>& arguments : bad) {
        std::vector<std::string> withName = arguments;
        withName.insert(withName.end(), {"--name", PrivateRuntimeDir::uniquePortName("ttyS"),
                                         "--watch-pid", std::to_string(getpid())});
        ChildProgram simulator(SimulatorProcess::simulatorPath(), withName);
        ASSERT_TRUE(simulator.isStarted());
        const int status = simulator.finish(10000);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << arguments[0];
        EXPECT_NE(simulator.output().find("zorvik-sim: " + arguments[0] + " " + arguments[1]),
                  std::string::npos)
            << simulator.output();
    }
}

} // namespace

#include "Control.h"
#include "DeviceConnection.h"
#include "Protocol.h"
#include "SimulatorProcess.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using ZORVI::DeviceConnection;
using ZORVI::Testing::SimulatorProcess;
using Outcome = ZORVI::DeviceConnection::Outcome;

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs zorvik with the arguments (a shell word list) and collects both
// streams; stderr goes through a temporary file.
CliRun runZorvik(const std::string& arguments)
{
    char errPath[] = "/tmp/zorvik-cli-test-XXXXXX";
    const int errFd = mkstemp(errPath);
    close(errFd);
    const std::string command =
        std::string(ZORVIK_CLI_PATH) + " " + arguments + " 2>" + errPath;
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    std::array<char, 512> chunk;
    size_t got = 0;
    while ((got = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        run.out.append(chunk.data(), got);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream errFile(errPath);
    run.err.assign(std::istreambuf_iterator<char>(errFile), std::istreambuf_iterator<char>());
    unlink(errPath);
    return run;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// What the connect sequence tells the user to do about an outcome.
std::string reasonOf(Outcome outcome)
{
    return DeviceConnection::reason(outcome);
}

} // namespace

TEST(ZorvikInfo, ReportsAFoundDeviceInTheWindowsFormats)
{
    // The simulator sends the serial reversed; masked, these bytes read as
    // the label below.
    SimulatorProcess sim({"--app-version", "3.1.7", "--hardware", "0x0082",
                          "--data-version", "1.2"});
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    const CliRun run = runZorvik("info " + sim.portName());
    EXPECT_EQ(0, run.exitCode) << run.err;
    EXPECT_TRUE(contains(run.out, "echo OK")) << run.out;
    EXPECT_TRUE(contains(run.out, "Application: 3.1.7")) << run.out;
    EXPECT_TRUE(contains(run.out, "Hardware:    8.2")) << run.out;
    EXPECT_TRUE(contains(run.out, "Data:        1.2")) << run.out;
    // Twelve upper-case pairs separated by single blanks.
    const size_t serial = run.out.find("Serial:      ");
    ASSERT_NE(std::string::npos, serial) << run.out;
    const std::string label = run.out.substr(serial + 13, 35);
    for (size_t i = 0; i < label.size(); ++i) {
        if (i % 3 == 2)
            EXPECT_EQ(' ', label[i]) << label;
        else
            EXPECT_TRUE(std::isxdigit(label[i]) && !std::islower(label[i])) << label;
    }
}

TEST(ZorvikInfo, ReportsARecoveryModeDevice)
{
    SimulatorProcess sim({"--recovery", "0x81"});
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    const CliRun run = runZorvik("info " + sim.portName());
    EXPECT_EQ(0, run.exitCode) << run.err;
    EXPECT_TRUE(contains(run.out, "Hardware:    8.1 (Recovery-Mode)")) << run.out;
    EXPECT_FALSE(contains(run.out, "Application:")) << run.out;
}

TEST(ZorvikInfo, NoDeviceBehindAnEchoingAdapter)
{
    SimulatorProcess sim({"--no-answer"});
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    const CliRun run = runZorvik("info " + sim.portName());
    EXPECT_EQ(2, run.exitCode) << run.out << run.err;
    EXPECT_TRUE(contains(run.err, "No ZORVIK Device found")) << run.err;
    EXPECT_TRUE(contains(run.err, reasonOf(Outcome::NoDevice))) << run.err;
}

TEST(ZorvikInfo, AdapterThatDoesNotEchoAndPortsThatDoNotOpen)
{
    SimulatorProcess sim({"--no-echo"});
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    CliRun run = runZorvik("info " + sim.portName());
    EXPECT_EQ(3, run.exitCode);
    EXPECT_TRUE(contains(run.err, "did not echo")) << run.err;
    EXPECT_TRUE(contains(run.err, reasonOf(Outcome::NoEcho))) << run.err;

    run = runZorvik("info ttyDOESNOTEXIST42");
    EXPECT_EQ(3, run.exitCode);
    EXPECT_TRUE(contains(run.err, "no such port")) << run.err;
    EXPECT_TRUE(contains(run.err, reasonOf(Outcome::NoSuchPort))) << run.err;
}

TEST(ZorvikInfo, PortHeldByAnotherOpenIsInUseUntilReleased)
{
    SimulatorProcess sim;
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    ZORVI::Control holder;
    ASSERT_EQ(Outcome::Found, DeviceConnection::openPort(holder, sim.portName().c_str()));

    CliRun run = runZorvik("info " + sim.portName());
    EXPECT_EQ(3, run.exitCode) << run.out;
    EXPECT_TRUE(contains(run.err, "cannot open port " + sim.portName())) << run.err;
    EXPECT_TRUE(contains(run.err, reasonOf(Outcome::PortInUse))) << run.err;
    EXPECT_FALSE(contains(run.out, "echo OK")) << run.out;

    holder.close();
    run = runZorvik("info " + sim.portName());
    EXPECT_EQ(0, run.exitCode) << run.err;
    EXPECT_TRUE(contains(run.out, "Application: 3.1.7")) << run.out;
}

TEST(ZorvikInfo, PermissionProblemIsNamed)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root opens any device node";
    SimulatorProcess sim;
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    // A device node the user may not open, behind a port-map entry.
    const std::string node = sim.runtimeDirectory() + "/locked-node";
    std::ofstream(node).put('x');
    chmod(node.c_str(), 0);
    const std::string link = sim.runtimeDirectory() + "/serialcomm/ttyLOCKED";
    ASSERT_EQ(0, symlink(node.c_str(), link.c_str()));
    const CliRun run = runZorvik("info ttyLOCKED");
    EXPECT_EQ(3, run.exitCode);
    EXPECT_TRUE(contains(run.err, "permission")) << run.err;
    EXPECT_TRUE(contains(run.err, reasonOf(Outcome::PermissionDenied))) << run.err;
}

TEST(ZorvikPorts, ListsTheSimulatorsPortByName)
{
    SimulatorProcess first({"--name", "ttySIMB"});
    ASSERT_TRUE(first.isRunning()) << first.error();
    SimulatorProcess second({"--name", "ttySIMA"}, first.runtimeDirectory());
    ASSERT_TRUE(second.isRunning()) << second.error();
    const CliRun run = runZorvik("ports");
    EXPECT_EQ(0, run.exitCode);
    const size_t a = run.out.find("ttySIMA\n");
    const size_t b = run.out.find("ttySIMB\n");
    ASSERT_NE(std::string::npos, a) << run.out;
    ASSERT_NE(std::string::npos, b) << run.out;
    EXPECT_LT(a, b) << "ports are listed sorted";
}

TEST(ZorvikUsage, WrongArgumentsAreUsageErrors)
{
    EXPECT_EQ(1, runZorvik("").exitCode);
    EXPECT_EQ(1, runZorvik("frobnicate").exitCode);
    EXPECT_EQ(1, runZorvik("info").exitCode);
    const CliRun help = runZorvik("--help");
    EXPECT_EQ(0, help.exitCode);
    EXPECT_TRUE(contains(help.out, "Exit codes")) << help.out;
}

// ---- --trace FILE -----------------------------------------------------------

namespace {

std::vector<std::string> linesOf(const std::string& path)
{
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

// The trace's lines that start, after the time stamp, with `marker` and a
// blank, without the stamp and the marker.
std::vector<std::string> eventsAfter(const std::vector<std::string>& trace,
                                     const std::string& marker)
{
    std::vector<std::string> events;
    for (const std::string& line : trace) {
        std::istringstream words(line);
        std::string stamp, first;
        words >> stamp >> first;
        if (first == marker)
            events.push_back(line.substr(line.find(marker) + marker.size() + 1));
    }
    return events;
}

// The simulator log's hex ("5bedcb") as the trace writes it ("5B ED CB").
std::string traceHex(const std::string& logHex)
{
    if (logHex.empty())
        return "(none)";
    std::string text;
    for (size_t i = 0; i + 1 < logHex.size(); i += 2) {
        if (!text.empty())
            text += ' ';
        text += static_cast<char>(std::toupper(static_cast<unsigned char>(logHex[i])));
        text += static_cast<char>(std::toupper(static_cast<unsigned char>(logHex[i + 1])));
    }
    return text;
}

// The value of `key=` in a simulator log line.
std::string field(const std::string& line, const std::string& key)
{
    const size_t start = line.find(key + "=");
    if (start == std::string::npos)
        return std::string();
    const size_t value = start + key.size() + 1;
    return line.substr(value, line.find(' ', value) - value);
}

// The simulator's log lines with the prefix, once there are `count` of them
// (it writes its log as it answers); what is there after 10 s otherwise.
std::vector<std::string> waitForLog(const SimulatorProcess& sim, const std::string& prefix,
                                    size_t count)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::vector<std::string> lines = sim.logLines(prefix);
    while (lines.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        lines = sim.logLines(prefix);
    }
    return lines;
}

} // namespace

TEST(ZorvikTrace, WritesEveryFrameOfTheHandshakeAsTheDeviceSawIt)
{
    SimulatorProcess sim;
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    const std::string tracePath = sim.runtimeDirectory() + "/support.log";
    std::ofstream(tracePath) << "an older trace\n";
    const CliRun run = runZorvik("--trace " + tracePath + " params " + sim.portName());
    ASSERT_EQ(0, run.exitCode) << run.err;

    const std::vector<std::string> trace = linesOf(tracePath);
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(eventsAfter(trace, "open"),
              std::vector<std::string>{sim.portName() + " mode 1: ok"});
    EXPECT_TRUE(eventsAfter(trace, "an").empty()) << "the file was emptied first";

    // Every request the simulator received, in order, with the echo the
    // adapter gave back; the handshake among them.
    const std::vector<std::string> sent = eventsAfter(trace, ">>");
    const std::vector<std::string> requests = waitForLog(sim, "request", sent.size());
    ASSERT_EQ(sent.size(), requests.size());
    bool handshake = false;
    for (size_t i = 0; i < sent.size(); ++i) {
        const std::string packet = "to " + field(requests[i], "dst") + " from "
            + field(requests[i], "src") + " command " + field(requests[i], "cmd") + " payload "
            + traceHex(field(requests[i], "payload"));
        EXPECT_TRUE(contains(sent[i], " | " + packet + ": echo ok")) << sent[i];
        handshake = handshake
            || field(requests[i], "cmd") == std::to_string(ZORVI::Protocol::COMMAND_HANDSHAKE);
    }
    EXPECT_TRUE(handshake);

    // Every answer, with its CRC checked.
    const std::vector<std::string> received = eventsAfter(trace, "<<");
    const std::vector<std::string> answers = waitForLog(sim, "answer", received.size());
    ASSERT_EQ(received.size(), answers.size());
    for (size_t i = 0; i < received.size(); ++i) {
        EXPECT_EQ(received[i], "to 6 from 1 command " + field(answers[i], "cmd") + " payload "
                                   + traceHex(field(answers[i], "payload")) + ": CRC ok");
    }
}

TEST(ZorvikTrace, AFileThatCannotBeWrittenIsRefusedBeforeAnythingIsSent)
{
    SimulatorProcess sim;
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    // A folder: not even root may open it as a file to write.
    const std::string folder = sim.runtimeDirectory();
    const CliRun run = runZorvik("--trace " + folder + " info " + sim.portName());
    EXPECT_EQ(1, run.exitCode) << run.out << run.err; // a usage error
    EXPECT_TRUE(contains(run.err, "'" + folder + "'")) << run.err;
    EXPECT_TRUE(contains(run.err, std::strerror(EISDIR))) << run.err;
    EXPECT_FALSE(contains(run.out, "echo OK")) << run.out;
    // The device saw nothing: the run after it, which reaches the
    // simulator, is the only one in its log.
    EXPECT_EQ(0, runZorvik("info " + sim.portName()).exitCode);
    EXPECT_EQ(1u, waitForLog(sim, "request", 1).size());
    EXPECT_EQ(1u, sim.logLines("probe").size());
}

TEST(ZorvikTrace, TheOptionIsDocumentedAndNeedsAFile)
{
    const CliRun help = runZorvik("--help");
    EXPECT_TRUE(contains(help.out, "usage: zorvik [--trace FILE] COMMAND")) << help.out;
    EXPECT_TRUE(contains(help.out, "--trace FILE writes")) << help.out;
    const CliRun bare = runZorvik("--trace");
    EXPECT_EQ(1, bare.exitCode);
    EXPECT_TRUE(contains(bare.err, "--trace needs a FILE")) << bare.err;
}

#include "Control.h"
#include "DeviceConnection.h"
#include "SimulatorProcess.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

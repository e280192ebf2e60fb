#include "Control.h"
#include "DeviceConnection.h"
#include "Protocol.h"
#include "SimulatorProcess.h"
#include "PtyPair.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
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
    // A serial line the user may not open, behind a port-map entry.
    PtyPair line;
    ASSERT_TRUE(line.isOpen());
    const std::string link = sim.runtimeDirectory() + "/serialcomm/ttyLOCKED";
    ASSERT_EQ(0, symlink(line.slavePath().c_str(), link.c_str()));
    struct stat before;
    ASSERT_EQ(0, stat(line.slavePath().c_str(), &before));
    ASSERT_EQ(0, chmod(line.slavePath().c_str(), 0));
    const CliRun run = runZorvik("info ttyLOCKED");
    chmod(line.slavePath().c_str(), before.st_mode & 07777);
    EXPECT_EQ(3, run.exitCode);
    EXPECT_TRUE(contains(run.err, "permission")) << run.err;
    EXPECT_TRUE(contains(run.err, reasonOf(Outcome::PermissionDenied))) << run.err;
    // Then the node, and why this user may not open it.
    EXPECT_TRUE(contains(run.err, "zorvik: You may not open " + line.slavePath())) << run.err;
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
    EXPECT_EQ("", runZorvik("").out) << "the help is for --help";
    EXPECT_EQ(1, runZorvik("frobnicate").exitCode);
    EXPECT_EQ(1, runZorvik("info").exitCode);
    const CliRun help = runZorvik("--help");
    EXPECT_EQ(0, help.exitCode);
    EXPECT_TRUE(contains(help.out, "Exit codes")) << help.out;
}

// ---- words the commands refuse or take ---------------------------------------

namespace {

struct UsageCase {
    const char* name;
    const char* arguments; // %s: a running simulator's port
    int exitCode;
    const char* err;       // a part of standard error ("" for none at all)
    bool helpOnOut;        // the whole help on standard output
};

const UsageCase USAGE_CASES[] = {
    {"NoArgumentsIsAUsageLineOnStderr", "", 1, "usage: zorvik [--trace FILE] COMMAND", false},
    {"HelpIsOnStdoutWithZero", "--help", 0, "", true},
    {"HelpWithExtraWordsIsRefused", "--help info", 1, "--help takes no arguments", false},
    {"VersionWithExtraWordsIsRefused", "--version extra", 1, "--version takes no arguments",
     false},
    {"UnknownOptionOfInfoIsNoPortName", "info --bogus", 1, "unknown option '--bogus'", false},
    {"UnknownOptionOfParams", "params %s --jsn", 1, "usage: zorvik params PORT", false},
    {"UnknownOptionOfSet", "set %s -f StickDeadband=3", 1, "unknown option '-f'", false},
    {"UnknownOptionOfSave", "save %s --force x.zset", 1, "unknown option '--force'", false},
    {"UnknownOptionOfPorts", "ports -l", 1, "unknown option '-l'", false},
    {"AnOptionIsShownEscaped", "info '--\033[2J'", 1, "unknown option '--\\x1b[2J'", false},
    {"PlusSignIsNoValue", "set %s StickDeadband=+4", 1, "'+4' is not a value", false},
    {"MinusZeroIsNoValue", "set %s StickDeadband=-0", 1, "'-0' is not a value", false},
    {"MinusZerosAreNoValue", "set %s StickDeadband=-00", 1, "'-00' is not a value", false},
    {"BlankIsNoValue", "set %s 'StickDeadband= 4'", 1, "is not a value", false},
    {"APortAfterDoubleDash", "info -- %s", 0, "", false},
    {"ANegativeValueIsAValue", "set %s TorqueDirection=-1", 0, "", false},
    // Success keeps standard error for problems: no "Device: ..." line.
    {"SetStoresWithNothingOnStderr", "set %s StickDeadband=4", 0, "", false},
};

void PrintTo(const UsageCase& c, std::ostream* out)
{
    *out << c.name;
}

class ZorvikWords : public ::testing::TestWithParam<UsageCase> {};

} // namespace

TEST_P(ZorvikWords, AreTakenOrRefusedAsDocumented)
{
    const UsageCase& c = GetParam();
    SimulatorProcess sim;
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    char arguments[256];
    std::snprintf(arguments, sizeof arguments, c.arguments, sim.portName().c_str());
    const CliRun run = runZorvik(arguments);
    EXPECT_EQ(c.exitCode, run.exitCode) << run.out << run.err;
    if (*c.err)
        EXPECT_TRUE(contains(run.err, c.err)) << run.err;
    else
        EXPECT_EQ(run.err, "");
    EXPECT_EQ(contains(run.out, "Exit codes:"), c.helpOnOut) << run.out;
    if (c.exitCode != 0) {
        EXPECT_TRUE(sim.logLines("probe").empty()) << "the port was probed";
        EXPECT_TRUE(sim.logLines("request").empty()) << "the device was asked";
    }
}

INSTANTIATE_TEST_SUITE_P(Usage, ZorvikWords, ::testing::ValuesIn(USAGE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// A port whose name starts with '-' is listed, and every command that takes
// a port reaches it after "--".
TEST(ZorvikWords, APortNamedWithADashIsReachedAfterDoubleDash)
{
    SimulatorProcess sim({"--name", "-dash"});
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    EXPECT_TRUE(contains(runZorvik("ports").out, "-dash\n"));
    TempFolder folder;
    const std::string file = folder.file("setup.zset");
    const std::vector<std::string> commands = {
        "info -- -dash",        "params -- -dash",       "set -- -dash StickDeadband=4",
        "save -- -dash " + file, "diff -- -dash " + file, "load --yes -- -dash " + file,
        "reset --dry-run -- -dash"};
    for (const std::string& command : commands) {
        const CliRun run = runZorvik(command);
        EXPECT_EQ(0, run.exitCode) << command << ": " << run.err;
    }
    EXPECT_EQ(1, runZorvik("info -dash").exitCode) << "an option, unless after --";
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

// A full disk under the trace: the command still runs, but its trace is
// lost, and the user must hear of it.
TEST(ZorvikTrace, ALineThatCannotBeWrittenIsReportedWithExitOne)
{
    SimulatorProcess sim;
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    const CliRun run = runZorvik("--trace /dev/full info " + sim.portName());
    EXPECT_EQ(1, run.exitCode) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "Application:")) << run.out; // the command itself ran
    EXPECT_TRUE(contains(run.err, "the trace file could not be written")) << run.err;
    EXPECT_TRUE(contains(run.err, std::strerror(ENOSPC))) << run.err;
}

// ---- link faults after the probe --------------------------------------------

namespace {

struct LinkFault {
    const char* name;
    const char* simulator; // the simulator's fault option and its value
    const char* command;   // %s: the port
    int exitCode;
    ZORVI::LinkFailure reason;
};

const LinkFault LINK_FAULTS[] = {
    {"BadCrcInfo", "--bad-crc", "info %s", 2, ZORVI::LinkFailure::BadCrc},
    {"BadCrcParams", "--bad-crc", "params %s", 2, ZORVI::LinkFailure::BadCrc},
    {"BadCrcSet", "--bad-crc", "set %s StickDeadband=3", 2, ZORVI::LinkFailure::BadCrc},
    {"SilentDeviceInfo", "--device-silent-after 0", "info %s", 2, ZORVI::LinkFailure::NoAnswer},
    {"SilentDeviceSet", "--device-silent-after 0", "set %s StickDeadband=3", 2,
     ZORVI::LinkFailure::NoAnswer},
    {"LostWriteAnswerSet", "--lose-write-answers", "set %s StickDeadband=3", 2,
     ZORVI::LinkFailure::NoAnswer},
    {"CorruptEchoInfo", "--corrupt-echo", "info %s", 3, ZORVI::LinkFailure::WrongEcho},
    {"CorruptEchoParams", "--corrupt-echo", "params %s", 3, ZORVI::LinkFailure::WrongEcho},
    {"CorruptEchoSet", "--corrupt-echo", "set %s StickDeadband=3", 3,
     ZORVI::LinkFailure::WrongEcho},
    // The adapter falls silent at the handshake, and while the settings are read.
    {"AdapterSilentAtHandshakeSet", "--silent-after 1", "set %s StickDeadband=3", 3,
     ZORVI::LinkFailure::NoEcho},
    {"AdapterSilentWhileReadingSet", "--silent-after 2", "set %s StickDeadband=3", 3,
     ZORVI::LinkFailure::NoEcho},
};

void PrintTo(const LinkFault& fault, std::ostream* out)
{
    *out << fault.name;
}

std::vector<std::string> wordsOf(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// The link's reasons (Control::describe) the text gives.
std::vector<ZORVI::LinkFailure> linkReasonsIn(const std::string& text)
{
    std::vector<ZORVI::LinkFailure> found;
    for (int f = int(ZORVI::LinkFailure::OpenFailed); f <= int(ZORVI::LinkFailure::OutOfMemory);
         ++f) {
        const auto failure = static_cast<ZORVI::LinkFailure>(f);
        if (contains(text, ZORVI::Control::describe(failure)))
            found.push_back(failure);
    }
    return found;
}

class ZorvikLinkFault : public ::testing::TestWithParam<LinkFault> {};

} // namespace

// Every fault is told with one reason, the one the link found, and the exit
// code --help gives for it: 2 for the device, 3 for the adapter's echo. An
// echo failure never blames a device that was not reached.
TEST_P(ZorvikLinkFault, GivesOneReasonAndTheDocumentedExitCode)
{
    const LinkFault& fault = GetParam();
    SimulatorProcess sim(wordsOf(fault.simulator));
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    char command[128];
    std::snprintf(command, sizeof command, fault.command, sim.portName().c_str());
    const CliRun run = runZorvik(command);
    EXPECT_EQ(fault.exitCode, run.exitCode) << run.err;
    EXPECT_EQ(linkReasonsIn(run.err), std::vector<ZORVI::LinkFailure>{fault.reason}) << run.err;
    if (ZORVI::isEchoFailure(fault.reason)) {
        EXPECT_FALSE(contains(run.err, reasonOf(Outcome::NoDevice))) << run.err;
        EXPECT_FALSE(contains(run.err, reasonOf(Outcome::HandshakeRefused))) << run.err;
        EXPECT_FALSE(contains(run.err, "the device on")) << run.err;
    }
    EXPECT_FALSE(contains(run.out, "successfully stored")) << run.out;
}

INSTANTIATE_TEST_SUITE_P(FaultsAndCommands, ZorvikLinkFault, ::testing::ValuesIn(LINK_FAULTS),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ZorvikHelp, DocumentsTheExitCodesOfLinkFaults)
{
    const CliRun help = runZorvik("--help");
    EXPECT_TRUE(contains(help.out, "also after the probe")) << help.out;
    EXPECT_TRUE(contains(help.out, "trace that lost lines")) << help.out;
}

// ---- settings files: save, load, diff, reset --------------------------------

namespace {

// Requests to write parameters (command 4) the simulator has logged.
size_t writeRequestCount(const SimulatorProcess& sim)
{
    size_t count = 0;
    for (const std::string& line : sim.logLines("request"))
        count += field(line, "cmd") == "4" ? 1 : 0;
    return count;
}

std::string contentsOf(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The simulator keeping its parameters in a state file of the test's folder.
struct SimulatorWithState {
    explicit SimulatorWithState(const std::vector<std::string>& arguments = {},
                                const std::string& initialState = std::string())
        : statePath(folder.file("state"))
    {
        if (!initialState.empty())
            folder.write("state", initialState);
        std::vector<std::string> all = {"--state", statePath};
        all.insert(all.end(), arguments.begin(), arguments.end());
        sim = std::make_unique<SimulatorProcess>(all);
    }
    std::string state() const { return contentsOf(statePath); }

    TempFolder folder;
    std::string statePath;
    std::unique_ptr<SimulatorProcess> sim;
};

struct UnusableFile {
    const char* what;
    const char* content; // null: no such file
    const char* said;    // on standard output or error
};

const UnusableFile UNUSABLE_FILES[] = {
    {"no such file", nullptr, "There is no such file."},
    {"line without =", "# mine\nStickDeadband 9\n", "line 2"},
    {"unknown name", "StickDeadband = 9\nStickDeadbands = 9\n", "line 2"},
    {"name given twice", "StickDeadband = 9\nHeadingLockGain = 60\nStickDeadband = 3\n",
     "line 3"},
    {"value not a number", "StickDeadband = nine\n", "line 1"},
    {"value outside the limits", "StickDeadband = 30\nHeadingLockGain = 101\n",
     "StickDeadband=30 refused: allowed are 0 to 25"},
    {"uneven swash angles", "SwashServo2Angle = 100\n",
     "the swash plate entries would form no geometry"},
    {"other hardware major", "# hardware 9.2, application 3.1.7, data 1.2\nStickDeadband = 9\n",
     "saved from hardware 9.2"},
};

} // namespace

// Every file that cannot be used, or that this device cannot take, ends
// `load --yes` with exit 1, says why, and sends no write.
TEST(ZorvikSettings, UnusableFilesWriteNothing)
{
    SimulatorProcess sim;
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    TempFolder folder;
    for (const UnusableFile& row : UNUSABLE_FILES) {
        SCOPED_TRACE(row.what);
        const std::string path =
            row.content ? folder.write("settings.zset", row.content) : folder.file("none.zset");
        const CliRun run = runZorvik("load " + sim.portName() + " " + path + " --yes");
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_TRUE(contains(run.out + run.err, row.said)) << run.out << run.err;
        EXPECT_TRUE(contains(run.err, "nothing written")) << run.err;
        EXPECT_EQ(writeRequestCount(sim), 0u);
    }
}

// A settings file's text never acts on the terminal: a device line holding
// an escape sequence that clears the screen and draws a preview and a
// question of its own, a value holding one, and a file whose name holds
// one reach the terminal escaped ("\x1b"), and the file is named once.
TEST(ZorvikSettings, FileTextReachesTheTerminalEscaped)
{
    SimulatorProcess sim;
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    TempFolder folder;
    // The cursor moves to the start of each line of a forged preview.
    const std::string forgedPreview = "\x1b[2J\x1b[HNAME CURRENT NEW\x1b[2;1HPitchBoost 0 1"
                                      "\x1b[4;1HApply this change to the device? [y/N] ";
    const struct {
        const char* what;
        std::string name;
        std::string content;
        std::string shown; // escaped, on standard error
    } files[] = {
        {"serial line", "serial.zset",
         "# ZORVIK settings\n# serial " + forgedPreview + "\nStickDeadband = 9\n",
         "\\x1b[2J\\x1b[HNAME CURRENT NEW\\x1b[2;1HPitchBoost 0 1\\x1b[4;1HApply"},
        {"value", "value.zset", "StickDeadband = 9\x1b[2J\n", "\"9\\x1b[2J\""},
        {"file name", "heli\x1b[2J\x07.zset", "StickDeadband = nine\n", "heli\\x1b[2J\\x07.zset"},
    };
    for (const auto& file : files) {
        const std::string path = folder.write(file.name, file.content);
        for (const auto& [command, option] : {std::pair<std::string, std::string>{"diff", ""},
                                              {"load", " --dry-run"}}) {
            SCOPED_TRACE(std::string(file.what) + ", " + command);
            const CliRun run =
                runZorvik(command + " " + sim.portName() + " '" + path + "'" + option);
            EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
            EXPECT_EQ((run.out + run.err).find('\x1b'), std::string::npos) << run.out << run.err;
            EXPECT_TRUE(contains(run.err, file.shown)) << run.err;
            const std::string shownFolder = folder.path().string();
            EXPECT_EQ(run.err.find(shownFolder), run.err.rfind(shownFolder))
                << "the file is named once: " << run.err;
            EXPECT_TRUE(contains(run.err, "nothing written")) << run.err;
        }
    }
    EXPECT_EQ(writeRequestCount(sim), 0u);
}

// Save, change, then compare, preview, refuse without a terminal and load:
// the device's state ends byte for byte as it was saved, by one write.
TEST(ZorvikSettings, SavedSettingsLoadBackExactly)
{
    SimulatorWithState device;
    ASSERT_TRUE(device.sim->isRunning()) << device.sim->error();
    const std::string port = device.sim->portName();
    const std::string file = device.folder.file("heli.zset");
    const std::string saved = device.state();

    const CliRun save = runZorvik("save " + port + " " + file);
    ASSERT_EQ(save.exitCode, 0) << save.err;
    EXPECT_TRUE(contains(save.out, "saved to ")) << save.out;
    EXPECT_TRUE(contains(contentsOf(file), "StickDeadband = 2\n"));
    ASSERT_EQ(runZorvik("set " + port + " StickDeadband=9 RevoMixCyclic=-40").exitCode, 0);
    ASSERT_NE(device.state(), saved);
    const size_t writesBefore = writeRequestCount(*device.sim);

    const CliRun diff = runZorvik("diff " + port + " " + file);
    EXPECT_EQ(diff.exitCode, 0) << diff.err;
    EXPECT_TRUE(contains(diff.out, "StickDeadband                 9        2")) << diff.out;
    EXPECT_TRUE(contains(diff.out, "RevoMixCyclic               -40        0")) << diff.out;
    const CliRun dryRun = runZorvik("load " + port + " " + file + " --dry-run");
    EXPECT_EQ(dryRun.exitCode, 0) << dryRun.err;
    EXPECT_EQ(dryRun.out.substr(0, dryRun.out.rfind("Dry run")), diff.out);
    const CliRun unattended = runZorvik("load " + port + " " + file + " </dev/null");
    EXPECT_EQ(unattended.exitCode, 1);
    EXPECT_TRUE(contains(unattended.err, "--yes")) << unattended.err;
    EXPECT_EQ(writeRequestCount(*device.sim), writesBefore) << "diff, preview and refusal";

    const CliRun load = runZorvik("load " + port + " " + file + " --yes");
    EXPECT_EQ(load.exitCode, 0) << load.err;
    EXPECT_TRUE(contains(load.out, "Settings loaded and verified (2 written).")) << load.out;
    EXPECT_EQ(writeRequestCount(*device.sim), writesBefore + 1);
    EXPECT_EQ(device.state(), saved);
    const CliRun same = runZorvik("diff " + port + " " + file);
    EXPECT_EQ(same.exitCode, 0);
    EXPECT_TRUE(contains(same.out, "No setting would change")) << same.out;
}

TEST(ZorvikSettings, ResetRestoresEveryDefault)
{
    SimulatorWithState factory;
    ASSERT_TRUE(factory.sim->isRunning()) << factory.sim->error();
    SimulatorWithState device({}, "0x109C 9\n0x1158 20\n0x1174 -1\n0x1064 1000\n");
    ASSERT_TRUE(device.sim->isRunning()) << device.sim->error();
    ASSERT_NE(device.state(), factory.state());

    const CliRun reset = runZorvik("reset " + device.sim->portName() + " --yes");
    EXPECT_EQ(reset.exitCode, 0) << reset.err;
    EXPECT_TRUE(contains(reset.out, "TorqueDirection              -1        1")) << reset.out;
    EXPECT_TRUE(contains(reset.out, "Factory settings loaded and verified (4 written)."))
        << reset.out;
    EXPECT_EQ(device.state(), factory.state());
}

// A device that acknowledges the write but stores other values: the
// read-back names each setting, and the exit code says the device failed.
TEST(ZorvikSettings, ReadBackMismatchIsNamed)
{
    SimulatorProcess sim({"--alter-writes"});
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    TempFolder folder;
    const std::string file = folder.write("heli.zset", "StickDeadband = 9\nTailAsymmetry = 100\n");

    const CliRun load = runZorvik("load " + sim.portName() + " " + file + " --yes");

    EXPECT_EQ(load.exitCode, 2) << load.out << load.err;
    EXPECT_TRUE(contains(load.err, "StickDeadband: written 9, holds 10")) << load.err;
    EXPECT_TRUE(contains(load.err, "TailAsymmetry: written 100, holds 99")) << load.err;
    EXPECT_FALSE(contains(load.out, "verified")) << load.out;
}

// A frame rate the tail servo's pulse does not allow is stored lowered, as
// the settings window stores it: the preview marks the row and says why,
// and notes where the file came from.
TEST(ZorvikSettings, PreviewMarksAndExplainsCorrections)
{
    SimulatorProcess sim;
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    TempFolder folder;
    const std::string file =
        folder.write("heli.zset", "# hardware 8.2, application 3.1.7, data 1.3\n"
                                  "TailServoFrequencyID = 5\nPitchBoost = 10\n");

    const CliRun preview = runZorvik("load " + sim.portName() + " " + file + " --dry-run");

    EXPECT_EQ(preview.exitCode, 0) << preview.err;
    EXPECT_TRUE(contains(preview.out, "TailServoFrequencyID          1        4 *\n"
                                      "PitchBoost                    0       10\n"))
        << preview.out;
    EXPECT_TRUE(contains(preview.out, "* TailServoFrequencyID=5 (560 Hz) is too fast for a centre "
                                      "pulse of 1520 us (at most 396 Hz): the rules store "
                                      "TailServoFrequencyID=4 (333 Hz) instead"))
        << preview.out;
    EXPECT_TRUE(contains(preview.out, "saved under data version 1.3")) << preview.out;
    EXPECT_EQ(writeRequestCount(sim), 0u);
}

// On a terminal, `load` asks before writing and writes only on a yes. The
// answer is typed ahead into the terminal zorvik reads as standard input.
TEST(ZorvikSettings, OnATerminalOnlyAYesWrites)
{
    SimulatorProcess sim;
    ASSERT_TRUE(sim.isRunning()) << sim.error();
    TempFolder folder;
    const std::string file = folder.write("heli.zset", "StickDeadband = 9\nPitchBoost = 10\n");
    const struct {
        const char* typed;
        int exitCode;
        size_t writes; // so far
    } answers[] = {{"n\n", 1, 0}, {"\n", 1, 0}, {"y\n", 0, 1}};
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer.typed);
        PtyPair terminal;
        ASSERT_TRUE(terminal.isOpen());
        const std::string typed = answer.typed;
        ASSERT_TRUE(terminal.writeMaster(std::vector<uint8_t>(typed.begin(), typed.end())));
        const CliRun run =
            runZorvik("load " + sim.portName() + " " + file + " <" + terminal.slavePath());
        EXPECT_EQ(run.exitCode, answer.exitCode) << run.out << run.err;
        EXPECT_TRUE(contains(run.out, "Apply these 2 changes to the device on " + sim.portName()
                                          + "? [y/N]"))
            << run.out;
        EXPECT_EQ(writeRequestCount(sim), answer.writes);
    }
}

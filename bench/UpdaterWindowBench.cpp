// The firmware transfer of the largest update file through the two front
// ends, each into its own device simulator paced at 115200 baud: `zorvik
// update --yes` as a child process on a terminal, and the updater window in
// this process with its start pressed and its boxes answered as a user
// would. Under a
// virtual X server the window's repaints cost display round trips, which is
// what this measures:
//
//   xvfb-run -a updater_window_bench [runs=3]
//
// Both spans run from "Update in progress..." to "Waiting for Device": the
// controller's transfer, which starts with the mode request and its fixed
// 400 ms pause (left out of the figures). The bound is the simulator's side
// of the line for the frames it logged in that span: the echo of every mode
// request and record, and every answer to them, at ten bit times a byte.

#include "BenchFigures.h"
#include "ChildLaunch.h"
#include "Control.h"
#include "LineTime.h"
#include "MaximumUpdateImage.h"
#include "ModalBoxAnswerer.h"
#include "Packet.h"
#include "Protocol.h"
#include "PtyPair.h"
#include "SimulatorProcess.h"
#include "WindowChild.h"
#include "ZORVIKUpdater.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using ZORVI::Control;
using ZORVI::ZORVIKUpdater;
using ZORVI::Communication::Packet;
using ZORVI::Testing::SimulatorProcess;
namespace Protocol = ZORVI::Protocol;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double MODE_SETTLE_SECONDS = Control::MODE_SETTLE_MS / 1000.0;
constexpr uint8_t ENTRY_ADDRESS = Packet::ADDRESS_FIRMWARE;
constexpr uint8_t TARGET_ADDRESS = Packet::ADDRESS_RECOVERY;
// A whole run: the queries, the transfer, the 2 s restart wait, the query
// after it.
constexpr int RUN_TIMEOUT_MS = 120000;
const char* const TRANSFER_BEGINS = "Update in progress...";
const char* const TRANSFER_ENDS = "Waiting for Device";

struct Transfer {
    double seconds = -1; // without the fixed pause
    double bound = -1;
};

std::vector<std::string> simulatorArguments()
{
    return {"--paced", "--mode-target", std::to_string(TARGET_ADDRESS)};
}

// The echo of every mode request and record and the answers to them, as the
// simulator logged them; an answer comes from the address its request went
// to.
uint64_t transferLineBytes(const SimulatorProcess& sim)
{
    uint64_t bytes = 0;
    int32_t answering = TARGET_ADDRESS;
    for (const std::string& line : sim.logLines()) {
        const bool request = line.rfind("request ", 0) == 0;
        if (!request && line.rfind("answer cmd=", 0) != 0)
            continue;
        const int command = std::stoi(LineTime::logField(line, "cmd"));
        if (command != Protocol::COMMAND_MODE && command != Protocol::COMMAND_RECORD)
            continue;
        const std::vector<uint8_t> payload =
            LineTime::fromLogHex(LineTime::logField(line, "payload"));
        if (request) {
            answering = std::stoi(LineTime::logField(line, "dst"));
            bytes += LineTime::frameBytes(answering, std::stoi(LineTime::logField(line, "src")),
                                          static_cast<uint8_t>(command), payload);
        } else {
            bytes += LineTime::frameBytes(Packet::ADDRESS_HOST, answering,
                                          static_cast<uint8_t>(command), payload);
        }
    }
    return bytes;
}

double secondsBetween(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double>(end - start).count() - MODE_SETTLE_SECONDS;
}

// What zorvik writes to its terminal, read as it comes.
class TerminalOutput {
public:
    explicit TerminalOutput(int master)
        : m_master(master)
    {
    }

    // Reads until the text has come; false when it does not within timeoutMs.
    bool waitFor(const std::string& text, int timeoutMs)
    {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_text.find(text) == std::string::npos) {
            pollfd readable{m_master, POLLIN, 0};
            if (poll(&readable, 1, ChildLaunch::millisecondsLeft(deadline)) <= 0)
                return false;
            char chunk[4096];
            const ssize_t count = ::read(m_master, chunk, sizeof chunk);
            if (count > 0)
                m_text.append(chunk, static_cast<size_t>(count));
            else if (count == 0 || (errno != EAGAIN && errno != EINTR))
                return false;
        }
        return true;
    }

    const std::string& text() const { return m_text; }

private:
    int m_master;
    std::string m_text;
};

// On a terminal, as a user runs it: the progress bar is redrawn for every
// record.
Transfer throughCommandLine(const std::string& path)
{
    Transfer transfer;
    SimulatorProcess sim(simulatorArguments());
    if (!sim.isRunning()) {
        std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
        return transfer;
    }
    PtyPair terminal;
    if (!terminal.isOpen()) {
        std::fprintf(stderr, "no pseudo-terminal for zorvik\n");
        return transfer;
    }
    ChildLaunch launch;
    launch.arguments = {"update", sim.portName(), path, "--yes"};
    launch.output = launch.errors = terminal.slave();
    std::string error;
    const pid_t pid = launch.start(ZORVIK_CLI_PATH, error);
    if (pid < 0) {
        std::fprintf(stderr, "zorvik: %s\n", error.c_str());
        return transfer;
    }
    TerminalOutput output(terminal.master());
    const bool begun = output.waitFor(TRANSFER_BEGINS, RUN_TIMEOUT_MS);
    const Clock::time_point start = Clock::now();
    const bool ended = begun && output.waitFor(TRANSFER_ENDS, RUN_TIMEOUT_MS);
    const Clock::time_point end = Clock::now();
    // The outcome, the device after its restart and the update record follow.
    const bool recorded = ended && output.waitFor("Recorded in", RUN_TIMEOUT_MS);
    int status = 0;
    if (!ChildLaunch::waitForExit(pid, RUN_TIMEOUT_MS, status)) {
        kill(pid, SIGKILL);
        ChildLaunch::waitForExit(pid, RUN_TIMEOUT_MS, status);
        status = -1;
    }
    if (!recorded || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "zorvik update failed:\n%s\n", output.text().c_str());
        return transfer;
    }
    transfer.seconds = secondsBetween(start, end);
    transfer.bound = LineTime::seconds(transferLineBytes(sim));
    return transfer;
}

Transfer throughWindow(const std::string& path)
{
    Transfer transfer;
    SimulatorProcess sim(simulatorArguments());
    if (!sim.isRunning()) {
        std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
        return transfer;
    }
    ZORVIKUpdater window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was not shown\n");
        return transfer;
    }
    window.setUpdateFile(QString::fromStdString(path));
    ModalBoxAnswerer answerer(&window);
    answerer.plan({QMessageBox::Yes, QMessageBox::Ok});
    if (!window.preselectPort(QString::fromStdString(sim.portName()))) {
        std::fprintf(stderr, "the window does not list %s\n", sim.portName().c_str());
        return transfer;
    }
    Clock::time_point start{};
    Clock::time_point end{};
    QObject::connect(window.statusBar(), &QStatusBar::messageChanged, &window,
                     [&](const QString& message) {
                         if (message == TRANSFER_BEGINS)
                             start = Clock::now();
                         else if (message == TRANSFER_ENDS)
                             end = Clock::now();
                     });
    child<QPushButton>(window, "m_btnUpdate")->click();
    const QString outcome = answerer.seen().isEmpty() ? QString() : answerer.seen().last().text;
    if (start == Clock::time_point{} || end == Clock::time_point{}
        || outcome != "Device updated successfully.") {
        std::fprintf(stderr, "the window's run did not succeed: %s\n", qPrintable(outcome));
        return transfer;
    }
    transfer.seconds = secondsBetween(start, end);
    transfer.bound = LineTime::seconds(transferLineBytes(sim));
    return transfer;
}

void printRun(int run, const char* frontEnd, const Transfer& transfer)
{
    std::printf("run %d: %-6s %.3f s without the pause, bound %.3f s (%.3fx)\n", run, frontEnd,
                transfer.seconds, transfer.bound, transfer.seconds / transfer.bound);
}

} // namespace

int main(int argc, char** argv)
{
    ZORVI::ZORVIKUpdater::paintWithoutWaitingForTheDisplay();
    QApplication application(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    if (runs < 1) {
        std::fprintf(stderr, "usage: updater_window_bench [runs]\n");
        return 2;
    }
    // The update records of the runs stay out of the user's.
    QTemporaryDir folder;
    qputenv("XDG_STATE_HOME", QFile::encodeName(folder.filePath("state")));
    const std::string path = folder.filePath("maximum.upd").toStdString();
    const MaximumUpdateImage image(ENTRY_ADDRESS, TARGET_ADDRESS);
    if (!folder.isValid() || !image.writeHexFile(path)) {
        std::fprintf(stderr, "cannot write the update file\n");
        return 1;
    }
    BenchFigures::printLoad("before");

    BenchFigures cliOver(false);
    BenchFigures windowOver(false);
    BenchFigures windowToCli(false);
    for (int run = 1; run <= runs; ++run) {
        const Transfer cli = throughCommandLine(path);
        const Transfer window = cli.seconds > 0 ? throughWindow(path) : Transfer();
        if (cli.seconds <= 0 || window.seconds <= 0)
            return 1;
        printRun(run, "zorvik", cli);
        printRun(run, "window", window);
        cliOver.add(cli.seconds / cli.bound);
        windowOver.add(window.seconds / window.bound);
        windowToCli.add(window.seconds / cli.seconds);
    }
    BenchFigures::printLoad("after");
    std::printf("zorvik over the line bound: best %.3fx, median %.3fx (%zu runs)\n",
                cliOver.best(), cliOver.median(), cliOver.count());
    std::printf("window over the line bound: best %.3fx, median %.3fx\n", windowOver.best(),
                windowOver.median());
    std::printf("window over zorvik (same run): best %.3fx, median %.3fx\n", windowToCli.best(),
                windowToCli.median());
    return 0;
}

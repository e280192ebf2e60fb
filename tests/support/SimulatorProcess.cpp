#include "SimulatorProcess.h"

#include "ChildLaunch.h"
#include "PrivateRuntimeDir.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ZORVI {
namespace Testing {

namespace {

using Clock = std::chrono::steady_clock;

bool hasOption(const std::vector<std::string>& arguments, const std::string& name)
{
    for (const std::string& argument : arguments) {
        if (argument == name || argument.rfind(name + "=", 0) == 0)
            return true;
    }
    return false;
}

std::string optionValue(const std::vector<std::string>& arguments, const std::string& name)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == name && i + 1 < arguments.size())
            return arguments[i + 1];
        if (arguments[i].rfind(name + "=", 0) == 0)
            return arguments[i].substr(name.size() + 1);
    }
    return std::string();
}

} // namespace

std::string SimulatorProcess::simulatorPath()
{
    return ZORVIK_SIM_PATH;
}

SimulatorProcess::SimulatorProcess(const std::vector<std::string>& extraArguments,
                                   const std::string& runtimeDirectory, int startTimeoutMs)
{
    if (runtimeDirectory.empty()) {
        m_ownRuntimeDirectory = std::make_unique<PrivateRuntimeDir>();
        if (!m_ownRuntimeDirectory->isReady()) {
            m_error = "no private runtime directory";
            return;
        }
        m_runtimeDirectory = m_ownRuntimeDirectory->path();
    } else {
        if (const char* previous = std::getenv("XDG_RUNTIME_DIR")) {
            m_hadPreviousRuntimeDirectory = true;
            m_previousRuntimeDirectory = previous;
        }
        m_runtimeDirectory = runtimeDirectory;
        setenv("XDG_RUNTIME_DIR", m_runtimeDirectory.c_str(), 1);
    }

    std::vector<std::string> arguments = extraArguments;
    std::string name = optionValue(arguments, "--name");
    if (name.empty()) {
        name = PrivateRuntimeDir::uniquePortName("ttySIM");
        arguments.insert(arguments.end(), {"--name", name});
    }
    m_logPath = optionValue(arguments, "--log");
    if (!hasOption(arguments, "--log")) {
        m_logPath = m_runtimeDirectory + "/zorvik-sim-" + name + ".log";
        arguments.insert(arguments.end(), {"--log", m_logPath});
    }
    // Should this process die without its destructors, the simulator
    // still ends and takes its port map entry with it.
    if (!hasOption(arguments, "--watch-pid"))
        arguments.insert(arguments.end(), {"--watch-pid", std::to_string(getpid())});
    if (spawn(arguments))
        readPortName(startTimeoutMs);
}

SimulatorProcess::~SimulatorProcess()
{
    stop();
    if (m_stdout >= 0)
        close(m_stdout);
    if (!m_ownRuntimeDirectory) {
        PrivateRuntimeDir::restoreVariable(m_hadPreviousRuntimeDirectory,
                                           m_previousRuntimeDirectory);
    }
    // An own runtime directory restores the variable and goes away here.
    m_ownRuntimeDirectory.reset();
}

bool SimulatorProcess::spawn(const std::vector<std::string>& arguments)
{
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0) {
        m_error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    ChildLaunch launch;
    launch.arguments = arguments;
    launch.output = output[1];
    m_pid = launch.start(simulatorPath(), m_error);
    close(output[1]);
    m_stdout = output[0];
    return m_pid > 0;
}

bool SimulatorProcess::readPortName(int timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    for (;;) {
        const size_t newline = line.find('\n');
        if (newline != std::string::npos) {
            m_portName = line.substr(0, newline);
            return !m_portName.empty();
        }
        pollfd readable{m_stdout, POLLIN, 0};
        const int ready = poll(&readable, 1, ChildLaunch::millisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            m_error = "the simulator printed no port name in time";
            return false;
        }
        char chunk[256];
        const ssize_t count = read(m_stdout, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            m_error = "the simulator ended before it printed its port name";
            return false;
        }
        line.append(chunk, static_cast<size_t>(count));
    }
}

std::vector<std::string> SimulatorProcess::logLines(const std::string& prefix) const
{
    std::vector<std::string> lines;
    std::ifstream in(m_logPath);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(line);
    }
    return lines;
}

int SimulatorProcess::stop(int timeoutMs)
{
    if (m_pid <= 0)
        return m_exitStatus;
    int status = 0;
    kill(m_pid, SIGTERM);
    if (!ChildLaunch::waitForExit(m_pid, timeoutMs, status)) {
        kill(m_pid, SIGKILL);
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    m_pid = -1;
    m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m_exitStatus;
}

} // namespace Testing
} // namespace ZORVI

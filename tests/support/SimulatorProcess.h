#pragma once

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class PrivateRuntimeDir;

namespace ZORVI {
namespace Testing {

// Runs the device simulator (zorvik-sim) as a child process for a test:
// with a private XDG_RUNTIME_DIR, so that its port map entry meets no
// other test's, and with a transaction log in that directory. The test
// process gets the same XDG_RUNTIME_DIR in its environment for as long as
// the object lives, so the code under test finds the port by name.
//
//   ZORVI::Testing::SimulatorProcess sim({"--info-24"});
//   ASSERT_TRUE(sim.isRunning()) << sim.error();
//   control.testInterface(sim.portName().c_str(), &echo);
//   ... sim.logLines("request") ...
//
// The destructor stops the simulator (SIGTERM, then waits for it).
class SimulatorProcess {
public:
    // extraArguments go to the simulator as they are; a --name among them
    // is used, otherwise the simulator gets a port name of its own. With an
    // empty runtimeDirectory a fresh one is made (and removed at the end);
    // pass another simulator's runtimeDirectory() to share its port map.
    explicit SimulatorProcess(const std::vector<std::string>& extraArguments = {},
                              const std::string& runtimeDirectory = std::string(),
                              int startTimeoutMs = 10000);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // True once the simulator printed its port name (the port is usable).
    bool isRunning() const { return m_pid > 0 && !m_portName.empty(); }
    // Why starting failed.
    const std::string& error() const { return m_error; }

    const std::string& portName() const { return m_portName; }
    const std::string& runtimeDirectory() const { return m_runtimeDirectory; }
    const std::string& logPath() const { return m_logPath; }
    pid_t pid() const { return m_pid; }

    // The transaction log as it is now, optionally only the lines that start
    // with `prefix` (for example "request" or "answer").
    std::vector<std::string> logLines(const std::string& prefix = std::string()) const;

    // Stops the simulator: SIGTERM, then up to timeoutMs for it to end
    // (SIGKILL after that). Returns its exit status, or -1 when it did not
    // exit normally. Further calls return the first result.
    int stop(int timeoutMs = 5000);

    // The simulator binary this build made.
    static std::string simulatorPath();

private:
    bool spawn(const std::vector<std::string>& arguments);
    bool readPortName(int timeoutMs);

    std::unique_ptr<PrivateRuntimeDir> m_ownRuntimeDirectory;
    std::string m_runtimeDirectory;
    std::string m_previousRuntimeDirectory;
    bool m_hadPreviousRuntimeDirectory = false;
    std::string m_logPath;
    std::string m_portName;
    std::string m_error;
    pid_t m_pid = -1;
    int m_stdout = -1;
    int m_exitStatus = -1;
};

} // namespace Testing
} // namespace ZORVI

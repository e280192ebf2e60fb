// zorvik-sim: a KORLINK adapter with a ZORVIK device behind it, on a
// pseudo-terminal entered in the port map, for work without the hardware.

#include "DeviceSimulator.h"
#include "ParameterTable.h"
#include "PortClaim.h"
#include "PortMap.h"
#include "ProcessWatch.h"
#include "PtyEndpoint.h"
#include "SimulatorOptions.h"
#include "SimulatorSetup.h"
#include "TerminationSignals.h"
#include "TransactionLog.h"
#include "ZorvikVersion.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>

using namespace ZORVI::Simulator;
using ZORVI::Communication::Serial::PortClaim;
using ZORVI::Communication::Serial::PortMap;

namespace {

constexpr size_t READ_CHUNK = 4096;

int fail(const std::string& message)
{
    std::fprintf(stderr, "zorvik-sim: %s\n", message.c_str());
    return 1;
}

using Clock = DeviceSimulator::Clock;

// Milliseconds until the earlier of the device's next deadline and the next
// look at the port's exclusive mark, rounded up so that the loop never
// wakes just before it.
int pollTimeout(const DeviceSimulator& device, Clock::time_point exclusivityCheck)
{
    const auto deadline = device.nextDeadline();
    const Clock::time_point wake =
        deadline ? std::min<Clock::time_point>(*deadline, exclusivityCheck) : exclusivityCheck;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// A host program that was killed leaves the port marked exclusive; the
// mark is cleared within one check interval.
void checkExclusivity(PtyEndpoint& pty, Clock::time_point& nextCheck)
{
    const Clock::time_point now = Clock::now();
    if (now < nextCheck)
        return;
    pty.clearAbandonedExclusivity();
    nextCheck = now + std::chrono::milliseconds(PtyEndpoint::ABANDONED_EXCLUSIVITY_CHECK_MS);
}

// Host bytes in, echo and answers out; the device's timers between, among
// them the answers of a slow device, which the loop sleeps until. Ends on a
// stop signal or when the watched process has ended.
int runLoop(DeviceSimulator& device, PtyEndpoint& pty, TerminationSignals& signals,
            const ProcessWatch& watch)
{
    pollfd descriptors[3] = {{pty.pollDescriptor(), POLLIN, 0},
                             {signals.pollDescriptor(), POLLIN, 0},
                             {watch.pollDescriptor(), POLLIN, 0}};
    uint8_t buffer[READ_CHUNK];
    Clock::time_point exclusivityCheck = Clock::now();
    for (;;) {
        if (poll(descriptors, 3, pollTimeout(device, exclusivityCheck)) < 0) {
            if (errno == EINTR)
                continue;
            return fail(std::string("poll: ") + std::strerror(errno));
        }
        if (descriptors[1].revents & POLLIN && signals.take() != 0)
            return 0;
        if (descriptors[2].revents & POLLIN)
            return 0;
        if (descriptors[0].revents & POLLIN) {
            const ssize_t count = pty.read(buffer, sizeof buffer);
            if (count < 0)
                return fail("reading the pseudo-terminal failed");
            // Taken as soon as the bytes are in, before they are handled: the
            // echo and the answer are due from then, not from whenever the
            // device has worked through them.
            const DeviceSimulator::TimePoint arrival = Clock::now();
            pty.write(device.receive(buffer, static_cast<size_t>(count), arrival), arrival);
        } else if (descriptors[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            // Cannot happen while the slave is held open; never spin on it.
            return fail("the pseudo-terminal hung up");
        }
        const Clock::time_point now = Clock::now();
        pty.write(device.advance(now), now);
        checkExclusivity(pty, exclusivityCheck);
    }
}

bool attachState(const SimulatorOptions& options, ParameterTable& parameters,
                 std::string& error)
{
    std::vector<std::string> warnings;
    const bool attached = SimulatorSetup::attachState(options, parameters, error, warnings);
    for (const std::string& warning : warnings)
        std::fprintf(stderr, "zorvik-sim: warning: %s\n", warning.c_str());
    return attached;
}

int badCommandLine(const std::string& error)
{
    std::fprintf(stderr, "zorvik-sim: %s\nTry 'zorvik-sim --help'.\n", error.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    SimulatorOptions options;
    std::string error;
    if (!SimulatorOptions::parse(std::vector<std::string>(argv + 1, argv + argc), options, error))
        return badCommandLine(error);
    if (options.help) {
        std::fputs(SimulatorOptions::usage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("zorvik-sim %s\n", ZORVI::Version::RELEASE);
        return 0;
    }
    // The parent may stop reading our standard output once it has the name.
    std::signal(SIGPIPE, SIG_IGN);
    // Under a file-size limit (ulimit -f) the kernel would end us in the
    // middle of a state file's write, leaving its temporary file and our
    // port map entry behind. Ignored, the write fails with EFBIG instead,
    // and the device refuses the store as on a full disk.
    std::signal(SIGXFSZ, SIG_IGN);

    // A parameter table the device cannot have is a bad command line too.
    ParameterTable parameters;
    if (!SimulatorSetup::describeParameters(options, parameters, error))
        return badCommandLine(error);

    TerminationSignals signals;
    TransactionLog log;
    PtyEndpoint pty;
    ProcessWatch watch;
    const bool ready = signals.install(error)
        && (!options.watchPid || watch.watch(static_cast<pid_t>(options.watchPid), error))
        && attachState(options, parameters, error)
        && (options.logPath.empty() || log.open(options.logPath, error)) && pty.open(error);
    if (!ready)
        return fail(error);
    pty.setPaced(options.paced);

    DeviceSimulator device(options, parameters);
    device.setLogSink([&log](const std::string& line) { log.writeLine(line); });

    // A name that is no port name is not repeated: it may hold control
    // characters.
    PortClaim claim;
    std::string problem;
    if (!claim.claim(options.portName, pty.devicePath(), problem)) {
        const std::string shown = PortMap::nameProblem(options.portName).empty()
            ? options.portName
            : std::string("the name given with --name");
        return fail("cannot enter " + shown + " in the port map (" + problem + ")");
    }
    std::printf("%s\n", options.portName.c_str());
    std::fflush(stdout);

    const int result = runLoop(device, pty, signals, watch);
    claim.release();
    return result;
}

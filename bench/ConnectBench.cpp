// Connecting to the device simulator paced at the real line rate, as the
// settings window and the parameter commands connect: the adapter's echo
// test, the device information, the handshake and the reading of every
// parameter (DeviceConnection::connect, then ParameterMemory::loadAll),
// against the least time the line and the device need for the same frames.
//
//   connect_bench [runs=7] [answer-delay-ms...]
//
// For each answer delay (default 0 and 300 ms: a slow device) the simulator
// is started anew with it. The bound is the simulator's side of the line
// (the echo of the interface probe and of every request, and every answer,
// at ten bit times per byte) plus the device's delay before each answer.

#include "BenchFigures.h"
#include "Control.h"
#include "DeviceConnection.h"
#include "LineTime.h"
#include "ParameterMemory.h"
#include "SimulatorProcess.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using ZORVI::Control;
using ZORVI::DeviceConnection;
using ZORVI::EEPROM::ParameterMemory;
using ZORVI::Testing::SimulatorProcess;

namespace {

struct Run {
    double seconds = -1;
    double bound = -1;
    size_t requests = 0;
};

Run connectOnce(const SimulatorProcess& sim, int answerDelayMs)
{
    Run run;
    Control control;
    ParameterMemory memory(&control, false, ParameterMemory::DEFAULT_ID_RUN,
                           ParameterMemory::DEFAULT_ADDRESS_RUN);
    const size_t logBefore = sim.logLines().size();
    const auto start = std::chrono::steady_clock::now();
    const DeviceConnection::Result result = DeviceConnection::connect(control, sim.portName().c_str());
    const bool read = result.outcome == DeviceConnection::Outcome::Connected && memory.loadAll();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    control.close();
    if (!read) {
        std::fprintf(stderr, "the connect failed: %s\n",
                     DeviceConnection::sentence(result).c_str());
        return run;
    }
    run.seconds = elapsed.count();
    const uint64_t bytes = sizeof Control::INTERFACE_PROBE
        + LineTime::logBytes(sim.logLines(), logBefore, &run.requests);
    run.bound = LineTime::seconds(bytes) + run.requests * answerDelayMs / 1000.0;
    return run;
}

bool measure(int runs, int answerDelayMs)
{
    SimulatorProcess sim({"--paced", "--answer-delay", std::to_string(answerDelayMs)});
    if (!sim.isRunning()) {
        std::fprintf(stderr, "cannot start the simulator: %s\n", sim.error().c_str());
        return false;
    }
    BenchFigures times(false);
    BenchFigures over(false);
    Run last;
    for (int i = 0; i < runs; ++i) {
        last = connectOnce(sim, answerDelayMs);
        if (last.seconds < 0)
            return false;
        times.add(last.seconds * 1000);
        over.add(100 * (last.seconds / last.bound - 1));
    }
    std::printf("answer delay %d ms: %zu requests, best %.1f ms, median %.1f ms; bound %.1f ms; "
                "over it: best %+.1f%%, median %+.1f%% (%d runs)\n",
                answerDelayMs, last.requests, times.best(), times.median(), last.bound * 1000,
                over.best(), over.median(), runs);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    std::vector<int> delays;
    for (int i = 2; i < argc; ++i)
        delays.push_back(std::atoi(argv[i]));
    if (delays.empty())
        delays = {0, 300};
    if (runs < 1) {
        std::fprintf(stderr, "usage: connect_bench [runs] [answer-delay-ms...]\n");
        return 2;
    }
    BenchFigures::printLoad("before");
    for (int delay : delays)
        if (!measure(runs, delay))
            return 1;
    BenchFigures::printLoad("after");
    return 0;
}

// Handshake transactions per second against the device simulator over a
// pseudo-terminal, unpaced and paced at the real line rate, the time the
// interface check (open, probe, echo) takes, and the CPU time that a read
// costs while it waits 2.5 s for nothing.
//
//   handshake_bench [transactions] [runs]
//
// The limit of the paced line is set by the simulator's side, which carries
// the echo of each request and then the answer: the bytes of both frames as
// the simulator logged them (an answer whose counter or CRC has to be
// stuffed is a byte longer) at ten bit times each.

#include "BenchFigures.h"
#include "Control.h"
#include "LineTime.h"
#include "Packet.h"
#include "Protocol.h"
#include "SerialWin.h"
#include "SimulatorProcess.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using ZORVI::Communication::Packet;
using ZORVI::Testing::SimulatorProcess;
namespace Protocol = ZORVI::Protocol;

namespace {

struct Run {
    double rate = -1;  // transactions per second; negative on failure
    double limit = -1; // what the paced line allows for the same frames
};

// The simulator's side of the line for these transactions: every request
// echoed and every answer, from the simulator's log.
uint64_t receiveLineBytes(const SimulatorProcess& sim, uint32_t request)
{
    const std::string marker =
        "answer cmd=" + std::to_string(Protocol::COMMAND_HANDSHAKE) + " payload=";
    uint64_t bytes = 0;
    for (const std::string& line : sim.logLines(marker)) {
        const std::vector<uint8_t> answer = LineTime::fromLogHex(line.substr(marker.size()));
        bytes += request
            + LineTime::frameBytes(Packet::ADDRESS_HOST, Packet::ADDRESS_FIRMWARE,
                                   Protocol::COMMAND_HANDSHAKE, answer);
    }
    return bytes;
}

Run measureHandshakes(bool paced, int transactions, uint32_t request)
{
    Run run;
    std::vector<std::string> args = {"--token", "1234"};
    if (paced)
        args.push_back("--paced");
    SimulatorProcess sim(args);
    if (!sim.isRunning()) {
        std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
        return run;
    }
    ZORVI::Control control;
    if (!control.testInterface(sim.portName().c_str()))
        return run;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < transactions; ++i) {
        if (!control.handshake(0x12, 0x34)) {
            std::fprintf(stderr, "handshake %d failed\n", i);
            return run;
        }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    run.rate = transactions / elapsed.count();
    const uint64_t lineBytes = receiveLineBytes(sim, request);
    if (lineBytes > 0)
        run.limit = transactions / LineTime::seconds(lineBytes);
    return run;
}

void measureIdleRead()
{
    SimulatorProcess sim({"--no-answer"});
    ZORVI::Communication::Serial::SerialWin port;
    if (!sim.isRunning() || !port.open(sim.portName().c_str(), 1)) {
        std::fprintf(stderr, "cannot open the simulator's port\n");
        return;
    }
    const double cpuBefore = BenchFigures::processCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<Packet> nothing(port.receivePacket());
    const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
    std::printf("idle read: waited %.0f ms for a frame, CPU %.2f ms\n", waited.count() * 1000,
                (BenchFigures::processCpuSeconds() - cpuBefore) * 1000);
}

// Every program checks the interface before its first request; the check
// ends once the probe's echo is in, not after the read interval of silence.
void measureInterfaceCheck(int checks)
{
    SimulatorProcess sim;
    if (!sim.isRunning()) {
        std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
        return;
    }
    ZORVI::Control control;
    BenchFigures milliseconds(false);
    for (int i = 0; i < checks; ++i) {
        bool echo = false;
        const auto start = std::chrono::steady_clock::now();
        if (!control.testInterface(sim.portName().c_str(), &echo) || !echo) {
            std::fprintf(stderr, "interface check %d failed\n", i);
            return;
        }
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        milliseconds.add(took.count());
    }
    std::printf("interface check (open, probe, echo): best %.2f ms, median %.2f ms (%d checks)\n",
                milliseconds.best(), milliseconds.median(), checks);
}

} // namespace

int main(int argc, char** argv)
{
    const int transactions = argc > 1 ? std::atoi(argv[1]) : 500;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    if (transactions < 1 || runs < 1) {
        std::fprintf(stderr, "usage: handshake_bench [transactions] [runs]\n");
        return 2;
    }
    // Request: the marker and the inverted token 1234, with a CRC.
    const uint32_t request = LineTime::frameBytes(Packet::ADDRESS_FIRMWARE, Packet::ADDRESS_HOST,
                                                  Protocol::COMMAND_HANDSHAKE,
                                                  {Protocol::HANDSHAKE_MARKER, 0xED, 0xCB});
    BenchFigures::printLoad("before");

    BenchFigures unpaced(true);
    BenchFigures paced(true);
    BenchFigures share(true);
    double limit = 0;
    for (int run = 0; run < runs; ++run) {
        const Run fast = measureHandshakes(false, transactions, request);
        const Run line = measureHandshakes(true, transactions, request);
        if (fast.rate < 0 || line.rate < 0 || line.limit < 0)
            return 1;
        unpaced.add(fast.rate);
        paced.add(line.rate);
        share.add(line.rate / line.limit);
        limit = line.limit;
        std::printf("run %d: unpaced %.0f/s, paced %.0f/s of %.0f/s (%.1f%%)\n", run + 1,
                    fast.rate, line.rate, line.limit, 100 * line.rate / line.limit);
    }
    BenchFigures::printLoad("after");
    std::printf("handshake: request %u bytes (echoed), answer 9 or 10 bytes\n", request);
    std::printf("unpaced: best %.0f, median %.0f transactions/s\n", unpaced.best(),
                unpaced.median());
    std::printf("paced at 115200 baud: best %.0f, median %.0f transactions/s; line limit %.0f/s; "
                "best %.1f%%, median %.1f%% of it (%d runs of %d)\n",
                paced.best(), paced.median(), limit, 100 * share.best(), 100 * share.median(),
                runs, transactions);
    measureInterfaceCheck(transactions);
    measureIdleRead();
    return 0;
}

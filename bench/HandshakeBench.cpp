// Handshake transactions per second against the device simulator over a
// pseudo-terminal, unpaced and paced at the real line rate, and the CPU
// time that a read costs while it waits 2.5 s for nothing.
//
//   handshake_bench [transactions]

#include "Control.h"
#include "DeviceInfo.h"
#include "Packet.h"
#include "SerialWin.h"
#include "SimulatorProcess.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>

using ZORVI::Communication::Packet;
using ZORVI::Testing::SimulatorProcess;

namespace {

constexpr double LINE_BITS_PER_SECOND = 115200.0;
constexpr double BITS_PER_BYTE = 10.0; // start bit, 8 data bits, stop bit

uint16_t frameLength(int32_t destination, int32_t source, uint8_t command,
                     std::initializer_list<uint8_t> payload)
{
    Packet packet;
    packet.setDestination(destination);
    packet.setSource(source);
    packet.setCommand(command);
    packet.setPayload(payload.begin(), static_cast<uint16_t>(payload.size()), false);
    uint8_t* frame = nullptr;
    uint16_t length = 0;
    packet.encode(&frame, &length);
    delete[] frame;
    return length;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec
        + usage.ru_stime.tv_usec / 1e6;
}

// Returns transactions per second, or a negative number on failure.
double measureHandshakes(bool paced, int transactions)
{
    std::vector<std::string> args = {"--token", "1234"};
    if (paced)
        args.push_back("--paced");
    SimulatorProcess sim(args);
    if (!sim.isRunning()) {
        std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
        return -1;
    }
    ZORVI::Control control;
    if (!control.testInterface(sim.portName().c_str()))
        return -1;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < transactions; ++i) {
        if (!control.handshake(0x12, 0x34)) {
            std::fprintf(stderr, "handshake %d failed\n", i);
            return -1;
        }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return transactions / elapsed.count();
}

void measureIdleRead()
{
    SimulatorProcess sim({"--no-answer"});
    ZORVI::Communication::Serial::SerialWin port;
    if (!sim.isRunning() || !port.open(sim.portName().c_str(), 1)) {
        std::fprintf(stderr, "cannot open the simulator's port\n");
        return;
    }
    const double cpuBefore = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<Packet> nothing(port.receivePacket());
    const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
    std::printf("idle read: waited %.0f ms for a frame, CPU %.2f ms\n", waited.count() * 1000,
                (cpuSeconds() - cpuBefore) * 1000);
}

} // namespace

int main(int argc, char** argv)
{
    const int transactions = argc > 1 ? std::atoi(argv[1]) : 500;
    // Request: 5B, token, CRC; the echo repeats it; the answer carries 3
    // bytes and a CRC. The simulator paces the echo and the answer on the
    // receive line, which sets the limit.
    const uint16_t request = frameLength(1, 6, 11, {0x5B, 0xED, 0xCB});
    const uint16_t answer = frameLength(6, 1, 11, {0x00, 0x00, 0x00});
    const double limit = LINE_BITS_PER_SECOND / (BITS_PER_BYTE * (request + answer));

    const double unpaced = measureHandshakes(false, transactions);
    const double paced = measureHandshakes(true, transactions);
    std::printf("handshake frames: request %u bytes (echoed), answer %u bytes\n", request, answer);
    std::printf("unpaced: %.0f transactions/s\n", unpaced);
    std::printf("paced at 115200 baud: %.0f transactions/s, line limit %.0f/s (%.1f%% of it)\n",
                paced, limit, 100.0 * paced / limit);
    measureIdleRead();
    return unpaced > 0 && paced > 0 ? 0 : 1;
}

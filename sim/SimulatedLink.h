#pragma once

#include "DeviceSimulator.h"
#include "ParameterTable.h"
#include "SimulatorOptions.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ZORVI {
namespace Simulator {

// The KORLINK adapter and the simulated device behind it inside the test's
// own process: what zorvik-sim is on its pseudo-terminal, without the
// terminal, the process and the log file. Bytes the host writes go straight
// to the engine; what the engine gives back is what the host reads. Every
// frame that crosses is kept, decoded, so that a test can look at the
// requests and answers themselves.
//
// Time is the engine's only clock and follows the real one, plus whatever
// the host let pass in its waits: a wait for the device's restart or an
// answer that will never come costs nothing, and the device's own timers
// (a transfer whose records stopped, the answer of a slow device) still run
// out when they are due. What the device sends while time passes waits in
// the link until the port that holds it takes it.
class SimulatedLink {
public:
    using Bytes = std::vector<uint8_t>;
    using TimePoint = DeviceSimulator::TimePoint;

    // One frame on the wire, decoded. The adapter's echo is not kept: it is
    // the request again.
    struct Crossing {
        enum class Way { ToDevice, ToHost };
        Way way = Way::ToDevice;
        int32_t destination = 0;
        int32_t source = 0;
        uint8_t command = 0;
        Bytes payload;
        bool crcAccepted = false;
    };

    // The arguments as zorvik-sim's command line takes them (--name, --state,
    // --limits, the fault options...); a port name of its own otherwise.
    explicit SimulatedLink(const std::vector<std::string>& arguments = {});
    SimulatedLink(const SimulatedLink&) = delete;
    SimulatedLink& operator=(const SimulatedLink&) = delete;

    // False when the arguments or the state file were refused (see error()).
    bool isReady() const { return m_ready; }
    const std::string& error() const { return m_error; }
    // The name the host opens the link by.
    const std::string& portName() const { return m_options.portName; }

    // An adapter pulled out of its socket: its name is gone from the ports
    // that open, and bytes written to an open port go nowhere.
    void unplug() { m_plugged = false; }
    void plugIn() { m_plugged = true; }
    bool isPlugged() const { return m_plugged; }

    // Ports open exclusively, as on the system: one holder at a time.
    bool claim(const void* holder);
    void release(const void* holder);
    bool isHeld() const { return m_holder != nullptr; }

    const DeviceSimulator& device() const { return *m_device; }
    const ParameterTable& parameters() const { return m_parameters; }
    // The number the device holds for a parameter ID, or false when the ID
    // is unknown.
    bool value(uint16_t id, int32_t& number) const { return m_parameters.value(id, number); }

    // Bytes from the host; returns what the host reads back from now on, in
    // the order of the line: what arrived while the host waited, the echo,
    // the answers that need no time.
    Bytes carry(const uint8_t* data, size_t length);

    // The device's clock: the real one plus waited().
    TimePoint now() const;
    // Everything the host's waits let pass on this link so far. A test reads
    // the device time a connect took as the difference of now() before and
    // after it; waited() is that time without the real time the test spent.
    std::chrono::milliseconds waited() const { return m_waited; }
    // The host waits: the device's timers that fall due meanwhile run out,
    // and what it sends then waits in the link (see takeArrived()).
    void letTimePass(std::chrono::milliseconds duration);
    // When the device's next bytes reach the host: now() while some wait to
    // be taken, none while nothing is on its way.
    std::optional<TimePoint> nextArrival() const;
    // What the device sent up to now that the host has not taken yet.
    Bytes takeArrived();

    const std::vector<Crossing>& packets() const { return m_packets; }
    // The host's requests with this command, in the order sent.
    std::vector<Crossing> requests(uint8_t command) const;
    // The host's requests of any command.
    size_t requestCount() const;
    void forgetPackets() { m_packets.clear(); }

private:
    // Bytes on their way to the host, recorded as they cross; an unplugged
    // adapter loses them.
    void keepArrived(const Bytes& bytes);
    void recordFrames(Communication::FrameAssembler& assembler, const Bytes& bytes,
                      Crossing::Way way);
    void record(const uint8_t* frame, uint16_t length, Crossing::Way way);

    SimulatorOptions m_options;
    bool m_ready = false;
    std::string m_error;
    ParameterTable m_parameters;
    std::unique_ptr<DeviceSimulator> m_device;
    Communication::FrameAssembler m_fromHost;
    Communication::FrameAssembler m_toHost;
    std::chrono::milliseconds m_waited{0};
    const void* m_holder = nullptr;
    bool m_plugged = true;
    std::vector<Crossing> m_packets;
    Bytes m_arrived;
};

} // namespace Simulator
} // namespace ZORVI

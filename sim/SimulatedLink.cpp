#include "SimulatedLink.h"

#include "Packet.h"
#include "SimulatorSetup.h"

#include <atomic>
#include <memory>
#include <utility>

namespace ZORVI {
namespace Simulator {

namespace {

// A port name of its own for each link, so that two devices in one test
// never answer to the same name.
std::vector<std::string> withOwnName(std::vector<std::string> arguments)
{
    for (const std::string& argument : arguments) {
        if (argument == "--name" || argument.rfind("--name=", 0) == 0)
            return arguments;
    }
    static std::atomic<unsigned> counter{0};
    arguments.insert(arguments.end(), {"--name", "ttySIMLINK" + std::to_string(counter++)});
    return arguments;
}

} // namespace

SimulatedLink::SimulatedLink(const std::vector<std::string>& arguments)
{
    std::vector<std::string> warnings;
    m_ready = SimulatorOptions::parse(withOwnName(arguments), m_options, m_error)
        && SimulatorSetup::prepareParameters(m_options, m_parameters, m_error, warnings);
    // The engine takes its options as they are now; a link that is not
    // ready still has a device (with the options parsed so far), so that
    // nothing has to ask first.
    m_device = std::make_unique<DeviceSimulator>(m_options, m_parameters);
}

bool SimulatedLink::claim(const void* holder)
{
    if (m_holder && m_holder != holder)
        return false;
    m_holder = holder;
    return true;
}

void SimulatedLink::release(const void* holder)
{
    if (m_holder == holder)
        m_holder = nullptr;
}

SimulatedLink::TimePoint SimulatedLink::now() const
{
    return DeviceSimulator::Clock::now() + m_waited;
}

void SimulatedLink::letTimePass(std::chrono::milliseconds duration)
{
    const TimePoint until = now() + duration;
    // Each of the device's timers runs out at its own moment, in order: the
    // end of one (a transfer's) may set the next.
    for (auto due = m_device->nextDeadline(); due && *due <= until;
         due = m_device->nextDeadline()) {
        keepArrived(m_device->advance(*due));
        if (m_device->nextDeadline() == due)
            break; // nothing happened: never spin on a deadline
    }
    m_waited += duration;
    keepArrived(m_device->advance(now()));
}

std::optional<SimulatedLink::TimePoint> SimulatedLink::nextArrival() const
{
    if (!m_arrived.empty())
        return now();
    return m_device->nextAnswerDue();
}

SimulatedLink::Bytes SimulatedLink::takeArrived()
{
    keepArrived(m_device->advance(now()));
    return std::exchange(m_arrived, Bytes());
}

void SimulatedLink::keepArrived(const Bytes& bytes)
{
    if (!m_plugged)
        return;
    recordFrames(m_toHost, bytes, Crossing::Way::ToHost);
    m_arrived.insert(m_arrived.end(), bytes.begin(), bytes.end());
}

SimulatedLink::Bytes SimulatedLink::carry(const uint8_t* data, size_t length)
{
    const TimePoint arrival = now();
    Bytes out = takeArrived();
    const Bytes in(data, data + length);
    recordFrames(m_fromHost, in, Crossing::Way::ToDevice);
    const Bytes back = m_device->receive(in, arrival);
    recordFrames(m_toHost, back, Crossing::Way::ToHost);
    out.insert(out.end(), back.begin(), back.end());
    return out;
}

void SimulatedLink::recordFrames(Communication::FrameAssembler& assembler, const Bytes& bytes,
                                 Crossing::Way way)
{
    using Step = Communication::FrameAssembler::Step;
    for (uint8_t byte : bytes) {
        const Step step = assembler.push(byte);
        if (step == Step::Complete)
            record(assembler.frame(), assembler.length(), way);
        if (step != Step::NeedMore)
            assembler.reset();
    }
}

void SimulatedLink::record(const uint8_t* frame, uint16_t length, Crossing::Way way)
{
    Communication::Packet packet;
    Crossing crossing;
    crossing.way = way;
    crossing.crcAccepted = packet.decode(frame, length, true);
    crossing.destination = packet.destination();
    crossing.source = packet.source();
    // The echo of a request comes back from the host's own address.
    if (way == Crossing::Way::ToHost && crossing.source == Communication::Packet::ADDRESS_HOST)
        return;
    crossing.command = packet.command();
    crossing.payload.assign(packet.payload(), packet.payload() + packet.payloadLength());
    m_packets.push_back(std::move(crossing));
}

std::vector<SimulatedLink::Crossing> SimulatedLink::requests(uint8_t command) const
{
    std::vector<Crossing> found;
    for (const Crossing& crossing : m_packets) {
        if (crossing.way == Crossing::Way::ToDevice && crossing.command == command)
            found.push_back(crossing);
    }
    return found;
}

size_t SimulatedLink::requestCount() const
{
    size_t count = 0;
    for (const Crossing& crossing : m_packets)
        count += crossing.way == Crossing::Way::ToDevice ? 1 : 0;
    return count;
}

} // namespace Simulator
} // namespace ZORVI

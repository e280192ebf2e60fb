#include "SimulatedPort.h"

#include "FrameAssembler.h"
#include "SerialWin.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <utility>

namespace ZORVI {
namespace Simulator {

using Communication::FrameAssembler;
using Communication::Serial::SerialWin;

namespace {

// What the serial port waits before it calls a line silent.
constexpr std::chrono::milliseconds SILENT_LINE_WAIT(SerialWin::ONE_BYTE_READ_MS);

} // namespace

SimulatedPort::SimulatedPort(SimulatedLink& link)
    : SimulatedPort(std::vector<SimulatedLink*>{&link})
{
}

SimulatedPort::SimulatedPort(std::vector<SimulatedLink*> links)
    : m_links(std::move(links))
{
}

SimulatedLink* SimulatedPort::linkNamed(const char* portName) const
{
    for (SimulatedLink* link : m_links) {
        if (portName && link->portName() == portName)
            return link;
    }
    return nullptr;
}

// Time passes for every device on the machine, open or not.
void SimulatedPort::letTimePass(std::chrono::milliseconds duration)
{
    for (SimulatedLink* link : m_links)
        link->letTimePass(duration);
}

SimulatedPort::~SimulatedPort()
{
    close();
}

bool SimulatedPort::open(const char* portName, int /*mode*/)
{
    close();
    SimulatedLink* link = linkNamed(portName);
    if (!link || !link->isPlugged()) {
        m_openFailure = OpenFailure::NoSuchPort;
        m_openError = "There is no such port.";
        return false;
    }
    if (!link->claim(this)) {
        m_openFailure = OpenFailure::InUse;
        m_openError = "Another program is using the port.";
        return false;
    }
    m_openFailure = OpenFailure::None;
    m_openError.clear();
    m_link = link;
    m_isOpen = true;
    purge(); // what the device sent before is not this port's
    return true;
}

void SimulatedPort::close()
{
    if (m_isOpen)
        m_link->release(this);
    m_link = nullptr;
    m_isOpen = false;
    m_dtr = false;
    m_pending.clear();
}

void SimulatedPort::purge()
{
    m_pending.clear();
    if (m_link)
        m_link->takeArrived();
}

void SimulatedPort::collectArrived()
{
    const SimulatedLink::Bytes arrived = m_link->takeArrived();
    m_pending.insert(m_pending.end(), arrived.begin(), arrived.end());
}

bool SimulatedPort::awaitBytes(std::chrono::milliseconds longest)
{
    using std::chrono::milliseconds;
    const size_t before = m_pending.size();
    const std::optional<SimulatedLink::TimePoint> arrival = m_link->nextArrival();
    const milliseconds untilArrival =
        arrival ? std::chrono::ceil<milliseconds>(*arrival - m_link->now()) : longest;
    letTimePass(arrival && untilArrival <= longest ? std::max(untilArrival, milliseconds(0))
                                                   : longest);
    collectArrived();
    return m_pending.size() > before;
}

bool SimulatedPort::write(const uint8_t* buffer, uint32_t length, uint32_t* written)
{
    if (written)
        *written = 0;
    if (!m_isOpen || !m_link->isPlugged())
        return false;
    const SimulatedLink::Bytes back = m_link->carry(buffer, length);
    m_pending.insert(m_pending.end(), back.begin(), back.end());
    if (written)
        *written = length;
    return true;
}

bool SimulatedPort::read(uint8_t* buffer, uint32_t length, uint32_t* got)
{
    if (got)
        *got = 0;
    if (!m_isOpen)
        return false;
    collectArrived();
    if (m_pending.empty() && !awaitBytes(SILENT_LINE_WAIT))
        return true;
    const size_t count = std::min<size_t>(length, m_pending.size());
    std::memcpy(buffer, m_pending.data(), count);
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(count));
    if (got)
        *got = static_cast<uint32_t>(count);
    return true;
}

bool SimulatedPort::writeFrame(const uint8_t* frame, uint16_t length)
{
    purge();
    uint32_t written = 0;
    return write(frame, length, &written) && written == length;
}

bool SimulatedPort::nextFrame(std::vector<uint8_t>& frame)
{
    FrameAssembler assembler;
    frame.clear();
    collectArrived();
    FrameAssembler::Step step = cutFrame(assembler, frame);
    // The rest of the frame, or all of it, can only come from the device.
    if (step == FrameAssembler::Step::NeedMore
        && awaitBytes(std::chrono::milliseconds(SerialWin::FRAME_READ_DEADLINE_MS)))
        step = cutFrame(assembler, frame);
    return step == FrameAssembler::Step::Complete;
}

// Feeds what was received into the assembler until a frame is complete or
// the assembler gives up; the bytes looked at are gone, as on the serial
// port.
FrameAssembler::Step SimulatedPort::cutFrame(FrameAssembler& assembler, std::vector<uint8_t>& frame)
{
    FrameAssembler::Step step = FrameAssembler::Step::NeedMore;
    size_t used = 0;
    while (used < m_pending.size() && step == FrameAssembler::Step::NeedMore)
        step = assembler.push(m_pending[used++]);
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(used));
    if (step == FrameAssembler::Step::Complete)
        frame.assign(assembler.frame(), assembler.frame() + assembler.length());
    return step;
}

bool SimulatedPort::setDTR(bool on)
{
    if (!m_isOpen)
        return false;
    m_dtr = on;
    return true;
}

bool SimulatedPort::setRTS(bool /*on*/)
{
    return m_isOpen;
}

bool SimulatedPort::getModemLines(uint8_t flags[4])
{
    flags[0] = flags[1] = flags[2] = flags[3] = 0;
    if (!m_isOpen)
        return false;
    flags[2] = m_dtr ? 1 : 0;
    flags[3] = m_dtr ? 1 : 0;
    return true;
}

bool SimulatedPort::enumeratePort(uint32_t index, char* buffer, uint32_t bufferSize)
{
    if (index >= m_links.size() || !buffer)
        return false;
    const std::string& name = m_links[index]->portName();
    if (bufferSize <= name.size())
        return false;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return true;
}

void SimulatedPort::sleep(uint32_t milliseconds)
{
    letTimePass(std::chrono::milliseconds(milliseconds));
}

} // namespace Simulator
} // namespace ZORVI

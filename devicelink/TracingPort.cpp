#include "TracingPort.h"

#include "HexDigits.h"
#include "Packet.h"

#include <cstdio>
#include <utility>

namespace ZORVI {
namespace Communication {
namespace Serial {

TracingPort::TracingPort(std::unique_ptr<SerialBase> port, Sink sink)
    : m_port(std::move(port))
    , m_sink(std::move(sink))
    , m_opened(Clock::now())
{
}

TracingPort::~TracingPort()
{
    if (m_isOpen)
        trace("close (port released)");
}

std::string TracingPort::hex(const uint8_t* bytes, size_t length)
{
    if (!bytes || length == 0)
        return "(none)";
    std::string text;
    text.reserve(length * 3);
    for (size_t i = 0; i < length; ++i) {
        if (i > 0)
            text += ' ';
        text += HexDigits::digit(bytes[i] >> 4, true);
        text += HexDigits::digit(bytes[i], true);
    }
    return text;
}

std::string TracingPort::describe(const Packet& packet)
{
    return "to " + std::to_string(packet.destination()) + " from "
        + std::to_string(packet.source()) + " command " + std::to_string(packet.command())
        + " payload " + hex(packet.payload(), packet.payloadLength());
}

void TracingPort::trace(const std::string& event) const
{
    const std::chrono::duration<double, std::milli> since = Clock::now() - m_opened;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%8.3f ", since.count());
    m_sink(stamp + event);
}

bool TracingPort::open(const char* portName, int mode)
{
    m_opened = Clock::now();
    const bool opened = m_port->open(portName, mode);
    m_isOpen = opened;
    std::string event = std::string("open ") + (portName ? portName : "(no name)") + " mode "
        + std::to_string(mode) + ": " + result(opened);
    if (!opened)
        event += std::string(" (") + m_port->openError() + ")";
    trace(event);
    return opened;
}

void TracingPort::close()
{
    m_port->close();
    m_isOpen = false;
    trace("close");
}

void TracingPort::purge()
{
    m_port->purge();
    trace("purge");
}

bool TracingPort::sendPacket(const Packet& packet)
{
    uint8_t* encoded = nullptr;
    uint16_t encodedLength = 0;
    packet.encode(&encoded, &encodedLength);
    const std::string frame = hex(encoded, encodedLength);
    const std::vector<uint8_t> frameBytes(encoded, encoded + (encoded ? encodedLength : 0));
    delete[] encoded;
    const bool sent = m_port->sendPacket(packet);
    // A clean echo is the frame again; anything else is shown as it came.
    const std::string received = untoldBytes(frameBytes);
    trace(">> " + frame + " | " + describe(packet) + ": "
          + (sent ? std::string("echo ok") : packetFailed())
          + (received.empty() ? std::string() : "; received " + received));
    return sent;
}

std::string TracingPort::untoldBytes(const std::vector<uint8_t>& shown) const
{
    const std::vector<uint8_t>& line = m_port->lineBytes();
    if (line.empty() || line == shown)
        return std::string();
    return hex(line.data(), line.size());
}

std::string TracingPort::receivedLine(const Packet* packet) const
{
    if (!packet) {
        const std::string received = untoldBytes({});
        return "<< " + (received.empty() ? std::string() : received + " | ") + "no packet: "
            + packetFailed();
    }
    // A packet that decoded well re-encodes to the bytes that carried it.
    std::vector<uint8_t> encoding;
    uint8_t* encoded = nullptr;
    uint16_t encodedLength = 0;
    if (m_port->packetFailure() != LinkFailure::BadCrc) {
        packet->encode(&encoded, &encodedLength);
        if (encoded)
            encoding.assign(encoded, encoded + encodedLength);
        delete[] encoded;
    }
    const std::string received = untoldBytes(encoding);
    std::string line = "<< " + (received.empty() ? std::string() : received + " | ")
        + describe(*packet);
    if (!Packet::carriesCrc(packet->destination(), packet->source()))
        return line;
    // A packet whose CRC did not match comes without its payload, and the
    // port says so; a packet without payload has no CRC to check.
    if (m_port->packetFailure() == LinkFailure::BadCrc)
        return line + ": CRC refused";
    return packet->payloadLength() > 0 ? line + ": CRC ok" : line;
}

std::string TracingPort::packetFailed() const
{
    const LinkFailure failure = m_port->packetFailure();
    if (failure == LinkFailure::None)
        return "failed";
    return std::string("failed (") + nameOf(failure) + ")";
}

const char* TracingPort::nameOf(LinkFailure failure)
{
    switch (failure) {
    case LinkFailure::None: return "none";
    case LinkFailure::OpenFailed: return "open failed";
    case LinkFailure::NotOpen: return "not open";
    case LinkFailure::InvalidRequest: return "invalid request";
    case LinkFailure::WriteFailed: return "write failed";
    case LinkFailure::NoEcho: return "no echo";
    case LinkFailure::WrongEcho: return "wrong echo";
    case LinkFailure::LinesNotLooped: return "lines not looped";
    case LinkFailure::NoAnswer: return "no answer";
    case LinkFailure::BadCrc: return "bad CRC";
    case LinkFailure::UnexpectedAnswer: return "unexpected answer";
    case LinkFailure::Refused: return "refused";
    case LinkFailure::OutOfMemory: return "out of memory";
    }
    return "unknown";
}

Packet* TracingPort::receivePacket()
{
    Packet* packet = m_port->receivePacket();
    trace(receivedLine(packet));
    return packet;
}

LinkFailure TracingPort::packetFailure() const
{
    return m_port->packetFailure();
}

bool TracingPort::setDTR(bool on)
{
    const bool set = m_port->setDTR(on);
    trace(std::string("DTR ") + (on ? "on" : "off") + ": " + result(set));
    return set;
}

bool TracingPort::setRTS(bool on)
{
    const bool set = m_port->setRTS(on);
    trace(std::string("RTS ") + (on ? "on" : "off") + ": " + result(set));
    return set;
}

bool TracingPort::getModemLines(uint8_t flags[4])
{
    const bool got = m_port->getModemLines(flags);
    if (!got) {
        trace("lines: failed");
        return got;
    }
    trace("lines CTS " + std::to_string(flags[0]) + " DSR " + std::to_string(flags[1])
          + " RING " + std::to_string(flags[2]) + " DCD " + std::to_string(flags[3]));
    return got;
}

bool TracingPort::enumeratePort(uint32_t index, char* buffer, uint32_t bufferSize)
{
    return m_port->enumeratePort(index, buffer, bufferSize);
}

void TracingPort::sleep(uint32_t milliseconds)
{
    m_port->sleep(milliseconds);
}

bool TracingPort::write(const uint8_t* buffer, uint32_t length, uint32_t* written)
{
    uint32_t count = 0;
    const bool wrote = m_port->write(buffer, length, &count);
    if (written)
        *written = count;
    std::string event = "> " + hex(buffer, length);
    if (!wrote)
        event += ": write failed";
    else if (count != length)
        event += ": " + std::to_string(count) + " of " + std::to_string(length) + " written";
    trace(event);
    return wrote;
}

bool TracingPort::read(uint8_t* buffer, uint32_t length, uint32_t* got)
{
    uint32_t count = 0;
    const bool didRead = m_port->read(buffer, length, &count);
    if (got)
        *got = count;
    trace(didRead ? "< " + hex(buffer, count) : "< read failed");
    return didRead;
}

// Traced or not, the echo check ends when the expected bytes are in.
bool TracingPort::readExpected(uint8_t* buffer, uint32_t expected, uint32_t length, uint32_t* got)
{
    uint32_t count = 0;
    const bool didRead = m_port->readExpected(buffer, expected, length, &count);
    if (got)
        *got = count;
    trace(didRead ? "< " + hex(buffer, count) : "< read failed");
    return didRead;
}

const char* TracingPort::openError() const
{
    return m_port->openError();
}

SerialBase::OpenFailure TracingPort::openFailure() const
{
    return m_port->openFailure();
}

} // namespace Serial
} // namespace Communication
} // namespace ZORVI

#include "FramedPort.h"

#include "Packet.h"

#include <memory>
#include <new>

namespace ZORVI {
namespace Communication {
namespace Serial {

bool FramedPort::failPacket(LinkFailure failure)
{
    m_packetFailure = failure;
    return false;
}

bool FramedPort::sendPacket(const Packet& packet)
{
    m_packetFailure = LinkFailure::None;
    m_lineBytes.clear();
    if (!isPortOpen())
        return failPacket(LinkFailure::NotOpen);
    uint8_t* encoded = nullptr;
    uint16_t length = 0;
    packet.encode(&encoded, &length);
    const std::unique_ptr<uint8_t[]> encoding(encoded);
    if (!encoding)
        return failPacket(LinkFailure::InvalidRequest);
    return sendFrame(std::vector<uint8_t>(encoding.get(), encoding.get() + length));
}

bool FramedPort::sendFrame(const std::vector<uint8_t>& frame)
{
    const uint16_t length = static_cast<uint16_t>(frame.size());
    for (uint32_t attempt = 0; attempt < SEND_ATTEMPTS; ++attempt) {
        if (!writeFrame(frame.data(), length))
            return failPacket(LinkFailure::WriteFailed);
        std::vector<uint8_t> echo;
        if (nextFrame(echo)) {
            // The adapter echoes what it saw; anything else means the line
            // garbled our frame, and a resend would not help.
            return echo == frame || failPacket(LinkFailure::WrongEcho);
        }
    }
    return failPacket(LinkFailure::NoEcho);
}

Packet* FramedPort::receivePacket()
{
    m_packetFailure = LinkFailure::None;
    m_lineBytes.clear();
    std::vector<uint8_t> frame;
    if (!isPortOpen()) {
        failPacket(LinkFailure::NotOpen);
        return nullptr;
    }
    if (!nextFrame(frame)) {
        failPacket(LinkFailure::NoAnswer);
        return nullptr;
    }
    Packet* packet = new (std::nothrow) Packet;
    if (!packet) {
        failPacket(LinkFailure::OutOfMemory);
        return nullptr;
    }
    // A frame as the assembler cuts it is well formed, so a decode can only
    // fail on the CRC (or a body too short to hold one). The packet is still
    // handed out, with its addresses and command but no payload.
    if (!packet->decode(frame.data(), static_cast<uint16_t>(frame.size()), true))
        failPacket(LinkFailure::BadCrc);
    return packet;
}

} // namespace Serial
} // namespace Communication
} // namespace ZORVI

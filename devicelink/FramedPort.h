#pragma once

#include "LinkFailure.h"
#include "SerialBase.h"

#include <cstdint>
#include <vector>

namespace ZORVI {
namespace Communication {
namespace Serial {

// Whole packets over a port that carries frames to the KORLINK adapter: a
// request is framed, written and must come back as the adapter's echo (up
// to SEND_ATTEMPTS writes while no echo comes; a garbled echo is not sent
// again, since the line garbled the frame); an answer is the next frame
// cut out of what the port receives. The port itself says how bytes are
// written and frames read: the serial port and the in-process port of the
// tests share this check, so both meet the adapter the same way.
class FramedPort : public SerialBase {
public:
    static constexpr uint32_t SEND_ATTEMPTS = 3;

    bool sendPacket(const Packet& packet) override;
    Packet* receivePacket() override;
    LinkFailure packetFailure() const override { return m_packetFailure; }
    const std::vector<uint8_t>& lineBytes() const override { return m_lineBytes; }

protected:
    // Each byte read from the line while a frame is awaited, noise included.
    void noteReceived(uint8_t byte) { m_lineBytes.push_back(byte); }
    virtual bool isPortOpen() const = 0;
    // Writes the whole frame after dropping what was received so far; false
    // when the port refused any of it.
    virtual bool writeFrame(const uint8_t* frame, uint16_t length) = 0;
    // The next frame the port receives, or false when none comes in time.
    virtual bool nextFrame(std::vector<uint8_t>& frame) = 0;

private:
    bool sendFrame(const std::vector<uint8_t>& frame);
    bool failPacket(LinkFailure failure);

    LinkFailure m_packetFailure = LinkFailure::None;
    std::vector<uint8_t> m_lineBytes;
};

} // namespace Serial
} // namespace Communication
} // namespace ZORVI

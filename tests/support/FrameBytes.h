#pragma once

// Frames as bytes for the tests that look at the wire: a packet encoded the
// way the host and the simulator encode it, in a vector that a test can
// compare, feed in or write to a pseudo-terminal.

#include "Packet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace FrameBytes {

using Bytes = std::vector<uint8_t>;
using ZORVI::Communication::Packet;

// The packet's frame; empty when it cannot be encoded. A failed encode must
// hand back no buffer at all, so the pointer starts at a value encode has to
// overwrite either way.
inline Bytes of(const Packet& packet)
{
    static uint8_t untouched = 0;
    uint8_t* frame = &untouched;
    uint16_t length = 99;
    packet.encode(&frame, &length);
    if (frame == &untouched) {
        ADD_FAILURE() << "encode left the frame pointer as it found it";
        return Bytes();
    }
    std::unique_ptr<uint8_t[]> owned(frame);
    return frame ? Bytes(frame, frame + length) : Bytes();
}

// Sets every field of the packet; false when the command or the payload
// was refused.
inline bool fill(Packet& packet, int32_t destination, int32_t source, uint8_t command,
                 const Bytes& payload)
{
    packet.setDestination(destination);
    packet.setSource(source);
    return packet.setCommand(command)
        && packet.setPayload(payload.empty() ? nullptr : payload.data(),
                             static_cast<uint16_t>(payload.size()), false);
}

inline Bytes frame(int32_t destination, int32_t source, uint8_t command, const Bytes& payload)
{
    Packet packet;
    EXPECT_TRUE(fill(packet, destination, source, command, payload));
    return of(packet);
}

// A request from the host, as the device controller sends it.
inline Bytes request(int32_t destination, uint8_t command, const Bytes& payload = {})
{
    return frame(destination, Packet::ADDRESS_HOST, command, payload);
}

// The frame that answers `request` with the given payload, from the
// request's destination back to the host.
inline Bytes answerTo(const Packet& request, const Bytes& payload)
{
    return frame(Packet::ADDRESS_HOST, request.destination(), request.command(), payload);
}

} // namespace FrameBytes

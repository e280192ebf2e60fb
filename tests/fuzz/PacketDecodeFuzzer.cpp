// Fuzzes the receive path of the wire protocol: a byte stream cut into
// frames by the FrameAssembler, each frame decoded as the port does, and
// the raw input decoded directly. A frame that decodes into a complete
// packet must survive encoding and decoding again unchanged, and
// unescaping must undo escaping for any bytes.

#include "FrameAssembler.h"
#include "Packet.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

using ZORVI::Communication::FrameAssembler;
using ZORVI::Communication::Packet;

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool samePayload(const Packet& a, const Packet& b)
{
    return a.payloadLength() == b.payloadLength()
        && (a.payloadLength() == 0
            || std::memcmp(a.payload(), b.payload(), a.payloadLength()) == 0);
}

void checkRoundTrip(const Packet& packet)
{
    if (packet.destination() == Packet::ADDRESS_INVALID
        || packet.source() == Packet::ADDRESS_INVALID
        || packet.command() == Packet::COMMAND_INVALID)
        return;
    uint8_t* frame = nullptr;
    uint16_t length = 0;
    packet.encode(&frame, &length);
    if (!frame)
        return; // too long to encode
    Packet again;
    require(again.decode(frame, length, true));
    delete[] frame;
    require(again.destination() == packet.destination());
    require(again.source() == packet.source());
    require(again.command() == packet.command());
    require(samePayload(again, packet));
}

void decodeFrame(const uint8_t* frame, uint16_t length)
{
    for (bool unescape : {true, false}) {
        Packet packet;
        const bool decoded = packet.decode(frame, length, unescape);
        require(packet.payloadLength() == 0 || packet.payload() != nullptr);
        if (decoded && unescape)
            checkRoundTrip(packet);
    }
}

void checkEscaping(const uint8_t* data, uint16_t length)
{
    uint16_t escapedLength = 0;
    uint8_t* escaped = Packet::escape(data, length, &escapedLength);
    if (!escaped)
        return;
    for (uint16_t i = 0; i < escapedLength; ++i)
        require(!FrameAssembler::isStartByte(escaped[i]));
    uint16_t plainLength = 0;
    uint8_t* plain = Packet::unescape(escaped, escapedLength, &plainLength);
    require(plainLength == length && std::memcmp(plain, data, length) == 0);
    delete[] plain;
    delete[] escaped;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint16_t length = size > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(size);
    decodeFrame(data, length);
    checkEscaping(data, length);

    // One assembler for all inputs: its 8 KiB buffer is not worth clearing
    // for every run.
    static FrameAssembler assembler;
    assembler.reset();
    for (size_t i = 0; i < size; ++i) {
        const FrameAssembler::Step step = assembler.push(data[i]);
        if (step == FrameAssembler::Step::Complete) {
            require(assembler.length() >= 2 && FrameAssembler::isStartByte(assembler.frame()[0]));
            decodeFrame(assembler.frame(), assembler.length());
            assembler.reset();
        } else if (step == FrameAssembler::Step::Overflow) {
            assembler.reset();
        }
    }
    return 0;
}

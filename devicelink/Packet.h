#pragma once

#include <cstdint>

namespace ZORVI {
namespace Communication {

// One addressed packet of the device's wire protocol.
//
// A frame opens with two header bytes (E<dst>, <cmd><src><0>), carries a
// byte-stuffed body and closes with the same two bytes, the second one with
// bit 0 set. A packet without payload is just the two header bytes with bit 0
// set. Traffic between the host (6) and the running firmware (1) carries a
// CRC-16 after the payload.
//
// Buffers handed out (copyPayload, encode, escape, unescape) are allocated
// with new[] and belong to the caller, who releases them with delete[].
class Packet {
public:
    enum Address : int32_t {
        ADDRESS_RECOVERY = 0,
        ADDRESS_FIRMWARE = 1,
        ADDRESS_DEVICE_2 = 2,
        ADDRESS_DEVICE_3 = 3,
        ADDRESS_HOST = 6,
        ADDRESS_INVALID = 255
    };
    static constexpr uint8_t COMMAND_INVALID = 255;
    static constexpr uint8_t ESCAPE_BYTE = 0xE7;

    Packet() = default;
    virtual ~Packet();
    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;

    int32_t destination() const { return m_destination; }
    int32_t source() const { return m_source; }
    uint8_t command() const { return m_command; }
    const uint8_t* payload() const { return m_payload; }
    uint16_t payloadLength() const { return m_payloadLength; }

    void setDestination(int32_t address) { m_destination = address; }
    void setSource(int32_t address) { m_source = address; }
    bool setCommand(uint8_t command);
    void setDestinationCode(uint8_t code);
    void setSourceCode(uint8_t code);
    static uint8_t addressCode(int32_t address);
    // True for the addresses the wire can carry: 0, 1, 2, 3 and 6.
    static bool isAddress(int32_t address);

    bool setPayload(const uint8_t* data, uint16_t length, bool unescapeData);
    uint8_t* copyPayload(uint16_t* length) const;

    void encode(uint8_t** frame, uint16_t* frameLength) const;
    bool decode(const uint8_t* frame, uint16_t frameLength, bool unescapeData);

    static uint16_t crc16(const uint8_t* data, uint16_t length);
    static uint8_t* escape(const uint8_t* data, uint16_t length, uint16_t* resultLength);
    static uint8_t* unescape(const uint8_t* data, uint16_t length, uint16_t* resultLength);

    // True when (destination, source) is a pair that carries a CRC-16:
    // host to firmware or firmware to host.
    static bool carriesCrc(int32_t destination, int32_t source);

private:
    static int32_t addressFromCode(uint8_t code);
    uint8_t headerByte0() const;
    uint8_t headerByte1() const;
    void freePayload();

    int32_t m_destination = ADDRESS_INVALID;
    int32_t m_source = ADDRESS_INVALID;
    uint8_t m_command = COMMAND_INVALID;
    uint8_t* m_payload = nullptr;
    uint16_t m_payloadLength = 0;
};

} // namespace Communication
} // namespace ZORVI

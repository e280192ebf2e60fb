#include "Packet.h"

#include "BigEndian.h"

#include <cstring>
#include <new>
#include <vector>

namespace ZORVI {
namespace Communication {

namespace {

constexpr uint16_t CRC_POLYNOMIAL = 0x0413;
constexpr uint32_t MAX_FRAME_LENGTH = 0xFFFF;

bool isStuffedByte(uint8_t byte)
{
    return byte >= 0xE0 && byte <= 0xE7;
}

uint8_t* copyToHeap(const uint8_t* data, size_t length)
{
    uint8_t* copy = new (std::nothrow) uint8_t[length];
    if (copy)
        std::memcpy(copy, data, length);
    return copy;
}

} // namespace

Packet::~Packet()
{
    freePayload();
}

void Packet::freePayload()
{
    delete[] m_payload;
    m_payload = nullptr;
    m_payloadLength = 0;
}

bool Packet::setCommand(uint8_t command)
{
    if (command > 15) {
        m_command = COMMAND_INVALID;
        return false;
    }
    m_command = command;
    return true;
}

int32_t Packet::addressFromCode(uint8_t code)
{
    switch (code) {
    case 0: return ADDRESS_RECOVERY;
    case 1: return ADDRESS_FIRMWARE;
    // The device reports its third address with code 3 but the host side
    // knows it as address 2.
    case 2:
    case 3: return ADDRESS_DEVICE_2;
    case 6: return ADDRESS_HOST;
    default: return ADDRESS_INVALID;
    }
}

void Packet::setDestinationCode(uint8_t code)
{
    m_destination = addressFromCode(code);
}

void Packet::setSourceCode(uint8_t code)
{
    m_source = addressFromCode(code);
}

bool Packet::isAddress(int32_t address)
{
    switch (address) {
    case ADDRESS_RECOVERY: case ADDRESS_FIRMWARE: case ADDRESS_DEVICE_2: case ADDRESS_DEVICE_3:
    case ADDRESS_HOST:
        return true;
    default:
        return false;
    }
}

uint8_t Packet::addressCode(int32_t address)
{
    return isAddress(address) ? static_cast<uint8_t>(address) : 0xFF;
}

bool Packet::carriesCrc(int32_t destination, int32_t source)
{
    return (destination == ADDRESS_FIRMWARE && source == ADDRESS_HOST)
        || (destination == ADDRESS_HOST && source == ADDRESS_FIRMWARE);
}

bool Packet::setPayload(const uint8_t* data, uint16_t length, bool unescapeData)
{
    freePayload();
    if (!data || length == 0)
        return true;
    if (!unescapeData) {
        m_payload = copyToHeap(data, length);
        if (!m_payload)
            return false;
        m_payloadLength = length;
        return true;
    }
    uint16_t plainLength = 0;
    m_payload = unescape(data, length, &plainLength);
    m_payloadLength = m_payload ? plainLength : 0;
    return m_payload != nullptr;
}

uint8_t* Packet::copyPayload(uint16_t* length) const
{
    if (length)
        *length = 0;
    if (!m_payload || m_payloadLength == 0)
        return nullptr;
    uint8_t* copy = copyToHeap(m_payload, m_payloadLength);
    if (copy && length)
        *length = m_payloadLength;
    return copy;
}

uint8_t Packet::headerByte0() const
{
    return static_cast<uint8_t>(0xE0 | addressCode(m_destination));
}

uint8_t Packet::headerByte1() const
{
    return static_cast<uint8_t>((m_command << 4) | ((addressCode(m_source) & 7) << 1));
}

void Packet::encode(uint8_t** frame, uint16_t* frameLength) const
{
    *frame = nullptr;
    *frameLength = 0;
    if (m_destination == ADDRESS_INVALID || m_source == ADDRESS_INVALID
        || m_command == COMMAND_INVALID)
        return;

    const uint8_t first = headerByte0();
    const uint8_t second = headerByte1();
    if (!m_payload) {
        uint8_t* bytes = new (std::nothrow) uint8_t[2];
        if (!bytes)
            return;
        bytes[0] = first;
        bytes[1] = static_cast<uint8_t>(second | 1);
        *frame = bytes;
        *frameLength = 2;
        return;
    }

    std::vector<uint8_t> body(m_payload, m_payload + m_payloadLength);
    if (carriesCrc(m_destination, m_source))
        BigEndian::append16(body, crc16(m_payload, m_payloadLength));
    if (body.size() > MAX_FRAME_LENGTH)
        return;
    uint16_t escapedLength = 0;
    uint8_t* escaped = escape(body.data(), static_cast<uint16_t>(body.size()), &escapedLength);
    if (!escaped)
        return;
    const uint32_t total = uint32_t(escapedLength) + 4;
    if (total > MAX_FRAME_LENGTH) {
        delete[] escaped;
        return;
    }
    uint8_t* bytes = new (std::nothrow) uint8_t[total];
    if (bytes) {
        bytes[0] = first;
        bytes[1] = second;
        std::memcpy(bytes + 2, escaped, escapedLength);
        bytes[total - 2] = first;
        bytes[total - 1] = static_cast<uint8_t>(second | 1);
        *frame = bytes;
        *frameLength = static_cast<uint16_t>(total);
    }
    delete[] escaped;
}

bool Packet::decode(const uint8_t* frame, uint16_t frameLength, bool unescapeData)
{
    if (!frame || frameLength < 2)
        return false;
    if (frameLength == 2) {
        if (!(frame[1] & 1))
            return false;
    } else if ((frame[1] & 1) || frame[frameLength - 2] != frame[0]
               || frame[frameLength - 1] != (frame[1] | 1)) {
        return false;
    }

    setDestinationCode(frame[0] & 0x0F);
    setSourceCode((frame[1] >> 1) & 7);
    m_command = frame[1] >> 4;
    if (frameLength <= 4)
        return true;

    const uint8_t* body = frame + 2;
    const uint16_t bodyLength = static_cast<uint16_t>(frameLength - 4);
    if (unescapeData && carriesCrc(m_destination, m_source)) {
        freePayload();
        uint16_t plainLength = 0;
        uint8_t* plain = unescape(body, bodyLength, &plainLength);
        // A body too short to hold its CRC is refused like a wrong CRC.
        const bool accepted = plain && plainLength >= 2 && crc16(plain, plainLength) == 0;
        if (accepted)
            setPayload(plain, static_cast<uint16_t>(plainLength - 2), false);
        delete[] plain;
        return accepted;
    }
    setPayload(body, bodyLength, unescapeData);
    return true;
}

uint16_t Packet::crc16(const uint8_t* data, uint16_t length)
{
    uint16_t crc = 0;
    for (uint16_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ CRC_POLYNOMIAL)
                                 : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

uint8_t* Packet::escape(const uint8_t* data, uint16_t length, uint16_t* resultLength)
{
    *resultLength = 0;
    if (!data || length == 0)
        return nullptr;
    std::vector<uint8_t> out;
    out.reserve(length + 8);
    for (uint16_t i = 0; i < length; ++i) {
        if (isStuffedByte(data[i])) {
            out.push_back(ESCAPE_BYTE);
            out.push_back(data[i] & 0x0F);
        } else {
            out.push_back(data[i]);
        }
    }
    if (out.size() > MAX_FRAME_LENGTH)
        return nullptr;
    uint8_t* result = copyToHeap(out.data(), out.size());
    if (result)
        *resultLength = static_cast<uint16_t>(out.size());
    return result;
}

uint8_t* Packet::unescape(const uint8_t* data, uint16_t length, uint16_t* resultLength)
{
    *resultLength = 0;
    if (!data || length == 0)
        return nullptr;
    std::vector<uint8_t> out;
    out.reserve(length);
    bool escaped = false;
    for (uint16_t i = 0; i < length; ++i) {
        if (data[i] == ESCAPE_BYTE) {
            // Two escape bytes in a row count as one escape.
            escaped = true;
            continue;
        }
        out.push_back(escaped ? static_cast<uint8_t>((data[i] & 0x0F) | 0xE0) : data[i]);
        escaped = false;
    }
    if (out.empty())
        return nullptr;
    uint8_t* result = copyToHeap(out.data(), out.size());
    if (result)
        *resultLength = static_cast<uint16_t>(out.size());
    return result;
}

} // namespace Communication
} // namespace ZORVI

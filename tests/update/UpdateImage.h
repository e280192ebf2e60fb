#pragma once

// Building update files for tests: headers with a correct CRC, records, and
// the hexadecimal text a file holds.

#include "Packet.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace UpdateImage {

using Bytes = std::vector<uint8_t>;

struct Header {
    uint16_t kind = 1;
    uint8_t hardwareMajor = 2;
    uint8_t hardwareMinor = 0xFF;
    uint16_t application[3] = {3, 1, 0};
    uint16_t data[2] = {1, 2};
    uint8_t entry = 1;
    uint8_t target = 0;
    std::string description;
};

inline void appendBig(Bytes& out, uint32_t value, int size)
{
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// The header bytes up to (not including) the CRC.
inline Bytes headerWithoutCrc(const Header& header)
{
    Bytes out;
    const uint32_t length = header.kind == 2 ? 26 + uint32_t(header.description.size()) : 22;
    appendBig(out, header.kind, 2);
    appendBig(out, length, 4);
    out.push_back(header.hardwareMajor);
    out.push_back(header.hardwareMinor);
    for (uint16_t part : header.application)
        appendBig(out, part, 2);
    for (uint16_t part : header.data)
        appendBig(out, part, 2);
    out.push_back(header.entry);
    out.push_back(header.target);
    if (header.kind == 2) {
        appendBig(out, uint32_t(header.description.size()), 4);
        out.insert(out.end(), header.description.begin(), header.description.end());
    }
    return out;
}

// Appends the CRC of everything in out (fits one crc16 call).
inline void appendCrc(Bytes& out)
{
    const uint16_t crc =
        ZORVI::Communication::Packet::crc16(out.data(), static_cast<uint16_t>(out.size()));
    appendBig(out, crc, 2);
}

inline Bytes header(const Header& fields)
{
    Bytes out = headerWithoutCrc(fields);
    appendCrc(out);
    return out;
}

// A record of dataLength bytes counting up from firstByte, length field first.
inline Bytes record(uint32_t dataLength, uint8_t firstByte = 0)
{
    Bytes out;
    appendBig(out, dataLength, 2);
    for (uint32_t i = 0; i < dataLength; ++i)
        out.push_back(static_cast<uint8_t>(firstByte + i));
    return out;
}

inline Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// Two upper-case digits per value, separated by the separator.
inline std::string text(const Bytes& bytes, const std::string& separator = " ")
{
    std::string out;
    out.reserve(bytes.size() * (2 + separator.size()));
    char pair[3];
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            out += separator;
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        out += pair;
    }
    return out;
}

// The valid kind-1 example: hardware 2.x, application 3.1.0, data 1.2,
// entry address 1, target address 0, one record 00 03 AA BB CC.
inline Bytes example()
{
    return {0x00, 0x01, 0x00, 0x00, 0x00, 0x16, 0x02, 0xFF, 0x00, 0x03, 0x00, 0x01, 0x00, 0x00,
            0x00, 0x01, 0x00, 0x02, 0x01, 0x00, 0x01, 0x15, 0x00, 0x03, 0xAA, 0xBB, 0xCC};
}

} // namespace UpdateImage

#pragma once

#include "BigEndian.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ZORVI {

// The 26-byte device information record, as the device sends it (the serial
// number reversed). Words are big-endian:
//   0-1 data major, 2-3 data minor, 4-5/6-7/8-9 application version,
//   10-11 hardware version (upper 12 bits major, lowest 4 bits minor),
//   12-23 serial number, 24-25 handshake token.
// The update file reader fills the same layout from a file header.
struct DeviceInfo {
    static constexpr size_t SIZE = 26;
    static constexpr size_t DATA_OFFSET = 0;
    static constexpr size_t DATA_LENGTH = 4;
    static constexpr size_t APPLICATION_OFFSET = 4;
    static constexpr size_t APPLICATION_LENGTH = 6;
    static constexpr size_t HARDWARE_OFFSET = 10;
    // The byte whose low nibble is the hardware minor.
    static constexpr size_t HARDWARE_LOW = 11;
    static constexpr size_t SERIAL_OFFSET = 12;
    static constexpr size_t SERIAL_LENGTH = 12;
    static constexpr size_t TOKEN_OFFSET = 24;

    std::array<uint8_t, SIZE> bytes{};

    void clear() { bytes.fill(0); }
    uint16_t word(size_t offset) const { return BigEndian::read16(bytes.data() + offset); }

    // Takes the payload of the device's answer to the device information
    // request: 24 bytes without the token, 26 or more with it, the serial
    // number last byte first. False (and the record cleared) when it is
    // shorter or cuts the token.
    bool takeAnswer(const uint8_t* answer, size_t length);

    uint16_t dataMajor() const { return word(DATA_OFFSET); }
    uint16_t dataMinor() const { return word(DATA_OFFSET + 2); }
    uint16_t applicationMajor() const { return word(APPLICATION_OFFSET); }
    uint16_t applicationMinor() const { return word(APPLICATION_OFFSET + 2); }
    uint16_t applicationPatch() const { return word(APPLICATION_OFFSET + 4); }
    uint16_t hardwareMajor() const { return static_cast<uint16_t>(word(HARDWARE_OFFSET) >> 4); }
    uint16_t hardwareMinor() const { return bytes[HARDWARE_LOW] & 0x0F; }
    uint8_t tokenHigh() const { return bytes[TOKEN_OFFSET]; }
    uint8_t tokenLow() const { return bytes[TOKEN_OFFSET + 1]; }

    // "%1.%2.%3", "%1.%2" and the two nibbles of byte 11, all decimal.
    std::string applicationVersionText() const;
    std::string dataVersionText() const;
    std::string hardwareVersionText() const;

    // The serial number combined with the serial mask: twelve upper-case
    // pairs separated by blanks for a label, twelve lower-case pairs without
    // separators for the product web page's query.
    std::string serialLabelText() const;
    std::string serialWebText() const;
    std::array<uint8_t, SERIAL_LENGTH> maskedSerial() const;
};

// A recovery-mode device reports only its hardware byte: high nibble major,
// low nibble minor.
std::string recoveryHardwareText(uint8_t hardwareByte);

} // namespace ZORVI

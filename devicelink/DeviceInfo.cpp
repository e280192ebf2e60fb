#include "DeviceInfo.h"

#include "HexDigits.h"
#include "SerialMask.h"

#include <algorithm>

namespace ZORVI {

bool DeviceInfo::takeAnswer(const uint8_t* answer, size_t length)
{
    clear();
    // A cut token is no record; bytes after the token are not read.
    if (length < TOKEN_OFFSET || length == TOKEN_OFFSET + 1)
        return false;
    std::copy(answer, answer + SERIAL_OFFSET, bytes.begin());
    std::reverse_copy(answer + SERIAL_OFFSET, answer + SERIAL_OFFSET + SERIAL_LENGTH,
                      bytes.begin() + SERIAL_OFFSET);
    if (length >= SIZE)
        std::copy(answer + TOKEN_OFFSET, answer + SIZE, bytes.begin() + TOKEN_OFFSET);
    return true;
}

std::string DeviceInfo::applicationVersionText() const
{
    return std::to_string(applicationMajor()) + "." + std::to_string(applicationMinor()) + "."
        + std::to_string(applicationPatch());
}

std::string DeviceInfo::dataVersionText() const
{
    return std::to_string(dataMajor()) + "." + std::to_string(dataMinor());
}

std::string DeviceInfo::hardwareVersionText() const
{
    // The same nibble packing as the boot loader's hardware byte.
    return recoveryHardwareText(bytes[HARDWARE_LOW]);
}

std::array<uint8_t, DeviceInfo::SERIAL_LENGTH> DeviceInfo::maskedSerial() const
{
    std::array<uint8_t, SERIAL_LENGTH> serial{};
    for (size_t k = 0; k < SERIAL_LENGTH; ++k)
        serial[k] = bytes[SERIAL_OFFSET + k] ^ SERIAL_MASK[k];
    return serial;
}

namespace {

std::string hexPairs(const std::array<uint8_t, DeviceInfo::SERIAL_LENGTH>& serial,
                     const char* separator, bool upperCase)
{
    std::string text;
    for (size_t k = 0; k < serial.size(); ++k) {
        if (k > 0)
            text += separator;
        text += HexDigits::digit(serial[k] >> 4, upperCase);
        text += HexDigits::digit(serial[k], upperCase);
    }
    return text;
}

} // namespace

std::string DeviceInfo::serialLabelText() const
{
    return hexPairs(maskedSerial(), " ", true);
}

std::string DeviceInfo::serialWebText() const
{
    return hexPairs(maskedSerial(), "", false);
}

std::string recoveryHardwareText(uint8_t hardwareByte)
{
    return std::to_string(hardwareByte >> 4) + "." + std::to_string(hardwareByte & 0x0F);
}

} // namespace ZORVI

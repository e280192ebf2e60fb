#include "DeviceInfo.h"

#include "SerialMask.h"

#include <cctype>
#include <cstdio>

namespace ZORVI {

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
    return std::to_string(bytes[11] >> 4) + "." + std::to_string(bytes[11] & 0x0F);
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
    char pair[3];
    for (size_t k = 0; k < serial.size(); ++k) {
        std::snprintf(pair, sizeof pair, upperCase ? "%02X" : "%02x", serial[k]);
        if (k > 0)
            text += separator;
        text += pair;
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

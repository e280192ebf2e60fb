#pragma once

#include <array>
#include <cstdint>

namespace ZORVI {

// Every serial number is combined by exclusive-or with this constant before
// it is shown or sent anywhere (the label, the product web page). Both
// programs and the command line use this one definition.
constexpr std::array<uint8_t, 12> SERIAL_MASK = {
    0x3A, 0x91, 0x5C, 0xE2, 0x07, 0xB4, 0x6F, 0x18, 0xD3, 0x4E, 0xA9, 0x25};

} // namespace ZORVI

#pragma once

#include <cstdint>

namespace ZORVI {

// The device's description of one parameter ID, in host order. Whether the
// limits are signed is decided by the parameter memory, not here.
struct ParameterDescriptor {
    uint16_t id = 0;
    uint16_t address = 0;
    uint16_t minimum = 0;
    uint16_t maximum = 0;
    uint16_t defaultValue = 0;
};

} // namespace ZORVI

#pragma once

#include <array>
#include <cstdint>

namespace ZORVI {

// Opens every mode request to the running firmware: the firmware leaves its
// flight mode only for a request that starts with these four bytes. The
// updater sends it; the device simulator checks it.
constexpr std::array<uint8_t, 4> UNLOCK_PREFIX = {0x4B, 0x7E, 0x21, 0x9C};

} // namespace ZORVI

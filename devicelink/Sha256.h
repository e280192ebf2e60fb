#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ZORVI {

// SHA-256 (FIPS 180-4) of a buffer, as lower-case hexadecimal: the
// fingerprint of an update file in the update records.
class Sha256 {
public:
    static std::string hexDigest(const uint8_t* data, size_t length);
};

} // namespace ZORVI

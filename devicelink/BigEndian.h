#pragma once

#include <cstdint>
#include <vector>

namespace ZORVI {

// The device, its update files and SHA-256 put the high byte of a word
// first. The callers check that the bytes are there.
class BigEndian {
public:
    static uint16_t read16(const uint8_t* bytes);
    static uint32_t read32(const uint8_t* bytes);
    // Two bytes at bytes[0] and bytes[1].
    static void write16(uint16_t word, uint8_t* bytes);
    static void append16(std::vector<uint8_t>& out, uint16_t word);
};

} // namespace ZORVI

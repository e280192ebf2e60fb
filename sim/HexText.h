#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ZORVI {
namespace Simulator {

// Byte strings as the simulator's options and its transaction log write
// them: hexadecimal pairs without separators.
class HexText {
public:
    // Lower-case pairs, no separators; empty for no bytes.
    static std::string format(const uint8_t* data, size_t length);
    static std::string format(const std::vector<uint8_t>& bytes);

    // Reads pairs of hexadecimal digits (either case). Blanks, colons and an
    // optional leading "0x" are accepted between pairs. False for odd digit
    // counts and other characters.
    static bool parse(const std::string& text, std::vector<uint8_t>& bytes);

    // One unsigned number: "0x..." is hexadecimal, anything else decimal.
    // False when the text is not a number or exceeds the maximum.
    static bool parseNumber(const std::string& text, uint32_t maximum, uint32_t& value);
};

} // namespace Simulator
} // namespace ZORVI

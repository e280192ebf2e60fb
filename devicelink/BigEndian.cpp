#include "BigEndian.h"

namespace ZORVI {

uint16_t BigEndian::read16(const uint8_t* bytes)
{
    return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

uint32_t BigEndian::read32(const uint8_t* bytes)
{
    return (uint32_t(read16(bytes)) << 16) | read16(bytes + 2);
}

void BigEndian::write16(uint16_t word, uint8_t* bytes)
{
    bytes[0] = static_cast<uint8_t>(word >> 8);
    bytes[1] = static_cast<uint8_t>(word & 0xFF);
}

void BigEndian::append16(std::vector<uint8_t>& out, uint16_t word)
{
    uint8_t bytes[2];
    write16(word, bytes);
    out.insert(out.end(), bytes, bytes + 2);
}

} // namespace ZORVI

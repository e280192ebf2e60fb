#include "MaximumUpdateImage.h"

#include "Packet.h"
#include "Update.h"

#include <cstdio>

namespace {

constexpr uint32_t HEADER_LENGTH = 22;
constexpr uint32_t LENGTH_FIELD = 2;

void appendBigEndian(std::vector<uint8_t>& out, uint32_t value, int size)
{
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

} // namespace

MaximumUpdateImage::MaximumUpdateImage(uint8_t entryAddress, uint8_t targetAddress)
{
    m_bytes.reserve(ZORVI::Update::MAX_VALUES);
    appendHeader(entryAddress, targetAddress);
    appendRecords();
}

// Hardware 8.x, application 3.1.8, data 1.3.
void MaximumUpdateImage::appendHeader(uint8_t entryAddress, uint8_t targetAddress)
{
    appendBigEndian(m_bytes, 1, 2);
    appendBigEndian(m_bytes, HEADER_LENGTH, 4);
    m_bytes.push_back(8);
    m_bytes.push_back(0xFF);
    for (uint32_t part : {3, 1, 8, 1, 3})
        appendBigEndian(m_bytes, part, 2);
    m_bytes.push_back(entryAddress);
    m_bytes.push_back(targetAddress);
    const uint16_t crc =
        ZORVI::Communication::Packet::crc16(m_bytes.data(), static_cast<uint16_t>(m_bytes.size()));
    appendBigEndian(m_bytes, crc, 2);
}

void MaximumUpdateImage::appendRecords()
{
    uint32_t state = 0x2545F491; // xorshift32: the same image in every run
    while (m_bytes.size() < ZORVI::Update::MAX_VALUES) {
        const uint32_t left = ZORVI::Update::MAX_VALUES - static_cast<uint32_t>(m_bytes.size());
        const uint32_t size = left < RECORD_SIZE ? left : RECORD_SIZE;
        appendBigEndian(m_bytes, size - LENGTH_FIELD, 2);
        for (uint32_t i = LENGTH_FIELD; i < size; ++i) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            m_bytes.push_back(static_cast<uint8_t>(state >> 24));
        }
    }
}

std::string MaximumUpdateImage::hexText(uint32_t valuesPerLine) const
{
    static const char DIGITS[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(m_bytes.size() * 3);
    for (size_t i = 0; i < m_bytes.size(); ++i) {
        text += DIGITS[m_bytes[i] >> 4];
        text += DIGITS[m_bytes[i] & 0x0F];
        text += (i + 1) % valuesPerLine == 0 || i + 1 == m_bytes.size() ? '\n' : ' ';
    }
    return text;
}

bool MaximumUpdateImage::writeHexFile(const std::string& path, uint32_t valuesPerLine) const
{
    const std::string text = hexText(valuesPerLine);
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

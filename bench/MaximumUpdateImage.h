#pragma once

// The largest update file a reader takes: 196608 byte values, a kind-1
// header and records of 256 bytes (length field included), the last one
// shorter so that the records end exactly at the last value. The record
// bytes are pseudo-random, so the share of bytes the packet layer has to
// stuff is what a real firmware image shows, not a best or worst case.

#include <cstdint>
#include <string>
#include <vector>

class MaximumUpdateImage {
public:
    static constexpr uint32_t RECORD_SIZE = 256;

    MaximumUpdateImage(uint8_t entryAddress, uint8_t targetAddress);

    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    // Two upper-case digits per value, valuesPerLine values to a line.
    std::string hexText(uint32_t valuesPerLine = 16) const;
    bool writeHexFile(const std::string& path, uint32_t valuesPerLine = 16) const;

private:
    void appendHeader(uint8_t entryAddress, uint8_t targetAddress);
    void appendRecords();

    std::vector<uint8_t> m_bytes;
};

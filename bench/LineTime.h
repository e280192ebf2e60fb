#pragma once

// The least time the simulated line needs for frames: 115200 baud, 8N1,
// ten bit times per byte. Frame lengths come from the packet layer itself,
// stuffing and CRC included.

#include <cstdint>
#include <string>
#include <vector>

class LineTime {
public:
    static constexpr double BITS_PER_SECOND = 115200.0;
    static constexpr double BITS_PER_BYTE = 10.0; // start bit, 8 data bits, stop bit

    static double seconds(uint64_t bytes) { return bytes * BITS_PER_BYTE / BITS_PER_SECOND; }

    // Bytes on the wire for a packet with this payload.
    static uint32_t frameBytes(int32_t destination, int32_t source, uint8_t command,
                               const std::vector<uint8_t>& payload);
    // Header, CRC (where the pair of addresses carries one) and closing pair.
    static uint32_t framingBytes(int32_t destination, int32_t source);

    // A payload as the simulator's transaction log writes it: lower-case hex
    // without separators.
    static std::vector<uint8_t> fromLogHex(const std::string& hex);
    // The value of `name=` in a log line, up to the next blank.
    static std::string logField(const std::string& line, const std::string& name);
    // The simulator's side of the line for the transaction log's lines from
    // `first` on: the echo of every request to the running firmware and
    // every answer from it; `requests` (if given) counts the requests.
    static uint64_t logBytes(const std::vector<std::string>& log, size_t first,
                             size_t* requests = nullptr);
};

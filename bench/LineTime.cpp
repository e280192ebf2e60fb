#include "LineTime.h"

#include "Packet.h"

#include <memory>

using ZORVI::Communication::Packet;

namespace {

constexpr uint32_t HEADER_BYTES = 2;
constexpr uint32_t CLOSING_BYTES = 2;
constexpr uint32_t CRC_BYTES = 2;

} // namespace

uint32_t LineTime::frameBytes(int32_t destination, int32_t source, uint8_t command,
                              const std::vector<uint8_t>& payload)
{
    Packet packet;
    packet.setDestination(destination);
    packet.setSource(source);
    packet.setCommand(command);
    packet.setPayload(payload.data(), static_cast<uint16_t>(payload.size()), false);
    uint8_t* frame = nullptr;
    uint16_t length = 0;
    packet.encode(&frame, &length);
    std::unique_ptr<uint8_t[]> owner(frame);
    return length;
}

uint32_t LineTime::framingBytes(int32_t destination, int32_t source)
{
    return HEADER_BYTES + CLOSING_BYTES + (Packet::carriesCrc(destination, source) ? CRC_BYTES : 0);
}

std::vector<uint8_t> LineTime::fromLogHex(const std::string& hex)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string LineTime::logField(const std::string& line, const std::string& name)
{
    const size_t start = line.find(name + "=");
    if (start == std::string::npos)
        return std::string();
    const size_t value = start + name.size() + 1;
    return line.substr(value, line.find(' ', value) - value);
}

uint64_t LineTime::logBytes(const std::vector<std::string>& log, size_t first, size_t* requests)
{
    uint64_t bytes = 0;
    size_t count = 0;
    for (size_t i = first; i < log.size(); ++i) {
        const std::string& line = log[i];
        const bool request = line.rfind("request ", 0) == 0;
        if (!request && line.rfind("answer cmd=", 0) != 0)
            continue;
        const uint8_t command = static_cast<uint8_t>(std::stoi(logField(line, "cmd")));
        const std::vector<uint8_t> payload = fromLogHex(logField(line, "payload"));
        bytes += request ? frameBytes(Packet::ADDRESS_FIRMWARE, Packet::ADDRESS_HOST, command,
                                      payload)
                         : frameBytes(Packet::ADDRESS_HOST, Packet::ADDRESS_FIRMWARE, command,
                                      payload);
        count += request ? 1 : 0;
    }
    if (requests)
        *requests = count;
    return bytes;
}

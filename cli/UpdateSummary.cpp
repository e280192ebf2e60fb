#include "UpdateSummary.h"

#include <cstdio>

namespace ZORVI {
namespace Cli {

namespace {
constexpr uint8_t ANY_MINOR = 255;
constexpr size_t HARDWARE_MAJOR = 10;
constexpr size_t HARDWARE_MINOR = 11;
} // namespace

std::string UpdateSummary::applicationVersion() const
{
    return m_update.versionInfo().applicationVersionText();
}

std::string UpdateSummary::dataVersion() const
{
    return m_update.versionInfo().dataVersionText();
}

std::string UpdateSummary::hardwareVersion() const
{
    // The file keeps major and minor in a byte each, unlike the device's
    // hardware word.
    const DeviceInfo info = m_update.versionInfo();
    const uint8_t minor = info.bytes[HARDWARE_MINOR];
    return std::to_string(info.bytes[HARDWARE_MAJOR]) + "."
        + (minor == ANY_MINOR ? std::string("x") : std::to_string(minor));
}

uint32_t UpdateSummary::recordCount() const
{
    uint32_t count = 0;
    for (const UpdateRecord* record = m_update.records(); record; record = record->next)
        ++count;
    return count;
}

std::string UpdateSummary::addressText(int address)
{
    return address == 255 ? std::string("none") : std::to_string(address);
}

void UpdateSummary::printVersions() const
{
    std::printf("Application: %s\n", applicationVersion().c_str());
    std::printf("Hardware:    %s\n", hardwareVersion().c_str());
    std::printf("Data:        %s\n", dataVersion().c_str());
}

void UpdateSummary::printDetails() const
{
    printVersions();
    std::printf("Addresses:   entry %s, target %s\n",
                addressText(m_update.entryAddress()).c_str(),
                addressText(m_update.targetAddress()).c_str());
    const char* description = m_update.description();
    std::printf("Description: %s\n", description ? description : "(none)");
    std::printf("Records:     %u\n", recordCount());
    std::printf("Total bytes: %u\n", m_update.totalBytes());
}

std::string UpdateSummary::problemText(Update::Problem problem)
{
    using Problem = Update::Problem;
    switch (problem) {
    case Problem::None: return "no problem";
    case Problem::Unreadable: return "the file cannot be opened";
    case Problem::NotHexText:
        return "it holds characters other than hexadecimal digits and white space";
    case Problem::TooShort: return "it holds fewer than 6 byte values";
    case Problem::UnknownKind: return "unknown header format (kind other than 1 or 2)";
    case Problem::HeaderLength: return "the header length does not match its format";
    case Problem::NoRecords: return "the file ends within its header or right after it";
    case Problem::HeaderCrc: return "the header CRC does not check out";
    case Problem::RecordTooLong: return "a record is longer than 65533 bytes";
    case Problem::RecordsDoNotFit:
        return "the records do not end exactly at the end of the file";
    case Problem::OutOfMemory: return "out of memory while reading it";
    }
    return "unknown problem";
}

} // namespace Cli
} // namespace ZORVI

#include "UpdateSummary.h"

#include "ControlText.h"
#include "Packet.h"
#include "TerminalText.h"
#include "UpdateChecks.h"
#include "UpdateFile.h"

#include <cstdio>

namespace ZORVI {
namespace Cli {

std::unique_ptr<UpdateFile> UpdateSummary::load(const std::string& path)
{
    UpdateFile::Refusal refusal = UpdateFile::Refusal::None;
    std::unique_ptr<UpdateFile> file = UpdateFile::load(path, &refusal);
    if (refusal == UpdateFile::Refusal::None)
        return file;
    std::fprintf(stderr, "zorvik: cannot use %s: %s\n", ControlText::escaped(path).c_str(),
                 UpdateFile::reason(refusal));
    if (refusal == UpdateFile::Refusal::Invalid && file)
        std::fprintf(stderr, "zorvik: %s: %s\n", ControlText::escaped(path).c_str(),
                     problemText(file->update().problem()).c_str());
    return nullptr;
}

const Update& UpdateSummary::update() const
{
    return m_file.update();
}

std::string UpdateSummary::applicationVersion() const
{
    return update().versionInfo().applicationVersionText();
}

std::string UpdateSummary::dataVersion() const
{
    return update().versionInfo().dataVersionText();
}

std::string UpdateSummary::hardwareVersion() const
{
    return UpdateChecks::fileHardwareText(update());
}

std::string UpdateSummary::addressText(int address)
{
    return address == Communication::Packet::ADDRESS_INVALID ? std::string("none")
                                                             : std::to_string(address);
}

void UpdateSummary::printVersions() const
{
    std::printf("SHA-256:     %s\n", m_file.sha256().c_str());
    std::printf("Application: %s\n", applicationVersion().c_str());
    std::printf("Hardware:    %s\n", hardwareVersion().c_str());
    std::printf("Data:        %s\n", dataVersion().c_str());
}

void UpdateSummary::printDetails(const TerminalText& terminal) const
{
    std::printf("Size:        %lu bytes\n", static_cast<unsigned long>(m_file.size()));
    printVersions();
    std::printf("Addresses:   entry %s, target %s\n", addressText(update().entryAddress()).c_str(),
                addressText(update().targetAddress()).c_str());
    const char* description = update().description();
    std::printf("Description: %s\n",
                description ? terminal.fromLatin1(description).c_str() : "(none)");
    std::printf("Records:     %u\n", update().recordCount());
    std::printf("Total bytes: %u\n", update().totalBytes());
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

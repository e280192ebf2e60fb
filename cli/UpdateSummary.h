#pragma once

#include "Update.h"

#include <memory>
#include <string>

namespace ZORVI {
class UpdateFile;
namespace Cli {

class TerminalText;

// How an update file reads to a user: its fingerprint, versions,
// addresses, description and records, or why it is not an update the device
// can take.
class UpdateSummary {
public:
    explicit UpdateSummary(const UpdateFile& file) : m_file(file) {}

    // Loads the file at path (see UpdateFile::load); null after saying on
    // standard error why it cannot be used.
    static std::unique_ptr<UpdateFile> load(const std::string& path);

    std::string applicationVersion() const;
    std::string dataVersion() const;
    // Major and minor in decimal; a minor of 255 (any) reads "x".
    std::string hardwareVersion() const;

    // The file's fingerprint and versions, as shown beside the device's
    // before an update.
    void printVersions() const;
    // Everything the file holds, for `zorvik file`; the description is
    // shown in the terminal's encoding.
    void printDetails(const TerminalText& terminal) const;

    static std::string problemText(Update::Problem problem);

private:
    static std::string addressText(int address);
    const Update& update() const;

    const UpdateFile& m_file;
};

} // namespace Cli
} // namespace ZORVI

#pragma once

#include "Update.h"

#include <string>

namespace ZORVI {
namespace Cli {

// How an update file reads to a user: its versions, addresses, description
// and records, or why it is not an update the device can take.
class UpdateSummary {
public:
    explicit UpdateSummary(const Update& update) : m_update(update) {}

    std::string applicationVersion() const;
    std::string dataVersion() const;
    // Major and minor in decimal; a minor of 255 (any) reads "x".
    std::string hardwareVersion() const;

    // Versions only, as shown beside the device's before an update.
    void printVersions() const;
    // Everything the file holds, for `zorvik file`.
    void printDetails() const;

    uint32_t recordCount() const;
    static std::string problemText(Update::Problem problem);

private:
    static std::string addressText(int address);

    const Update& m_update;
};

} // namespace Cli
} // namespace ZORVI

#pragma once

#include "Command.h"

#include <string>

namespace ZORVI {
class Update;
namespace Cli {

class DeviceSession;

// Transfers an update file to the device, as the updater's "Start
// Update..." does: checks the file, asks the device for its state, asks for
// confirmation (unless --yes), sends the records with a progress bar, waits
// for the device to restart and shows its new versions.
class UpdateCommand : public Command {
public:
    const char* name() const override { return "update"; }
    const char* synopsis() const override { return "update PORT FILE [--yes]"; }
    const char* summary() const override
    {
        return "install an update file on the device (asks first unless --yes)";
    }
    int run(const std::vector<std::string>& args) override;

private:
    static bool parseArguments(const std::vector<std::string>& args, std::string& port,
                               std::string& file, bool& confirmed);
    static void printQuestion(const DeviceSession& session, const std::string& fileVersion);
    static bool userConfirms();
};

} // namespace Cli
} // namespace ZORVI

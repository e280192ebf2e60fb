#include "UpdateCommand.h"

#include "Control.h"
#include "DeviceSession.h"
#include "TransferProgress.h"
#include "Update.h"
#include "UpdateSummary.h"

#include <cstdio>
#include <iostream>

namespace ZORVI {
namespace Cli {

namespace {
// The device restarts into its new firmware after the last record.
constexpr uint32_t RESTART_WAIT_MS = 2000;
} // namespace

bool UpdateCommand::parseArguments(const std::vector<std::string>& args, std::string& port,
                                   std::string& file, bool& confirmed)
{
    std::vector<std::string> positional;
    confirmed = false;
    for (const std::string& arg : args) {
        if (arg == "--yes" || arg == "-y")
            confirmed = true;
        else
            positional.push_back(arg);
    }
    if (positional.size() != 2)
        return false;
    port = positional[0];
    file = positional[1];
    return true;
}

void UpdateCommand::printQuestion(const DeviceSession& session, const std::string& fileVersion)
{
    switch (session.found()) {
    case DeviceSession::Found::Firmware:
        std::printf("ZORVIK Device is ready for update.\n"
                    "Are you sure you want to upgrade from Version %s to %s?\n",
                    session.deviceInfo().applicationVersionText().c_str(), fileVersion.c_str());
        break;
    case DeviceSession::Found::Recovery:
        std::printf("ZORVIK Device in Recovery Mode found!\n"
                    "Are you sure you want to install Version %s ?\n",
                    fileVersion.c_str());
        break;
    case DeviceSession::Found::Nothing:
        std::printf("No ZORVIK Device found!\n"
                    "Are you sure you want to try to install Version %s ?\n",
                    fileVersion.c_str());
        break;
    }
}

bool UpdateCommand::userConfirms()
{
    std::printf("Continue? [y/N] ");
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

int UpdateCommand::run(const std::vector<std::string>& args)
{
    std::string port;
    std::string file;
    bool confirmed = false;
    if (!parseArguments(args, port, file, confirmed)) {
        std::fprintf(stderr, "usage: zorvik %s\n", synopsis());
        return EXIT_USAGE;
    }

    const Update update(file.c_str());
    if (!update.isValid()) {
        std::fprintf(stderr, "zorvik: %s is not a valid update file: %s\n", file.c_str(),
                     UpdateSummary::problemText(update.problem()).c_str());
        return EXIT_USAGE;
    }
    const UpdateSummary summary(update);
    std::printf("Update file: %s\n", file.c_str());
    summary.printVersions();
    std::printf("\n");

    Control control;
    DeviceSession session(control);
    const int opened = session.open(port);
    if (opened != EXIT_OK)
        return opened;
    session.printDevice();
    std::printf("\n");
    printQuestion(session, summary.applicationVersion());
    if (!confirmed && !userConfirms()) {
        std::printf("Update cancelled; nothing was sent.\n");
        return EXIT_USAGE;
    }

    std::printf("Update in progress...\n");
    int result = -1;
    {
        TransferProgress progress(update, stdout);
        progress.install(control);
        // The file is read again for the transfer, as the updater does.
        result = control.runUpdate(file.c_str());
        progress.finish(result == 0);
    }
    if (result != 0) {
        std::fprintf(stderr, "Device update failed.\n");
        return EXIT_NO_DEVICE;
    }
    std::printf("Device updated successfully.\nWaiting for Device...\n");
    std::fflush(stdout);
    control.sleep(RESTART_WAIT_MS);

    DeviceSession restarted(control);
    const int reopened = restarted.open(port);
    if (reopened != EXIT_OK)
        return reopened;
    restarted.printDevice();
    return EXIT_OK;
}

} // namespace Cli
} // namespace ZORVI

#pragma once

#include "Command.h"
#include "Control.h"
#include "DeviceConnection.h"
#include "UpdateBackup.h"
#include "UpdateOutcome.h"

#include <string>

namespace ZORVI {
class UpdateFile;
namespace Cli {

class DeviceSession;

// Transfers an update file to the device, as the updater's "Start
// Update..." does: reads the file once and shows its fingerprint, asks the
// device for its state and refuses a file for other hardware (unless
// --force), asks for confirmation (unless --yes), sends exactly the bytes
// read at the start with a progress bar, waits for the device to restart,
// asks it again and says whether it runs the file's versions now. Each run
// that sent something is added to the update records, also one that Ctrl-C
// or SIGTERM stopped between two records.
//
// Before anything is sent, the settings of a device that runs its firmware
// are saved as a backup (UpdateBackup); one that cannot be made stops the
// update unless --no-backup. After a done update the settings are compared
// with the backup and, where they differ, the preview is shown and the
// backup restored when the user says so (--restore, --no-restore).
class UpdateCommand : public Command {
public:
    const char* name() const override { return "update"; }
    const char* synopsis() const override
    {
        return "update PORT FILE [--yes] [--force] [--no-backup] [--restore|--no-restore]";
    }
    const char* summary() const override
    {
        return "install an update file on the device (asks first unless --yes)";
    }
    int run(const std::vector<std::string>& args) override;

private:
    struct Options {
        std::string port;
        std::string file;
        bool confirmed = false; // --yes
        bool force = false;     // --force: also a file for other hardware
        bool noBackup = false;  // --no-backup: also when no backup can be made
        UpdateBackup::Restore restore = UpdateBackup::Restore::Ask;
    };

    static bool parseArguments(const std::vector<std::string>& args, Options& options);
    static int prepare(DeviceSession& session, const UpdateFile& file, const Options& options);
    static int carryOut(Control& control, const UpdateFile& file, const Options& options,
                        const DeviceConnection::Result& before, const UpdateBackup& backup);
    static bool hardwareAllows(const UpdateFile& file, const DeviceConnection::Result& device,
                               bool force);
    static void printQuestion(const DeviceSession& session, const std::string& fileVersion);
    static bool userConfirms();
    static void transfer(Control& control, const UpdateFile& file);
    static DeviceConnection::Result deviceAfterRestart(Control& control, const std::string& port);
    static UpdateOutcome::Actions actionsFor(const Options& options);
    static void printOutcome(const UpdateOutcome& outcome);
    static void record(const UpdateOutcome& outcome, const Options& options,
                       const UpdateFile& file, const DeviceConnection::Result& before,
                       const DeviceConnection::Result& after,
                       const Control::TransferReport& report, const std::string& backup);
    // An interrupted transfer ends with 128 + the stop signal's number.
    static int exitCodeOf(const UpdateOutcome& outcome, const Control::TransferReport& report,
                          int stopSignal);
};

} // namespace Cli
} // namespace ZORVI

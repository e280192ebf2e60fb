#pragma once

#include "DeviceConnection.h"
#include "SettingsFile.h"

#include <string>

namespace ZORVI {
class Control;
namespace Cli {

// `zorvik update`'s safety net: the device's settings saved as a settings
// file (SettingsBackup) after the confirmation and before anything is sent,
// and, after a done update, compared with the device through the plan of a
// load, shown as `zorvik load` shows it and restored when the user says so.
class UpdateBackup {
public:
    enum class Restore { Ask, Yes, No }; // --restore, --no-restore

    struct Options {
        std::string port;
        bool noBackup = false; // --no-backup: no backup is made
        Restore restore = Restore::Ask;
    };

    explicit UpdateBackup(Options options) : m_options(std::move(options)) {}

    // For a device that runs its firmware: reads every parameter and saves
    // them, then opens the port afresh for the transfer. EXIT_OK when the
    // update may go on (with a backup, or without one as --no-backup asks);
    // else nothing was sent and the reason is on standard error. With
    // --no-backup nothing is read.
    int makeFor(Control& control);
    // For a device in recovery mode: says that no backup can be made and
    // which backups of earlier updates there are.
    static void reportRecovery();

    // The backup's path; empty when none was made.
    const std::string& path() const { return m_path; }

    // After a done update: the device's settings read again and compared
    // with the backup; the preview, the question and the restore. An exit
    // code of Command.h.
    int offerBack(Control& control) const;
    // After a done update without a backup of its own (recovery mode): the
    // newest backup of the unit that runs now, with the command that
    // restores it.
    void pointToEarlier(const DeviceInfo& device) const;

private:
    bool decide(size_t count) const;
    std::string loadCommand(const std::string& path) const;

    Options m_options;
    std::string m_path;
    SettingsFile m_file;
};

} // namespace Cli
} // namespace ZORVI

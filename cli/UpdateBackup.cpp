#include "UpdateBackup.h"

#include "Command.h"
#include "CommandWords.h"
#include "Console.h"
#include "Control.h"
#include "ControlText.h"
#include "DeviceSession.h"
#include "DeviceSettings.h"
#include "PreviewText.h"
#include "SettingsBackup.h"
#include "SettingsCommand.h"
#include "SettingsPlan.h"

#include <cstdio>

namespace ZORVI {
namespace Cli {

namespace {

const char* const RESTORE_QUESTION = "Restore the settings you had before the update?";

std::string escaped(const std::string& text)
{
    return ControlText::escaped(text);
}

} // namespace

std::string UpdateBackup::loadCommand(const std::string& path) const
{
    return "zorvik load " + CommandWords::shellWord(m_options.port) + " "
        + CommandWords::shellWord(path);
}

int UpdateBackup::makeFor(Control& control)
{
    if (m_options.noBackup) {
        std::printf("No backup of the settings is made (--no-backup).\n");
        return EXIT_OK;
    }
    std::printf("Backing up the device's settings...\n");
    std::fflush(stdout);
    control.close();
    DeviceSettings reading(control);
    std::string problem;
    if (reading.read(m_options.port.c_str()) != DeviceSettings::Outcome::Read)
        problem = "its settings could not be read: " + reading.problem();
    else if (m_file = reading.file();
             !SettingsBackup::save(m_file, reading.info(), &m_path, &problem))
        problem = "the backup could not be saved: " + problem;
    control.close();
    if (!problem.empty()) {
        m_path.clear();
        std::fflush(stdout);
        std::fprintf(stderr,
                     "zorvik: no backup of the device's settings, so no update: %s "
                     "Nothing was sent.\n"
                     "To update without a backup, run the command again with --no-backup.\n",
                     escaped(problem).c_str());
        return EXIT_USAGE;
    }
    std::printf("Settings backed up to %s.\n", escaped(m_path).c_str());
    // The transfer starts on a port opened and checked as before the backup.
    const DeviceConnection::Outcome reopened =
        DeviceConnection::openPort(control, m_options.port.c_str());
    if (reopened == DeviceConnection::Outcome::Found)
        return EXIT_OK;
    DeviceSession::reportPortFailure(reopened, m_options.port, control);
    std::fprintf(stderr, "zorvik: nothing was sent.\n");
    return EXIT_ADAPTER;
}

void UpdateBackup::reportRecovery()
{
    std::printf("No backup of the settings can be made: a device in recovery mode has no "
                "readable settings.\n");
    const std::vector<SettingsBackup::Listed> earlier = SettingsBackup::newestOfEachUnit();
    if (earlier.empty()) {
        std::printf("No backup of an earlier update exists.\n");
        return;
    }
    std::printf("Backups of earlier updates (the newest of each unit, by serial number):\n");
    for (const SettingsBackup::Listed& backup : earlier)
        std::printf("  serial %s, saved %s: %s\n", escaped(backup.file.origin().serial).c_str(),
                    escaped(backup.file.origin().saved).c_str(), escaped(backup.path).c_str());
}

void UpdateBackup::pointToEarlier(const DeviceInfo& device) const
{
    const std::vector<SettingsBackup::Listed> earlier = SettingsBackup::of(device);
    if (earlier.empty())
        return;
    const SettingsBackup::Listed& newest = earlier.front();
    std::printf("The newest backup of this unit's settings was saved %s (firmware %s). To "
                "restore it, run:\n  %s\n",
                escaped(newest.file.origin().saved).c_str(),
                escaped(newest.file.origin().applicationVersion).c_str(),
                escaped(loadCommand(newest.path)).c_str());
}

bool UpdateBackup::decide(size_t count) const
{
    switch (m_options.restore) {
    case Restore::Yes: return true;
    case Restore::No:
        std::printf("Not restored (--no-restore): the device keeps the settings the update "
                    "left. To restore them later, run:\n  %s\n",
                    escaped(loadCommand(m_path)).c_str());
        return false;
    case Restore::Ask: break;
    }
    if (!Console::isTerminal(stdin)) {
        std::printf("Standard input is no terminal, so nobody can confirm: the device keeps "
                    "the settings the update left. To restore them, run:\n  %s\n",
                    escaped(loadCommand(m_path)).c_str());
        return false;
    }
    if (Console::confirm(std::string(RESTORE_QUESTION) + " (" + std::to_string(count)
                         + (count == 1 ? " change)" : " changes)")))
        return true;
    std::printf("Not restored: the device keeps the settings the update left. To restore "
                "them later, run:\n  %s\n",
                escaped(loadCommand(m_path)).c_str());
    return false;
}

int UpdateBackup::offerBack(Control& control) const
{
    std::printf("\nComparing the device's settings with the backup...\n");
    std::fflush(stdout);
    DeviceSettings after(control);
    if (after.read(m_options.port.c_str()) != DeviceSettings::Outcome::Read) {
        std::fflush(stdout);
        std::fprintf(stderr,
                     "zorvik: the device's settings could not be read after the update: %s\n"
                     "To restore the backup once the device answers, run:\n  %s\n",
                     escaped(after.problem()).c_str(), escaped(loadCommand(m_path)).c_str());
        control.close();
        // The update itself is done: only a restore that was asked for failed.
        if (m_options.restore != Restore::Yes)
            return EXIT_OK;
        return DeviceSession::exitFor(after.failure());
    }
    const Rules::Parameters device = after.memory().snapshot();
    const SettingsPlan plan = SettingsPlan::forFile(device, after.info(), m_file);
    if (!plan.refused() && plan.rows().empty()) {
        std::printf("The settings are as before the update.\n");
        control.close();
        return EXIT_OK;
    }
    std::printf("The settings differ from the backup made before the update (%s):\n",
                escaped(m_path).c_str());
    PreviewText::print(plan, device, after.info());
    if (plan.refused()) {
        std::fflush(stdout);
        std::fprintf(stderr, "zorvik: the backup cannot be restored as it is; nothing written. "
                             "Set these values with the settings window or zorvik set.\n");
        control.close();
        return m_options.restore == Restore::Yes ? EXIT_USAGE : EXIT_OK;
    }
    if (!decide(plan.rows().size())) {
        control.close();
        return EXIT_OK;
    }
    const SettingsApply::Result result = SettingsApply::apply(after.memory(), plan.changes());
    control.close();
    const int exitCode = SettingsCommand::failureOf(result);
    if (exitCode == EXIT_OK)
        std::printf("Settings restored and verified (%zu written).\n", result.ids.size());
    return exitCode;
}

} // namespace Cli
} // namespace ZORVI

#include "UpdateCommand.h"
#include "ControlText.h"

#include "CommandWords.h"
#include "Console.h"
#include "ControlFactory.h"
#include "DeviceSession.h"
#include "TransferProgress.h"
#include "Update.h"
#include "UpdateFile.h"
#include "UpdateJournal.h"
#include "UpdateOutcome.h"
#include "UpdateSummary.h"
#include "win32/SignalPortRelease.h"

#include <cstdio>
#include <iostream>
#include <memory>

namespace ZORVI {
namespace Cli {

namespace {

// The device restarts into its new firmware after the last record (or into
// its boot loader after a broken transfer).
constexpr uint32_t RESTART_WAIT_MS = 2000;

// A program ended by a signal reports it as a shell does: 128 + its number.
constexpr int SIGNAL_EXIT_BASE = 128;

using Communication::Serial::SignalPortRelease;

} // namespace

bool UpdateCommand::parseArguments(const std::vector<std::string>& args, Options& options)
{
    std::vector<std::string> positional;
    bool restore = false;
    bool noRestore = false;
    for (const std::string& arg : args) {
        if (arg == "--yes" || arg == "-y")
            options.confirmed = true;
        else if (arg == "--force")
            options.force = true;
        else if (arg == "--no-backup")
            options.noBackup = true;
        else if (arg == "--restore")
            restore = true;
        else if (arg == "--no-restore")
            noRestore = true;
        else if (arg.size() > 1 && arg[0] == '-')
            return false; // an option this command does not know
        else
            positional.push_back(arg);
    }
    if (positional.size() != 2 || (restore && noRestore))
        return false;
    if (restore)
        options.restore = UpdateBackup::Restore::Yes;
    else if (noRestore)
        options.restore = UpdateBackup::Restore::No;
    options.port = positional[0];
    options.file = positional[1];
    return true;
}

// A file for other hardware is refused before anything is sent, unless the
// user insists.
bool UpdateCommand::hardwareAllows(const UpdateFile& file, const DeviceConnection::Result& device,
                                   bool force)
{
    const std::string mismatch = UpdateOutcome::hardwareMismatch(file.update(), device);
    if (mismatch.empty())
        return true;
    std::fflush(stdout); // what was shown so far comes first
    if (force) {
        std::fprintf(stderr, "zorvik: warning: %s Going on as --force asks.\n", mismatch.c_str());
        return true;
    }
    std::fprintf(stderr,
                 "zorvik: %s Nothing was sent.\n"
                 "Choose the update file for this device's hardware. Only if you are sure that "
                 "this file is right for the device, run the command again with --force.\n",
                 mismatch.c_str());
    return false;
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
    return Console::confirm("Continue?");
}

// Sends the update as it was read at the start: the file is not read again,
// so a file changed or replaced since the user confirmed is not what goes
// to the device.
void UpdateCommand::transfer(Control& control, const UpdateFile& file)
{
    std::printf("Update in progress...\n");
    TransferProgress progress(file.update(), stdout);
    progress.install(control);
    const int result = control.transferUpdate(file.update());
    progress.finish(result == 0);
}

// The device as it answers on the port opened afresh once it had time to
// restart, whatever the transfer came to.
DeviceConnection::Result UpdateCommand::deviceAfterRestart(Control& control,
                                                           const std::string& port)
{
    std::printf("Waiting for Device...\n");
    std::fflush(stdout);
    control.close();
    control.sleep(RESTART_WAIT_MS);
    DeviceSession restarted(control);
    if (restarted.open(port) == EXIT_OK)
        restarted.printDevice();
    control.close();
    return restarted.result();
}

// What the guidance tells the user to run: this update again, or a look at
// the device.
UpdateOutcome::Actions UpdateCommand::actionsFor(const Options& options)
{
    const std::string port = CommandWords::shellWord(options.port);
    return {"run \"zorvik update " + port + " " + CommandWords::shellWord(options.file)
                + (options.force ? " --force" : "") + "\"",
            "run \"zorvik info " + port + "\""};
}

void UpdateCommand::printOutcome(const UpdateOutcome& outcome)
{
    if (outcome.done()) {
        std::printf("%s\n%s\n", outcome.headline().c_str(), outcome.detail().c_str());
        return;
    }
    std::fflush(stdout); // what was shown so far comes first
    std::fprintf(stderr, "%s\n%s\n%s\n", outcome.headline().c_str(), outcome.detail().c_str(),
                 outcome.guidance().c_str());
}

void UpdateCommand::record(const UpdateOutcome& outcome, const Options& options,
                           const UpdateFile& file, const DeviceConnection::Result& before,
                           const DeviceConnection::Result& after,
                           const Control::TransferReport& report, const std::string& backup)
{
    UpdateJournal::Entry entry = outcome.journalEntry(options.port, file, before, after, report);
    entry.backup = backup;
    const std::string path = UpdateJournal::path();
    if (UpdateJournal::append(entry)) {
        std::printf("Recorded in %s.\n", ControlText::escaped(path).c_str());
        return;
    }
    std::fflush(stdout);
    if (path.empty())
        std::fprintf(stderr, "zorvik: the update could not be recorded: no folder for the "
                             "update records is known (set %s).\n",
                     UpdateJournal::folderVariables());
    else
        std::fprintf(stderr, "zorvik: the update could not be recorded in %s.\n",
                     ControlText::escaped(path).c_str());
}

int UpdateCommand::exitCodeOf(const UpdateOutcome& outcome, const Control::TransferReport& report,
                              int stopSignal)
{
    if (outcome.done())
        return EXIT_OK;
    if (report.failure == Control::TransferReport::Failure::Interrupted)
        return SIGNAL_EXIT_BASE + stopSignal;
    // A record that could not be sent: the KORLINK interface stopped echoing.
    if (report.failure == Control::TransferReport::Failure::PortLost)
        return EXIT_ADAPTER;
    return EXIT_NO_DEVICE;
}

// Opens the port, shows the device, checks its hardware and asks the user:
// EXIT_OK when the update may go ahead.
int UpdateCommand::prepare(DeviceSession& session, const UpdateFile& file,
                           const Options& options)
{
    const int opened = session.open(options.port);
    if (opened != EXIT_OK)
        return opened;
    session.printDevice();
    std::printf("\n");
    if (!hardwareAllows(file, session.result(), options.force))
        return EXIT_USAGE;
    printQuestion(session, UpdateSummary(file).applicationVersion());
    if (!options.confirmed && !userConfirms()) {
        std::printf("Update cancelled; nothing was sent.\n");
        return EXIT_USAGE;
    }
    return EXIT_OK;
}

// Sends the update, asks the device what it runs now and says what the run
// came to; the exit code tells the same.
//
// From the first record to the line in the update records, Ctrl-C or SIGTERM
// does not cut the run off unseen: the transfer stops before its next record,
// and the device is asked, the outcome said and recorded as for any other
// failure before the program ends. The report's sentence names what failed;
// the port's reason for it would name a step other than the transfer.
int UpdateCommand::carryOut(Control& control, const UpdateFile& file, const Options& options,
                            const DeviceConnection::Result& before, const UpdateBackup& backup)
{
    SignalPortRelease::holdStops();
    transfer(control, file);
    const Control::TransferReport report = control.lastTransfer();
    const DeviceConnection::Result after = deviceAfterRestart(control, options.port);
    const UpdateOutcome outcome =
        UpdateOutcome::judge(file.update(), report, after, actionsFor(options));
    printOutcome(outcome);
    record(outcome, options, file, before, after, report, backup.path());
    std::fflush(stdout);
    const int stopSignal = SignalPortRelease::letStopsThrough();
    const int exitCode = exitCodeOf(outcome, report, stopSignal);
    // A stop asked for during the transfer ends the command here.
    if (!outcome.done() || stopSignal != 0)
        return exitCode;
    if (backup.path().empty()) {
        if (before.outcome == DeviceConnection::Outcome::Recovery)
            backup.pointToEarlier(after.info);
        return exitCode;
    }
    const int restored = backup.offerBack(control);
    std::fflush(stdout);
    return restored;
}

int UpdateCommand::run(const std::vector<std::string>& args)
{
    Options options;
    if (!parseArguments(args, options)) {
        std::fprintf(stderr, "usage: zorvik %s\n", synopsis());
        return EXIT_USAGE;
    }
    const std::unique_ptr<UpdateFile> file = UpdateSummary::load(options.file);
    if (!file)
        return EXIT_USAGE;
    std::printf("Update file: %s\n", ControlText::escaped(options.file).c_str());
    UpdateSummary(*file).printVersions();
    std::printf("\n");

    const std::unique_ptr<Control> control = ControlFactory::make();
    DeviceSession session(*control);
    const int prepared = prepare(session, *file, options);
    if (prepared != EXIT_OK)
        return prepared;
    UpdateBackup backup({options.port, options.noBackup, options.restore});
    if (session.found() == DeviceSession::Found::Firmware) {
        const int backedUp = backup.makeFor(*control);
        if (backedUp != EXIT_OK)
            return backedUp;
    } else if (session.found() == DeviceSession::Found::Recovery) {
        UpdateBackup::reportRecovery();
    }
    return carryOut(*control, *file, options, session.result(), backup);
}

} // namespace Cli
} // namespace ZORVI

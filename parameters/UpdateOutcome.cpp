#include "UpdateOutcome.h"

#include "Update.h"
#include "UpdateChecks.h"
#include "UpdateFile.h"

namespace ZORVI {

namespace {

using Found = DeviceConnection::Outcome;

std::string capitalized(std::string phrase)
{
    if (!phrase.empty() && phrase[0] >= 'a' && phrase[0] <= 'z')
        phrase[0] = static_cast<char>(phrase[0] - 'a' + 'A');
    return phrase;
}

// "3.1.7", or "3.1.7 with data 1.2" when the data versions are part of the
// difference.
std::string versionsText(const DeviceInfo& info, bool withData)
{
    std::string text = info.applicationVersionText();
    if (withData)
        text += " with data " + info.dataVersionText();
    return text;
}

// The device's hardware as the checks read it, so that a refusal never
// names the same hardware for the file and the device.
std::string deviceHardwareText(const DeviceConnection::Result& device)
{
    if (device.outcome == Found::Recovery)
        return recoveryHardwareText(device.recoveryHardware);
    return UpdateChecks::deviceHardwareText(device.info);
}

} // namespace

UpdateOutcome UpdateOutcome::judge(const Update& update, const Control::TransferReport& report,
                                   const DeviceConnection::Result& after,
                                   const Actions& actions)
{
    if (report.failure != Control::TransferReport::Failure::None)
        return failed(report, after, actions);
    if (after.outcome == Found::Found && UpdateChecks::versionsMatch(update, after.info)) {
        UpdateOutcome done;
        done.m_headline = "Device updated successfully.";
        done.m_detail = "The device now runs firmware " + after.info.applicationVersionText()
            + ", data " + after.info.dataVersionText() + ".";
        return done;
    }
    return notTaken(update, after, actions);
}

UpdateOutcome UpdateOutcome::failed(const Control::TransferReport& report,
                                    const DeviceConnection::Result& after,
                                    const Actions& actions)
{
    UpdateOutcome outcome;
    const bool interrupted = report.failure == Control::TransferReport::Failure::Interrupted;
    outcome.m_kind = interrupted ? Kind::Interrupted : Kind::Failed;
    outcome.m_headline = interrupted ? "Device update interrupted." : "Device update failed.";
    outcome.m_detail = Control::describe(report);
    switch (after.outcome) {
    case Found::Recovery:
        // A cut-off update leaves the boot loader waiting for a complete one.
        outcome.m_guidance = "The device stays in recovery mode. Keep it connected and "
            + actions.retry + " again.";
        break;
    case Found::Found:
        outcome.m_guidance = "The device runs firmware "
            + after.info.applicationVersionText() + ". " + capitalized(actions.retry)
            + " to try again.";
        break;
    default:
        outcome.m_guidance = "No ZORVIK Device answers now. Check the KORLINK adapter's "
                             "connection and the device's power. A device whose update was "
                             "cut off waits in recovery mode: keep it connected and "
            + actions.retry + " again.";
        break;
    }
    return outcome;
}

// Every record was acknowledged, yet the device does not run the file's
// versions: the user must not believe the update happened.
UpdateOutcome UpdateOutcome::notTaken(const Update& update, const DeviceConnection::Result& after,
                                      const Actions& actions)
{
    UpdateOutcome outcome;
    switch (after.outcome) {
    case Found::Found: {
        const DeviceInfo file = update.versionInfo();
        const bool dataDiffers = file.dataVersionText() != after.info.dataVersionText();
        outcome.m_kind = Kind::VersionsDiffer;
        outcome.m_headline = "The device does not report the versions of the update file.";
        outcome.m_detail = "The device reports " + versionsText(after.info, dataDiffers)
            + " after the update; the file holds " + versionsText(file, dataDiffers) + ".";
        outcome.m_guidance = capitalized(actions.retry)
            + " to install it again. If this persists, contact ZORVIK-Support.";
        break;
    }
    case Found::Recovery:
        outcome.m_kind = Kind::RecoveryAfterUpdate;
        outcome.m_headline = "The device is in recovery mode after the update.";
        outcome.m_detail = "Every record was acknowledged, but the device did not start its "
                           "new firmware.";
        outcome.m_guidance = "Keep it connected and " + actions.retry + " again.";
        break;
    default:
        outcome.m_kind = Kind::NoDeviceAfterUpdate;
        outcome.m_headline = "No ZORVIK Device answers after the update.";
        outcome.m_detail = "Every record was acknowledged, but the device did not answer "
                           "afterwards.";
        outcome.m_guidance = "Check the KORLINK adapter's connection and the device's power, "
                             "then "
            + actions.check + " to see what it runs.";
        break;
    }
    return outcome;
}

const char* UpdateOutcome::recordedAs() const
{
    switch (m_kind) {
    case Kind::Done: return "done";
    case Kind::Failed: return "failed";
    case Kind::Interrupted: return "interrupted";
    case Kind::VersionsDiffer: return "versions differ";
    case Kind::RecoveryAfterUpdate: return "recovery mode after update";
    case Kind::NoDeviceAfterUpdate: return "no device after update";
    }
    return "failed";
}

std::string UpdateOutcome::fileVersionsText(const Update& update)
{
    const DeviceInfo versions = update.versionInfo();
    return "application " + versions.applicationVersionText() + ", data "
        + versions.dataVersionText() + ", hardware " + UpdateChecks::fileHardwareText(update);
}

std::string UpdateOutcome::deviceText(const DeviceConnection::Result& device)
{
    switch (device.outcome) {
    case Found::Found:
        return "application " + device.info.applicationVersionText() + ", data "
            + device.info.dataVersionText() + ", hardware " + deviceHardwareText(device);
    case Found::Recovery:
        return "recovery mode, hardware " + recoveryHardwareText(device.recoveryHardware);
    default:
        return "none";
    }
}

std::string UpdateOutcome::hardwareMismatch(const Update& update,
                                            const DeviceConnection::Result& device)
{
    bool fits = true;
    if (device.outcome == Found::Found)
        fits = UpdateChecks::hardwareFits(update, device.info);
    else if (device.outcome == Found::Recovery)
        fits = UpdateChecks::hardwareFitsRecovery(update, device.recoveryHardware);
    if (fits)
        return std::string();
    return "The file is for hardware " + UpdateChecks::fileHardwareText(update)
        + "; the device has hardware " + deviceHardwareText(device) + ".";
}

UpdateJournal::Entry UpdateOutcome::journalEntry(const std::string& port, const UpdateFile& file,
                                                 const DeviceConnection::Result& before,
                                                 const DeviceConnection::Result& after,
                                                 const Control::TransferReport& report) const
{
    UpdateJournal::Entry entry;
    entry.port = port;
    entry.fileName = file.fileName();
    entry.sha256 = file.sha256();
    entry.fileVersions = fileVersionsText(file.update());
    entry.deviceBefore = deviceText(before);
    entry.deviceAfter = deviceText(after);
    entry.recordsSent = report.recordsAcknowledged;
    entry.recordsTotal = report.recordsTotal;
    entry.outcome = recordedAs();
    // A run that was done has no reason to note.
    entry.reason = done() ? std::string() : m_detail;
    return entry;
}

} // namespace ZORVI

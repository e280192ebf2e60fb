#pragma once

#include "Control.h"
#include "DeviceConnection.h"
#include "UpdateJournal.h"

#include <string>

namespace ZORVI {

class Update;
class UpdateFile;

// What a firmware update run came to, judged the same way by every front
// end: the transfer's report and the device as it answers afterwards,
// against the versions the update file holds. A run is done only when every
// record was acknowledged and the device then runs the file's application
// and data versions; anything else names what happened and what the user
// can do next. English sentences; the windows translate them.
//
// The guidance names the front end's own actions, given as verb phrases:
// the updater window passes {"press \"Start Update...\"", "press
// \"Refresh\""}, the command line the commands to run.
class UpdateOutcome {
public:
    enum class Kind {
        Done,
        Failed,              // the transfer did not end (see Control::describe)
        Interrupted,         // the program was asked to end during the transfer
        VersionsDiffer,      // every record acknowledged, other versions reported
        RecoveryAfterUpdate, // every record acknowledged, only the boot loader answers
        NoDeviceAfterUpdate  // every record acknowledged, nothing answers
    };

    struct Actions {
        std::string retry; // starts the update again
        std::string check; // asks the device what it runs
    };

    static UpdateOutcome judge(const Update& update, const Control::TransferReport& report,
                               const DeviceConnection::Result& after, const Actions& actions);

    Kind kind() const { return m_kind; }
    bool done() const { return m_kind == Kind::Done; }
    // One sentence for the box's text: "Device updated successfully.",
    // "Device update failed.", ...
    const std::string& headline() const { return m_headline; }
    // What happened, e.g. "Record 12 of 340 was refused by the device." or
    // "The device reports 3.1.7 after the update; the file holds 3.1.8.";
    // when done, what the device now reports: "The device now runs firmware
    // 3.1.8, data 1.3."

    const std::string& detail() const { return m_detail; }
    // What the user can do now; empty when done.
    const std::string& guidance() const { return m_guidance; }
    // The word the update records use: "done", "failed", "interrupted",
    // "versions differ", "recovery mode after update", "no device after
    // update".
    const char* recordedAs() const;

    // The file's versions as the records and the questions name them:
    // "application 3.1.8, data 1.3, hardware 8.x".
    static std::string fileVersionsText(const Update& update);
    // The device the same way, "recovery mode, hardware 8.1" or "none".
    static std::string deviceText(const DeviceConnection::Result& device);
    // Empty when the file fits the device's hardware (or no device answered
    // to compare with), else "The file is for hardware 2.x; the device has
    // hardware 8.2."
    static std::string hardwareMismatch(const Update& update,
                                        const DeviceConnection::Result& device);

    // The line the update records keep for this run.
    UpdateJournal::Entry journalEntry(const std::string& port, const UpdateFile& file,
                                      const DeviceConnection::Result& before,
                                      const DeviceConnection::Result& after,
                                      const Control::TransferReport& report) const;

private:
    static UpdateOutcome failed(const Control::TransferReport& report,
                                const DeviceConnection::Result& after, const Actions& actions);
    static UpdateOutcome notTaken(const Update& update, const DeviceConnection::Result& after,
                                  const Actions& actions);

    Kind m_kind = Kind::Done;
    std::string m_headline;
    std::string m_detail;
    std::string m_guidance;
};

} // namespace ZORVI

#pragma once

#include "DeviceInfo.h"
#include "SettingsFile.h"

#include <ctime>
#include <string>
#include <vector>

namespace ZORVI {

// The settings of a device as they were just before a firmware update, kept
// so that they can be put back after it: one settings file per update in
// the backups folder of the programs' state folder (StateFolder), named by
// the unit, the time and the firmware it ran:
//
//     9EAE2C042C2522FADB8DBE7F-2026-12-10T14-03-27-3.1.7.zset
//
// The serial number is the masked one the window's label shows (without
// the blanks), the time local and to the second, the version the
// application version the device ran. A name is never reused: when it is
// taken already (two updates of one unit within a second), "-2", "-3", ...
// follow the version, and the name is claimed by creating the file
// exclusively before it is written, so that two programs never write the
// same backup. A backup is an ordinary settings file: `zorvik load` and the
// settings window read it as any other. No Qt.
class SettingsBackup {
public:
    static constexpr const char* FOLDER = "backups";

    // $XDG_STATE_HOME/zorvik/backups (default ~/.local/state/zorvik/backups;
    // on Windows %LOCALAPPDATA%\zorvik\backups); empty when no folder is
    // known (see StateFolder::variables()).
    static std::string folder();

    // The unit's part of the names: "9EAE2C042C2522FADB8DBE7F".
    static std::string serialText(const DeviceInfo& device);
    // "9EAE2C042C2522FADB8DBE7F-2026-12-10T14-03-27-3.1.7.zset" for the
    // device and a time (taken as local time); `copy` 2 and up adds "-2"...
    static std::string fileName(const DeviceInfo& device, std::time_t when, int copy = 1);

    // Saves the file (SettingsFile::write, creating the folders) under the
    // first free name for the device and the time, and gives its path.
    // False with a sentence saying why (naming the folder or file).
    static bool save(const SettingsFile& file, const DeviceInfo& device, std::time_t when,
                     std::string* path, std::string* error);
    // The same at the present time.
    static bool save(const SettingsFile& file, const DeviceInfo& device, std::string* path,
                     std::string* error);

    // One backup found in the folder: its path and the file as read (its
    // origin names the device, the application version it ran and when it
    // was saved).
    struct Listed {
        std::string path;
        SettingsFile file;
    };
    // The backups of one unit, newest first (by the time in their names,
    // then the copy number): files named for its serial number that read as
    // settings files saved from it. Other files, and files that cannot be
    // read, are left out.
    static std::vector<Listed> of(const DeviceInfo& device);
    // The same by the serial number as a label shows it ("9E AE 2C ...").
    static std::vector<Listed> ofSerial(const std::string& serialLabel);
    // The newest backup of each unit that has one, newest first: for a
    // device in recovery mode, which tells no serial number.
    static std::vector<Listed> newestOfEachUnit();
};

} // namespace ZORVI

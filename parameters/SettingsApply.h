#pragma once

#include "DeviceInfo.h"
#include "LinkFailure.h"
#include "ParameterRules.h"
#include "SettingsFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ZORVI {

namespace EEPROM {
class ParameterMemory;
}

// Stores a settings plan's changes in the device and proves it: they are
// written at once (one request in list layout), and every value written is
// then read back from the device itself, not from the program's memory, and
// compared. Whatever happens, the memory afterwards holds what the device
// was read to hold, so that a window refilled from it shows the truth. The
// same for saving: the file gets the values the device was read to hold.
class SettingsApply {
public:
    // A value the device holds other than was written.
    struct Mismatch {
        uint16_t id = 0;
        int wanted = 0;
        int readBack = 0;
    };

    struct Result {
        // The IDs written (or meant to be), in the order of first use.
        std::vector<uint16_t> ids;
        // Changes the memory did not take (not described by the device, or
        // outside its limits): then nothing at all was written.
        std::vector<uint16_t> refused;
        // The device acknowledged the write request.
        bool written = false;
        // Why the write, or else the reading back, failed.
        LinkFailure failure = LinkFailure::None;
        std::vector<Mismatch> mismatches;
        // Values that could not be read back (or, for a save, read at all).
        std::vector<uint16_t> unread;

        // The write went out but its answer did not come back whole: the
        // device may or may not hold the values (see mayHaveReachedDevice).
        bool storedUnknown() const
        {
            return !written && !ids.empty() && mayHaveReachedDevice(failure);
        }

        // Written, read back and found as written; also true when there was
        // nothing to write.
        bool verified() const
        {
            return refused.empty() && (written || ids.empty()) && mismatches.empty()
                && unread.empty();
        }
    };

    // Stores the changes (a SettingsPlan's changes()) together with any
    // pending ones, writes them in one request and reads each written value
    // back. A failed request ends it: after a refused write (or one that
    // never left the port) the entries hold what the device was read to
    // hold, their pending changes gone; after a write whose answer was lost
    // their values count as unknown, since nothing is asked again. After a
    // mismatch the written entries hold what was read back.
    static Result apply(EEPROM::ParameterMemory& memory, const Rules::Changes& changes);

    // Every parameter the programs use (EEPROM::PARAMETER_NAMES) as the
    // device holds it, with the device's information and the local time,
    // into `file`. Pending changes are written (and read back) first; when
    // that fails or a value cannot be read, `file` is left as it was and
    // nothing should be saved.
    static Result collect(EEPROM::ParameterMemory& memory, const DeviceInfo& info,
                          SettingsFile* file);

    // The local time as a settings file names it: "2026-12-10 14:03".
    static std::string localTimeStamp();

private:
    static bool takeChanges(EEPROM::ParameterMemory& memory, const Rules::Changes& changes,
                            Result* result);
    static void readBack(EEPROM::ParameterMemory& memory, const std::vector<int>& wanted,
                         Result* result);
};

} // namespace ZORVI

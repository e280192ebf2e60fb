#pragma once

#include "DeviceInfo.h"

#include <cstdint>
#include <string>

namespace ZORVI {

class Update;

// What an update file says about the device it is for, checked against the
// device before flashing and after it. The file names its hardware by whole
// bytes (major, and minor or 255 for any minor); the device packs major and
// minor into nibbles, also in the boot loader's hardware byte.
class UpdateChecks {
public:
    static constexpr uint8_t ANY_MINOR = 255;

    // "8.2", or "8.x" for any minor.
    static std::string fileHardwareText(const Update& update);
    // The running device's hardware as hardwareFits reads it: "8.2".
    static std::string deviceHardwareText(const DeviceInfo& device);
    // The device's running firmware, or its boot loader in recovery mode.
    static bool hardwareFits(const Update& update, const DeviceInfo& device);
    static bool hardwareFitsRecovery(const Update& update, uint8_t recoveryHardware);
    // After the update: the device reports the file's application and data
    // versions.
    static bool versionsMatch(const Update& update, const DeviceInfo& device);
};

} // namespace ZORVI
